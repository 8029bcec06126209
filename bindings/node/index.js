'use strict';
// Snellitore Web's compaction engine for Node: compact on bytes, a compacting Transform stream, and compactFile
// with the promises of snellitore-cli about the files it writes.
const fs = require('fs');
const os = require('os');
const path = require('path');
const { Transform } = require('stream');
const { Worker } = require('worker_threads');
const {
    IoCode,
    IoError,
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
} = require('./engine_run');

// The CLI's compaction names, as the engine's bits.
const Compactions = Object.freeze({ default: 1, apici: 2, tags: 4, div: 8 });
const DefaultCompactions = Object.freeze(['default', 'apici', 'div']);
const OptionKeys = ['compactions', 'safe', 'onProgress'];
const FileOptionKeys = [...OptionKeys, 'force'];
const SafeHtml = 0; // the engine's SafeLanguage::Html, the language of a page without a name

const Text = Object.freeze({
    Exists: 'File exists (use force: true to replace it)',
    Folder: 'is a folder',
    TemporaryIn: 'temporary file in ',
});

const MemoryBound = 4 * 1024 * 1024; // a stream's input held in memory before it is spooled to a file
const SpoolBlock = 1024 * 1024; // what a stream collects before each write to its spool
const InFlight = 4; // blocks of 256 KiB that a stream's worker hands over before the stream takes them
const ReadableBound = 1024 * 1024; // what a stream holds of its copy for a reader that does not keep up

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
        if (typeof options.safe !== 'boolean')
            throw new TypeError(`options.safe must be a boolean, not ${describe(options.safe)}`);
        settings.safe = options.safe;
    }
    if (settings.safe && options.compactions !== undefined)
        throw new TypeError(
            'options.safe and options.compactions exclude each other: the safe compaction has no rules to choose'
        );
    const names = options.compactions ?? DefaultCompactions;
    if (!Array.isArray(names))
        throw new TypeError(`options.compactions must be an array of names, not ${describe(names)}`);
    for (const name of names) {
        if (typeof name !== 'string' || !Object.hasOwn(Compactions, name))
            throw new TypeError(
                `unknown compaction ${typeof name === 'string' ? `"${name}"` : describe(name)}; ` +
                    `choose from ${Object.keys(Compactions).join(', ')}`
            );
        settings.flags |= Compactions[name];
    }
    if (options.onProgress !== undefined) {
        if (typeof options.onProgress !== 'function')
            throw new TypeError(`options.onProgress must be a function, not ${describe(options.onProgress)}`);
        settings.onProgress = options.onProgress;
    }
    if (forFile && options.force !== undefined) {
        if (typeof options.force !== 'boolean')
            throw new TypeError(`options.force must be a boolean, not ${describe(options.force)}`);
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

// The spooled input is compacted on a thread of its own, which hands each block of the copy over as it is made
// and waits while InFlight blocks are not yet taken by the reader: the copy goes out while it is made, and
// memory stays bounded however slowly it is read. A small input is compacted at once, here.
class CompactStream extends Transform {
    constructor(settings) {
        // A reader that writes to a file takes the copy a write at a time: the worker goes on meanwhile.
        super({ readableHighWaterMark: ReadableBound });
        this._settings = settings;
        this._spool = new InputSpool();
        this._worker = null;
        this._control = null; // shared with the worker: [0] blocks handed over and not yet taken, [1] stop
        this._held = 0; // blocks pushed that the reader has not yet taken
    }
    _transform(chunk, encoding, done) {
        this._spool.add(chunk, done);
    }
    _flush(done) {
        this._spool.finish((error, source) => {
            if (error) return done(error);
            if (!(source instanceof MemorySource)) return this._compactOnThread(source, done);
            try {
                const sink = new MemorySink(source.bytes.length);
                runEngine(source, sink, this._settings, safeOf(this._settings));
                if (sink.length > 0) this.push(sink.bytes());
                done();
            } catch (failed) {
                done(failed);
            }
        });
    }
    _compactOnThread(source, done) {
        const { flags, onProgress } = this._settings;
        const control = (this._control = new Int32Array(new SharedArrayBuffer(8)));
        const worker = (this._worker = new Worker(path.join(__dirname, 'stream_worker.js'), {
            workerData: {
                fd: source.fd,
                name: source.name,
                flags,
                safe: safeOf(this._settings),
                progress: Boolean(onProgress),
                control: control.buffer,
                inFlight: InFlight,
            },
        }));
        let callerError = null;
        let finished = false;
        const finish = (error) => {
            if (finished) return;
            finished = true;
            this._worker = null;
            worker.terminate().then(() => this._spool.abandon()); // the worker reads the spool until it ends
            done(callerError ?? error);
        };
        worker.on('message', (message) => {
            if (message.block) {
                ++this._held;
                if (this.push(Buffer.from(message.block.buffer, message.block.byteOffset, message.block.length)))
                    this._release();
            } else if (message.percent !== undefined) {
                if (callerError) return;
                try {
                    onProgress(message.percent);
                } catch (error) {
                    callerError = error;
                    this._stop();
                }
            } else if (message.failed) {
                const { file, code, text } = message.failed;
                finish(code === undefined ? new Error(text) : new IoError(file, code, text));
            } else if (message.done) {
                finish(null);
            }
        });
        worker.on('error', finish);
        worker.on('exit', () => finish(new Error('the compaction thread ended before the copy was complete')));
    }
    // The reader has taken what was pushed: the worker may hand over more.
    _release() {
        if (this._held === 0 || !this._control) return;
        Atomics.sub(this._control, 0, this._held);
        this._held = 0;
        Atomics.notify(this._control, 0);
    }
    _stop() {
        Atomics.store(this._control, 1, 1);
        Atomics.notify(this._control, 0);
    }
    _read(size) {
        this._release();
        super._read(size);
    }
    _destroy(error, done) {
        if (this._worker) {
            this._stop();
            this._worker.terminate().then(() => this._spool.abandon());
            this._worker = null;
        } else {
            this._spool.abandon();
        }
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
        if (facts.isDirectory()) throw new IoError(file.name, IoCode.AccessDenied, Text.Folder);
        // A new destination takes a file's permission bits, as cp does; the umask still applies.
        const identity = facts.isFile() ? { dev: facts.dev, ino: facts.ino, mode: Number(facts.mode) & 0o777 } : null;
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
                fs.read(file.fd, block, 0, block.length, null, (error, n) =>
                    error ? reject(failure(file.name, error)) : resolve(n)
                )
            );
            if (got === 0) return spooled;
            await new Promise((resolve, reject) =>
                fs.write(spooled.fd, block, 0, got, stored, (error) =>
                    error ? reject(failure(spooled.name, error)) : resolve()
                )
            );
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

// The destination: a staged file beside the name, put in place once complete, or a stream written as it is.
function openDestination(name, source, force) {
    const shown = displayName(name);
    const contents = contentsOfName(name);
    if (contents !== 'nothing' && sameIdentity(source.identity, name))
        throw new IoError(shown, IoCode.AccessDenied, sameFileText());
    if (contents === 'folder') throw new IoError(shown, IoCode.AccessDenied, Text.Folder);
    if (contents !== 'nothing' && !force) throw new IoError(shown, IoCode.FileExists, Text.Exists);
    if (contents === 'stream')
        return {
            file: new SystemFile(
                attempt(name, () => fs.openSync(name, 'w')),
                shown
            ),
            staged: null,
        };
    if (contents === 'file') attempt(name, () => fs.accessSync(name, fs.constants.W_OK));
    const staged = createStaged(name, source.identity?.mode ?? 0o666);
    if (contents === 'file') adoptOwnerAndMode(staged, name);
    return { file: staged.file, staged };
}

function createStaged(name, mode) {
    const folder = path.dirname(displayName(name));
    for (;;) {
        const temporary = path.join(folder, `.snellitore-${randomSuffix()}`);
        let fd;
        try {
            fd = fs.openSync(temporary, 'wx', mode);
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

module.exports = { compact, createCompactStream, compactFile, IoError };
