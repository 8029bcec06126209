'use strict';
// Snellitore Web's compaction engine for Node: compact on bytes, a compacting Transform stream, and compactFile
// with the promises of snellitore-cli about the files it writes.
const fs = require('fs');
const os = require('os');
const path = require('path');
const { Transform } = require('stream');

// The CLI's compaction names, as the engine's bits.
const Compactions = Object.freeze({ default: 1, apici: 2, tags: 4, div: 8 });
const DefaultCompactions = Object.freeze(['default', 'apici', 'div']);
const OptionKeys = ['compactions', 'safe', 'onProgress'];
const FileOptionKeys = [...OptionKeys, 'force'];
const SafeHtml = 0; // the engine's SafeLanguage::Html, the language of a page without a name

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
    EMFILE: 4, ENFILE: 4,
    EACCES: 5, EPERM: 5, EISDIR: 5, EROFS: 5,
    ENOSPC: 101, EDQUOT: 101,
    ENOTDIR: 3,
    EBADF: 6,
    ENOMEM: 8,
    EXDEV: 17,
    ENODEV: 21, ENXIO: 21,
    EBUSY: 32, ETXTBSY: 32,
    EAGAIN: 33,
    ENOSYS: 50, EOPNOTSUPP: 50, ENOTSUP: 50,
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
const DeviceFailure = 31; // "device does not work": any other errno

const Text = Object.freeze({
    Exists: 'File exists (use force: true to replace it)',
    TemporaryIn: 'temporary file in ',
});

const MemoryBound = 4 * 1024 * 1024; // a stream's input held in memory before it is spooled to a file
const SpoolBlock = 1024 * 1024; // what a stream collects before each write to its spool
const OutputBlock = 256 * 1024; // what a stream reads of its compacted copy at a time

let engine = null;
let current = null; // the run in progress: the engine runs to its end before it hands back, so one at a time

function theEngine() {
    if (!engine) engine = require('./engine.js')({ host });
    return engine;
}

