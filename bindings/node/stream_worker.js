'use strict';
// The thread that compacts a stream's spooled input: each block of the copy is handed to the stream as the engine
// writes it, and the engine waits while the stream's reader has not taken the blocks handed over before.
const { parentPort, workerData } = require('worker_threads');
const { IoError, SystemFile, runEngine } = require('./engine_run');

const { fd, name, flags, safe, progress, control: shared, inFlight } = workerData;
const control = new Int32Array(shared); // [0] blocks handed over and not yet taken, [1] non-zero: stop
const stopped = new Error('stopped by the stream');

// The spool, which the stream closes once this thread has ended; reads fail once the stream says stop.
class SpooledSource extends SystemFile {
    read(heap, at, n) {
        if (Atomics.load(control, 1) !== 0) throw stopped;
        return super.read(heap, at, n);
    }
}

class HandedOverCopy {
    constructor() {
        this.name = '-';
    }
    write(heap, at, n) {
        const block = heap.slice(at, at + n);
        Atomics.add(control, 0, 1);
        parentPort.postMessage({ block }, [block.buffer]);
        for (let held; Atomics.load(control, 1) === 0 && (held = Atomics.load(control, 0)) >= inFlight; )
            Atomics.wait(control, 0, held);
        if (Atomics.load(control, 1) !== 0) throw stopped;
    }
    size() {
        return 0;
    }
    seek() {}
    close() {}
}

const settings = { flags, onProgress: progress ? (percent) => parentPort.postMessage({ percent }) : null };
try {
    const result = runEngine(new SpooledSource(fd, name, { keepOpen: true }), new HandedOverCopy(), settings, safe);
    parentPort.postMessage({ done: { sourceSize: result.sourceSize, written: result.written } });
} catch (error) {
    const failed =
        error instanceof IoError
            ? { file: error.path, code: error.code, text: error.message.slice(error.path.length + 2) }
            : { text: error.message };
    parentPort.postMessage({ failed });
}
