'use strict';
// One run of the compaction engine (WebAssembly) from JavaScript: the files it works on, the calls it makes into
// JavaScript, its errors as the CLI's I/O codes and texts. Shared by the package's module and its stream worker.
const fs = require('fs');
const path = require('path');

const IoCode = Object.freeze({
    FileNotFound: 2,
    PathNotFound: 3,
    AccessDenied: 5,
    FileExists: 80,
    NotAFile: 132, // what the system answers for a seek on a pipe or a device
    Aborted: 995, // a run stopped by the caller (its onProgress threw)
});

// The errno table of the engine's POSIX layer (platform/posix_file.cpp), by Node's names, so that a failure
// here shows the number the CLI shows for it.
const CodeOfErrno = {
    EMFILE: 4,
    ENFILE: 4,
    EACCES: 5,
    EPERM: 5,
    EISDIR: 5,
    EROFS: 5,
    ENOSPC: 101,
    EDQUOT: 101,
    ENOTDIR: 3,
    EBADF: 6,
    ENOMEM: 8,
    EXDEV: 17,
    ENODEV: 21,
    ENXIO: 21,
    EBUSY: 32,
    ETXTBSY: 32,
    EAGAIN: 33,
    ENOSYS: 50,
    EOPNOTSUPP: 50,
    ENOTSUP: 50,
    EEXIST: 80,
    EINVAL: 87,
    ESPIPE: 132,
    ENOTEMPTY: 145,
    ENAMETOOLONG: 206,
    EFBIG: 223,
    EOVERFLOW: 534,
    EIO: 1117,
    ELOOP: 1921,
};
const NoFile = -1; // glue.cpp's answer for a stylesheet name that holds no file
const DeviceFailure = 31; // "device does not work": any other errno

let engine = null;
let current = null; // the run in progress: the engine runs to its end before it hands back, so one at a time

function theEngine() {
    if (!engine) engine = require('./engine.js')({ host });
    return engine;
}

// An I/O failure of a named file, as the CLI reports it: "page.htm: File not found", with the CLI's code.
class IoError extends Error {
    constructor(file, code, text, cause) {
        super(`${file}: ${text ?? failureText(code, file)}`, cause ? { cause } : undefined);
        this.name = 'IoError';
        this.code = code;
        this.path = file;
    }
}

// A missing folder on the way is named as such, which the code's own text ("Invalid filename") does not tell.
function failureText(code, file) {
    if (code === IoCode.PathNotFound) return `No such folder: ${path.dirname(file)}`;
    return ioErrorText(code);
}

function ioErrorText(code) {
    const e = theEngine();
    return e.UTF8ToString(e._snellitore_io_error_text(code));
}

function isFolder(name) {
    try {
        return fs.statSync(name).isDirectory();
    } catch {
        return false;
    }
}

// The I/O code of a Node system error; a missing name is a missing file when its folder exists.
function codeOfError(error, name) {
    if (error.code === 'ENOENT')
        return name !== undefined && !isFolder(path.dirname(String(name))) ? IoCode.PathNotFound : IoCode.FileNotFound;
    return CodeOfErrno[error.code] ?? DeviceFailure;
}

function failure(name, error) {
    if (error instanceof IoError) return error;
    if (typeof error?.code !== 'string') return error;
    return new IoError(displayName(name), codeOfError(error, name), undefined, error);
}

// Calls fs's synchronous fn, raising its failure as an IoError that names the file.
function attempt(name, fn) {
    try {
        return fn();
    } catch (error) {
        throw failure(name, error);
    }
}

function displayName(name) {
    return Buffer.isBuffer(name) ? name.toString() : String(name);
}

// --- The files the engine works on --------------------------------------------------------------------------

// A source in memory.
class MemorySource {
    constructor(bytes) {
        this.bytes = bytes;
        this.position = 0;
        this.name = '-';
    }
    read(heap, at, n) {
        const end = Math.min(this.bytes.length, this.position + n);
        const part = this.bytes.subarray(this.position, end);
        heap.set(part, at);
        this.position += part.length;
        return part.length;
    }
    write() {
        throw new IoError(this.name, IoCode.AccessDenied);
    }
    size() {
        return this.bytes.length;
    }
    seek(offset) {
        this.position = offset;
    }
    close() {}
}