// An I/O failure of a named file, as the CLI reports it: "page.htm: File not found", with the CLI's code.
class IoError extends Error {
    constructor(file, code, text, cause) {
        super(`${file}: ${text ?? ioErrorText(code)}`, cause ? { cause } : undefined);
        this.name = 'IoError';
        this.code = code;
        this.path = file;
    }
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

// --- Options -----------------------------------------------------------------------------------------------

function describe(value) {
    if (value === null) return 'null';
    if (Array.isArray(value)) return 'an array';
    return typeof value === 'object' ? `an object (${value.constructor?.name ?? 'null prototype'})` : typeof value;
}

// Reads the options object shared by the three calls; force only where a file is written.
function settingsOf(options, forFile) {
    if (options === undefined) options = {};
    if (options === null || typeof options !== 'object' || Array.isArray(options))
        throw new TypeError(`options must be an object, not ${describe(options)}`);
    const allowed = forFile ? FileOptionKeys : OptionKeys;
    for (const key of Object.keys(options)) {
        if (!allowed.includes(key)) {
            const where = key === 'force' ? ' (force applies to compactFile only)' : '';
            throw new TypeError(`unknown option "${key}"${where}; the options are ${allowed.join(', ')}`);
        }
    }
    const settings = { flags: 0, safe: false, force: false, onProgress: null };
    if (options.safe !== undefined) {
        if (typeof options.safe !== 'boolean') throw new TypeError(`options.safe must be a boolean, not ${describe(options.safe)}`);
        settings.safe = options.safe;
    }
    if (settings.safe && options.compactions !== undefined)
        throw new TypeError('options.safe and options.compactions exclude each other: the safe compaction has no rules to choose');
    const names = options.compactions ?? DefaultCompactions;
    if (!Array.isArray(names)) throw new TypeError(`options.compactions must be an array of names, not ${describe(names)}`);
    for (const name of names) {
        if (typeof name !== 'string' || !Object.hasOwn(Compactions, name))
            throw new TypeError(`unknown compaction ${typeof name === 'string' ? `"${name}"` : describe(name)}; choose from ${Object.keys(Compactions).join(', ')}`);
        settings.flags |= Compactions[name];
    }
    if (options.onProgress !== undefined) {
        if (typeof options.onProgress !== 'function')
            throw new TypeError(`options.onProgress must be a function, not ${describe(options.onProgress)}`);
        settings.onProgress = options.onProgress;
    }
    if (forFile && options.force !== undefined) {
        if (typeof options.force !== 'boolean') throw new TypeError(`options.force must be a boolean, not ${describe(options.force)}`);
        settings.force = options.force;
    }
    return settings;
}

function bytesOf(input) {
    if (typeof input === 'string') return Buffer.from(input, 'utf8');
    if (input instanceof Uint8Array) return input;
    throw new TypeError(`input must be a Buffer, a Uint8Array or a string, not ${describe(input)}`);
}

function pathOf(value, what) {
    if (typeof value === 'string' && value !== '') return value;
    if (Buffer.isBuffer(value) && value.length > 0) return value;
    if (value instanceof URL) return require('url').fileURLToPath(value);
    throw new TypeError(`${what} must be a non-empty path (a string, a Buffer or a file: URL), not ${describe(value)}`);
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
    openStylesheet(at, length, fileAt) {
        const name = Buffer.from(engine.HEAPU8.subarray(at, at + length));
        let fd = null;
        try {
            fd = fs.openSync(name, 'r');
            if (fs.fstatSync(fd).isDirectory()) { // as the engine's platform layer refuses a folder
                fs.closeSync(fd);
                return IoCode.AccessDenied;
            }
        } catch (error) {
            if (fd !== null) fs.closeSync(fd);
            return codeOfError(error, name);
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
            ? withString(page, (at, length) => e._snellitore_compact(sourceId, destinationId, settings.flags, language, at, length, progress))
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

function safeOf(settings) {
    return settings.safe ? { language: SafeHtml, page: null } : null;
}

// --- compact ---------------------------------------------------------------------------------------------------

function compact(input, options) {
    const bytes = bytesOf(input);
    const settings = settingsOf(options, false);
    const sink = new MemorySink(bytes.length);
    runEngine(new MemorySource(bytes), sink, settings, safeOf(settings));
    return sink.bytes();
}

// --- Temporary files ------------------------------------------------------------------------------------------

function randomSuffix() {
    const letters = 'abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789';
    let suffix = '';
    for (const byte of require('crypto').randomBytes(6)) suffix += letters[byte % letters.length];
    return suffix;
}

// A new file in the temporary folder that no other user may open, removed from its folder at once so that
// nothing is left behind whatever becomes of the process. Failures name the folder, as the CLI's do.
function openTemporaryFile(options) {
    const folder = os.tmpdir();
    const name = Text.TemporaryIn + folder;
    for (;;) {
        const candidate = path.join(folder, `snellitore-${randomSuffix()}`);
        let fd;
        try {
            fd = fs.openSync(candidate, 'wx+', 0o600);
        } catch (error) {
            if (error.code === 'EEXIST') continue;
            throw failure(name, error);
        }
        attempt(name, () => fs.unlinkSync(candidate));
        return new SystemFile(fd, name, options);
    }
}

// --- createCompactStream ----------------------------------------------------------------------------------

// A stream's input, kept in memory up to MemoryBound and past that in a temporary file, so that the engine can
// look ahead and go back in it and memory stays the same whatever the size.
class InputSpool {
    constructor() {
        this.chunks = []; // in memory, not yet in the file
        this.held = 0; // bytes in chunks
        this.file = null;
        this.stored = 0; // bytes in the file
    }
    add(chunk, done) {
        this.chunks.push(chunk);
        this.held += chunk.length;
        if (!this.file && this.held <= MemoryBound) return done();
        if (this.file && this.held < SpoolBlock) return done();
        this.writeOut(done);
    }
    writeOut(done) {
        try {
            this.file ??= openTemporaryFile();
        } catch (error) {
            return done(error);
        }
        const chunks = this.chunks;
        this.chunks = [];
        this.held = 0;
        this.writeChunks(chunks, done);
    }
    writeChunks(chunks, done) {
        const total = chunks.reduce((sum, chunk) => sum + chunk.length, 0);
        if (total === 0) return done();
        fs.writev(this.file.fd, chunks, this.stored, (error, written) => {
            if (!error && written === 0) error = new IoError(this.file.name, 101);
            if (error) return done(failure(this.file.name, error));
            this.stored += written;
            this.writeChunks(rest(chunks, written), done);
        });
    }
    // Hands the whole input to done as a source for the engine: a MemorySource, or the spooled file.
    finish(done) {
        if (!this.file) return done(null, new MemorySource(Buffer.concat(this.chunks, this.held)));
        this.writeOut((error) => (error ? done(error) : done(null, this.file)));
    }
    abandon() {
        this.file?.abandon();
    }
}

// The chunks after the first count bytes.
function rest(chunks, count) {
    const left = [];
    for (const chunk of chunks) {
        if (count >= chunk.length) {
            count -= chunk.length;
        } else {
            left.push(count > 0 ? chunk.subarray(count) : chunk);
            count = 0;
        }
    }
    return left;
}

class CompactStream extends Transform {
    constructor(settings) {
        super();
        this._settings = settings;
        this._spool = new InputSpool();
        this._output = null; // the compacted copy in a temporary file, while it is read out
        this._resume = null; // goes on reading it out once the reader wants more
    }
    _transform(chunk, encoding, done) {
        this._spool.add(chunk, done);
    }
    _flush(done) {
        this._spool.finish((error, source) => {
            if (error) return done(error);
            try {
                if (source instanceof MemorySource) {
                    const sink = new MemorySink(source.bytes.length);
                    runEngine(source, sink, this._settings, safeOf(this._settings));
                    if (sink.length > 0) this.push(sink.bytes());
                    return done();
                }
                this._output = openTemporaryFile({ keepOpen: true });
                runEngine(source, this._output, this._settings, safeOf(this._settings));
            } catch (failed) {
                return done(failed);
            } finally {
                this._spool.abandon();
            }
            this._readOut(0, done);
        });
    }
    // Pushes the compacted copy from the temporary file, a block at a time, while the reader keeps up.
    _readOut(offset, done) {
        const block = Buffer.allocUnsafe(OutputBlock);
        fs.read(this._output.fd, block, 0, block.length, offset, (error, got) => {
            if (error) return done(failure(this._output.name, error));
            if (got === 0) {
                this._output.abandon();
                return done();
            }
            const next = () => this._readOut(offset + got, done);
            if (this.push(got === block.length ? block : block.subarray(0, got))) next();
            else this._resume = next;
        });
    }
    _read(size) {
        const resume = this._resume;
        this._resume = null;
        if (resume) resume();
        super._read(size);
    }
    _destroy(error, done) {
        this._spool.abandon();
        this._output?.abandon();
        done(error);
    }
}

function createCompactStream(options) {
    return new CompactStream(settingsOf(options, false));
}

// --- compactFile -----------------------------------------------------------------------------------------------

// Opens the source for reading. A regular file whose size can be believed is read where it is; anything else
// (a FIFO, a device, a pseudo-file of /proc) is first copied to a temporary file, as the CLI does.
async function openSource(name) {
    const fd = attempt(name, () => fs.openSync(name, 'r'));
    const file = new SystemFile(fd, displayName(name));
    try {
        const facts = attempt(name, () => fs.fstatSync(fd, { bigint: true }));
        if (facts.isDirectory()) throw new IoError(file.name, IoCode.AccessDenied);
        const identity = facts.isFile() ? { dev: facts.dev, ino: facts.ino } : null;
        if (facts.isFile() && facts.size > 0n && (facts.blocks > 0n || facts.size > 65536n)) return { file, identity };
        const spooled = await spoolFile(file);
        file.abandon();
        return { file: spooled, identity };
    } catch (error) {
        file.abandon();
        throw error;
    }
}

async function spoolFile(file) {
    const spooled = openTemporaryFile();
    try {
        const block = Buffer.allocUnsafe(64 * 1024);
        for (let stored = 0; ; ) {
            const got = await new Promise((resolve, reject) =>
                fs.read(file.fd, block, 0, block.length, null, (error, n) => (error ? reject(failure(file.name, error)) : resolve(n))));
            if (got === 0) return spooled;
            await new Promise((resolve, reject) =>
                fs.write(spooled.fd, block, 0, got, stored, (error) => (error ? reject(failure(spooled.name, error)) : resolve())));
            stored += got;
        }
    } catch (error) {
        spooled.abandon();
        throw error;
    }
}

function sameIdentity(identity, name) {
    if (!identity) return false;
    try {
        const facts = fs.statSync(name, { bigint: true });
        return facts.dev === identity.dev && facts.ino === identity.ino;
    } catch {
        return false;
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

// The destination: a staged file beside the name, put in place once complete, or a stream written as it is.
function openDestination(name, source, force) {
    const shown = displayName(name);
    const contents = contentsOfName(name);
    if (contents !== 'nothing' && sameIdentity(source.identity, name))
        throw new IoError(shown, IoCode.AccessDenied, sameFileText());
    if (contents !== 'nothing' && !force) throw new IoError(shown, IoCode.FileExists, Text.Exists);
    if (contents === 'folder') throw new IoError(shown, IoCode.AccessDenied);
    if (contents === 'stream') return { file: new SystemFile(attempt(name, () => fs.openSync(name, 'w')), shown), staged: null };
    if (contents === 'file') attempt(name, () => fs.accessSync(name, fs.constants.W_OK));
    const staged = createStaged(name);
    if (contents === 'file') adoptOwnerAndMode(staged, name);
    return { file: staged.file, staged };
}

function createStaged(name) {
    const folder = path.dirname(displayName(name));
    for (;;) {
        const temporary = path.join(folder, `.snellitore-${randomSuffix()}`);
        let fd;
        try {
            fd = fs.openSync(temporary, 'wx', 0o666);
        } catch (error) {
            if (error.code === 'EEXIST') continue;
            throw failure(name, error);
        }
        // The file is written out before it takes the name: a crash then cannot leave it short.
        return { file: new SystemFile(fd, displayName(name), { sync: true }), temporary, pending: true };
    }
}

// A file that replaces another keeps its owner (where the system allows it) and permission bits.
function adoptOwnerAndMode(staged, name) {
    const model = attempt(name, () => fs.lstatSync(name));
    let mode = model.mode & 0o7777;
    try {
        fs.fchownSync(staged.file.fd, model.uid, model.gid);
    } catch {
        mode &= ~0o6000; // a set-user or set-group bit was meant for the former owner
    }
    attempt(name, () => fs.fchmodSync(staged.file.fd, mode));
}

// Puts the complete, closed file under its name. Without force a name taken meanwhile is kept.
function commit(staged, name, source, force) {
    const shown = displayName(name);
    try {
        if (force) {
            fs.renameSync(staged.temporary, name);
        } else if (!linkInPlace(staged, name)) {
            // A file system without hard links: the name is looked at right before the rename instead.
            if (contentsOfName(name) !== 'nothing') throw Object.assign(new Error('name taken'), { code: 'EEXIST' });
            fs.renameSync(staged.temporary, name);
        }
        staged.pending = false;
    } catch (error) {
        if (error.code === 'EEXIST' && !force) {
            if (sameIdentity(source.identity, name)) throw new IoError(shown, IoCode.AccessDenied, sameFileText());
            throw new IoError(shown, IoCode.FileExists, Text.Exists);
        }
        if (staged.pending) throw failure(name, error);
    }
}

// Gives the file its name with a hard link, which unlike a rename never replaces a name; false where the file
// system makes no hard links.
function linkInPlace(staged, name) {
    try {
        fs.linkSync(staged.temporary, name);
    } catch (error) {
        if (['EPERM', 'ENOTSUP', 'EOPNOTSUPP', 'ENOSYS', 'EMLINK'].includes(error.code)) return false;
        throw error;
    }
    staged.pending = false;
    try {
        fs.unlinkSync(staged.temporary);
    } catch {} // the file has its name: a temporary name left beside it costs no data
    return true;
}

function discard(staged) {
    if (!staged?.pending) return;
    staged.file.abandon();
    try {
        fs.unlinkSync(staged.temporary);
    } catch {}
    staged.pending = false;
}

function sameFileText() {
    const e = theEngine();
    return e.UTF8ToString(e._snellitore_same_file_text());
}

async function compactFile(source, destination, options) {
    const sourceName = pathOf(source, 'source');
    const destinationName = pathOf(destination, 'destination');
    const settings = settingsOf(options, true);
    const from = await openSource(sourceName);
    let to = null;
    try {
        to = openDestination(destinationName, from, settings.force);
        const safe = settings.safe ? { language: safeLanguageOf(sourceName), page: sourceName } : null;
        const result = runEngine(from.file, to.file, settings, safe);
        if (to.staged) commit(to.staged, destinationName, from, settings.force);
        const answer = { sourceSize: result.sourceSize, written: result.written };
        if (settings.safe) answer.notes = result.notes;
        return answer;
    } finally {
        from.file.abandon();
        if (to) {
            to.file.abandon();
            discard(to.staged);
        }
    }
}

function safeLanguageOf(name) {
    return withString(Buffer.from(name), (at, length) => theEngine()._snellitore_safe_language(at, length));
}

module.exports = { compact, createCompactStream, compactFile, IoError };
