'use strict';
// createCompactStream: the CLI's bytes however the input is cut, held in memory or spooled to a file, with a
// reader that keeps up or not.
const test = require('node:test');
const assert = require('node:assert/strict');
const { once } = require('node:events');
const { compact, createCompactStream } = require('snellitore');
const {
    optionSets,
    cliHasSafe,
    cliCompact,
    projectPages,
    randomPages,
    generator,
    randomPage,
    assertSameBytes,
} = require('./support');

// Writes bytes in pieces of size, as a writer that waits for 'drain' would, and collects what comes out.
async function throughStream(bytes, size, options) {
    const stream = createCompactStream(options);
    const out = [];
    stream.on('data', (chunk) => out.push(chunk));
    const ended = once(stream, 'end');
    for (let at = 0; at < bytes.length; at += size) {
        if (!stream.write(bytes.subarray(at, at + size))) await once(stream, 'drain');
    }
    stream.end();
    await ended;
    return Buffer.concat(out);
}

// A page past the 4 MiB the stream holds in memory, so that it goes through the spool file.
const spooledPage = (() => {
    const random = generator(99);
    const parts = [];
    for (let size = 0; size < 4.5 * 1024 * 1024; ) {
        const part = randomPage(random, 1500);
        parts.push(part);
        size += part.length;
    }
    return { name: 'random-spooled', bytes: Buffer.concat(parts) };
})();

test("chunks of 1 byte, 7 bytes and 64 KiB give the CLI's bytes", async (t) => {
    const pages = [...projectPages().filter((page) => page.name.startsWith('examples/')), ...randomPages(11).slice(30)];
    for (const set of optionSets()) {
        await t.test(set.label, { skip: set.options.safe && !cliHasSafe() && 'the CLI has no --safe' }, async () => {
            for (const page of pages) {
                const expected = cliCompact(page.bytes, set.args).bytes;
                // Byte by byte only where that stays quick: the large page crosses the engine's blocks in 7s already.
                for (const size of page.bytes.length < 20000 ? [1, 7, 65536] : [7, 65536])
                    assertSameBytes(
                        await throughStream(page.bytes, size, set.options),
                        expected,
                        `${page.name} in chunks of ${size}`
                    );
            }
        });
    }
});

test("an input spooled to a file gives the CLI's bytes", async (t) => {
    const expected = cliCompact(spooledPage.bytes, ['--options=default,apici,tags,div']).bytes;
    for (const size of [7, 65536, 3 * 1024 * 1024]) {
        await t.test(`chunks of ${size}`, async () => {
            const copy = await throughStream(spooledPage.bytes, size, {
                compactions: ['default', 'apici', 'tags', 'div'],
            });
            assertSameBytes(copy, expected, spooledPage.name);
        });
    }
});

test('a reader that does not read holds back the copy instead of gathering it in memory', async () => {
    const page = Buffer.concat([spooledPage.bytes, spooledPage.bytes, spooledPage.bytes]);
    const stream = createCompactStream({ compactions: [] });
    stream.end(page);
    await new Promise((resolve) => setTimeout(resolve, 500));
    // At most the stream's 1 MiB for its reader, and four blocks of 256 KiB handed over by its worker.
    assert.ok(stream.readableLength <= 2 * 1024 * 1024, `${stream.readableLength} bytes waiting to be read`);
    const out = [];
    for await (const chunk of stream) out.push(chunk);
    assertSameBytes(Buffer.concat(out), page, 'the copy byte for byte');
});

test("the stream reports the CLI's percentages", async () => {
    for (const page of [randomPages(5)[40], spooledPage]) {
        const seen = [];
        await throughStream(page.bytes, 65536, { onProgress: (percent) => seen.push(percent) });
        assert.deepEqual(seen, cliCompact(page.bytes, ['--options=default,apici,div']).progress, page.name);
    }
});

test('an empty stream ends with nothing', async () => {
    assert.equal((await throughStream(Buffer.alloc(0), 1, {})).length, 0);
});

test('an error thrown by onProgress ends the stream with that error', async () => {
    for (const page of [randomPages(5)[40], spooledPage]) {
        const stop = new Error('enough');
        const stream = createCompactStream({
            onProgress: (percent) => {
                if (percent >= 50) throw stop;
            },
        });
        stream.resume();
        stream.end(page.bytes);
        const [error] = await once(stream, 'error').catch((e) => [e]);
        assert.equal(error, stop, page.name);
    }
});

test('streams in turn and compact between them share the engine', async () => {
    const page = randomPages(3)[20].bytes;
    const [first, second] = await Promise.all([throughStream(page, 7, {}), throughStream(page, 1000, {})]);
    assertSameBytes(first, compact(page), 'first stream');
    assertSameBytes(second, compact(page), 'second stream');
});

test('a stream destroyed while its copy goes out stops cleanly', async () => {
    const stream = createCompactStream();
    stream.end(spooledPage.bytes);
    const [first] = await once(stream, 'data');
    assert.ok(first.length > 0);
    stream.destroy();
    await once(stream, 'close');
    const page = randomPages(13)[40].bytes;
    assertSameBytes(
        await throughStream(Buffer.concat([spooledPage.bytes, page]), 65536, {}),
        compact(Buffer.concat([spooledPage.bytes, page])),
        'the next stream'
    );
});