// A destination in memory, as long as the source to begin with: a compacted copy is rarely longer.
class MemorySink {
    constructor(capacity) {
        this.buffer = Buffer.allocUnsafe(Math.max(capacity, 64));
        this.length = 0;
        this.name = '-';
    }
    write(heap, at, n) {
        if (this.length + n > this.buffer.length) {
            const larger = Buffer.allocUnsafe(Math.max(2 * this.buffer.length, this.length + n));
            this.buffer.copy(larger, 0, 0, this.length);
            this.buffer = larger;
        }
        this.buffer.set(heap.subarray(at, at + n), this.length);
        this.length += n;
        return n;
    }
    size() {
        return this.length;
    }
    seek() {}
    close() {}
    // The copy; what was allocated but not written is cleared, so that no stale memory travels with it.
    bytes() {
        this.buffer.fill(0, this.length);
        return this.buffer.subarray(0, this.length);
    }
}

// An open file of the system. The source is read at the offsets the engine asks for; the destination is written
// in order, so that a FIFO or a device serves as well.
class SystemFile {
    constructor(fd, name, { sync = false, keepOpen = false } = {}) {
        this.fd = fd;
        this.name = name;
        this.position = 0;
        this.sync = sync; // written out to the disk before it is closed
        this.keepOpen = keepOpen; // read again after the run, so only abandon() closes it
    }
    read(heap, at, n) {
        const got = fs.readSync(this.fd, heap, at, n, this.position);
        this.position += got;
        return got;
    }
    write(heap, at, n, progress) {
        while (progress.stored < n) {
            const written = fs.writeSync(this.fd, heap, at + progress.stored, n - progress.stored, null);
            if (written === 0) throw new IoError(this.name, 101);
            progress.stored += written;
        }
        return n;
    }
    size() {
        return fs.fstatSync(this.fd).size;
    }
    seek(offset) {
        this.position = offset;
    }
    close() {
        if (this.fd === null || this.keepOpen) return;
        const fd = this.fd;
        try {
            if (this.sync) fsyncUnlessUnsupported(fd);
        } finally {
            this.fd = null;
            fs.closeSync(fd);
        }
    }
    // Closes a file the run left open, ignoring any failure: the run has failed already.
    abandon() {
        if (this.fd === null) return;
        try {
            fs.closeSync(this.fd);
        } catch {}
        this.fd = null;
    }
}

function fsyncUnlessUnsupported(fd) {
    try {
        fs.fsyncSync(fd);
    } catch (error) {
        if (error.code !== 'EINVAL') throw error; // a file system that keeps nothing to write out
    }
}

// --- One run of the engine ------------------------------------------------------------------------------------

// The files of one run by number, which file failed first (the one an error names, as in the CLI), and a failure
// of the caller's own code, which stops the run and is raised as it is.
class Run {
    constructor(onProgress) {
        this.files = new Map();
        this.owned = [];
        this.next = 1;
        this.onProgress = onProgress;
        this.firstFailed = null;
        this.lastAsked = null;
        this.callerError = null;
    }
    // owned: opened for the run (a stylesheet), and closed when it ends.
    add(file, owned = false) {
        const id = this.next++;
        this.files.set(id, file);
        if (owned) this.owned.push(file);
        return id;
    }
    // Calls operation on the file numbered id and answers the I/O code the engine expects.
    call(id, operation) {
        const file = this.files.get(id);
        this.lastAsked = file;
        if (this.callerError) return IoCode.Aborted;
        try {
            operation(file);
            return 0;
        } catch (error) {
            this.firstFailed ??= file;
            if (error instanceof IoError) return error.code;
            if (typeof error?.code === 'string') return codeOfError(error, file.name);
            this.callerError ??= error;
            return IoCode.Aborted;
        }
    }
    failedName() {
        return (this.firstFailed ?? this.lastAsked)?.name ?? '-';
    }
    closeOwned() {
        for (const file of this.owned) file.abandon();
    }
}

// The calls the engine makes (host_library.js); sizes and offsets are doubles, counts are written to the heap.
const host = {
    read(id, at, n, gotAt) {
        return current.call(id, (file) => {
            const got = file.read(engine.HEAPU8, at, n);
            engine.HEAPU32[gotAt >>> 2] = got;
            if (got === 0 && n > 0) current.firstFailed ??= file; // the engine reads only what the size promised
        });
    },
    write(id, at, n, storedAt) {
        const progress = { stored: 0 };
        const code = current.call(id, (file) => file.write(engine.HEAPU8, at, n, progress));
        engine.HEAPU32[storedAt >>> 2] = code === 0 ? n : progress.stored;
        return code;
    },
    size(id, bytesAt) {
        return current.call(id, (file) => {
            engine.HEAPF64[bytesAt >>> 3] = file.size();
        });
    },
    seek(id, offset) {
        return current.call(id, (file) => file.seek(offset));
    },
    close(id) {
        return current.call(id, (file) => file.close());
    },
    progress(percent) {
        if (current.callerError) return;
        try {
            current.onProgress(percent);
        } catch (error) {
            current.callerError = error;
        }
    },
    // As the CLI's finder: only a regular file, or a link that leads to one, is read; a FIFO is never opened.
    openStylesheet(at, length, fileAt) {
        const name = Buffer.from(engine.HEAPU8.subarray(at, at + length));
        let fd = null;
        try {
            const contents = contentsOfName(name);
            if (contents === 'nothing') return IoCode.FileNotFound;
            if (contents !== 'file' && contents !== 'link') return NoFile;
            fd = fs.openSync(name, 'r');
            if (!fs.fstatSync(fd).isFile()) {
                fs.closeSync(fd);
                return IoCode.AccessDenied;
            }
        } catch (error) {
            if (fd !== null) fs.closeSync(fd);
            return error instanceof IoError ? error.code : codeOfError(error, name);
        }
        engine.HEAP32[fileAt >>> 2] = current.add(new SystemFile(fd, name.toString()), true);
        return 0;
    },
};

function withString(bytes, use) {
    const e = theEngine();
    const stack = e.stackSave();
    try {
        const at = e.stackAlloc(bytes.length + 1);
        e.HEAPU8.set(bytes, at);
        e.HEAPU8[at + bytes.length] = 0;
        return use(at, bytes.length);
    } finally {
        e.stackRestore(stack);
    }
}

// Runs the engine from source to destination, both of the classes above. safe: null for the rules of
// settings.flags, else { language, page } with page the path whose folder holds the linked stylesheets, or null.
// Answers { sourceSize, written, notes } or raises: the caller's own error as it is, an I/O failure as an IoError
// naming the file whose operation failed first.
function runEngine(source, destination, settings, safe = null) {
    const e = theEngine();
    if (current) throw new Error('the engine is busy: a compaction cannot start from inside onProgress');
    const run = (current = new Run(settings.onProgress));
    try {
        const sourceId = run.add(source);
        const destinationId = run.add(destination);
        const progress = settings.onProgress ? 1 : 0;
        const language = safe ? safe.language : -1;
        const page = safe?.page ? Buffer.from(safe.page) : null;
        const code = page
            ? withString(page, (at, length) =>
                  e._snellitore_compact(sourceId, destinationId, settings.flags, language, at, length, progress)
              )
            : e._snellitore_compact(sourceId, destinationId, settings.flags, language, 0, 0, progress);
        if (run.callerError) throw run.callerError;
        if (code !== 0) {
            const text = e.UTF8ToString(e._snellitore_error_text());
            if (code < 0) throw new Error(text);
            throw new IoError(run.failedName(), code, text);
        }
        const notes = [];
        for (let i = 0, n = e._snellitore_note_count(); i < n; ++i) notes.push(e.UTF8ToString(e._snellitore_note(i)));
        return { sourceSize: e._snellitore_source_size(), written: e._snellitore_written(), notes };
    } finally {
        current = null;
        run.closeOwned();
    }
}

// What the name holds, as the CLI sorts it: nothing, a regular file, a folder, a stream (a device, a FIFO, a
// socket, or a link to one), or any other symbolic link.
function contentsOfName(name) {
    let facts;
    try {
        facts = fs.lstatSync(name);
    } catch (error) {
        if (error.code === 'ENOENT') return 'nothing';
        throw failure(name, error);
    }
    if (facts.isFile()) return 'file';
    if (facts.isDirectory()) return 'folder';
    if (!facts.isSymbolicLink()) return 'stream';
    try {
        const target = fs.statSync(name);
        if (!target.isFile() && !target.isDirectory()) return 'stream';
    } catch {}
    return leadsToADescriptor(name) ? 'stream' : 'link';
}

// A link that leads through /proc names an open descriptor (/dev/stdout): what is meant is that descriptor.
function leadsToADescriptor(name) {
    let proc;
    try {
        proc = fs.statSync('/proc');
    } catch {
        return false;
    }
    let at = displayName(name);
    for (let hop = 0; hop < 40; ++hop) {
        let facts;
        try {
            facts = fs.lstatSync(at);
        } catch {
            return false;
        }
        if (!facts.isSymbolicLink()) return false;
        if (facts.dev === proc.dev) return true;
        const target = fs.readlinkSync(at);
        at = path.isAbsolute(target) ? target : path.join(path.dirname(at), target);
    }
    return false;
}

function sameFileText() {
    const e = theEngine();
    return e.UTF8ToString(e._snellitore_same_file_text());
}

function safeLanguageOf(name) {
    return withString(Buffer.from(name), (at, length) => theEngine()._snellitore_safe_language(at, length));
}

module.exports = {
    IoCode,
    IoError,
    codeOfError,
    failure,
    attempt,
    displayName,
    MemorySource,
    MemorySink,
    SystemFile,
    runEngine,
    sameFileText,
    safeLanguageOf,
    contentsOfName,
};
