'use strict';
// compact() against the native CLI: the same bytes and the same percentages for every option set, on the
// project's pages and on seeded random pages.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { compact } = require('snellitore');
const {
    optionSets,
    cliHasSafe,
    runCli,
    cliCompact,
    projectPages,
    randomPages,
    scratchFolder,
    assertSameBytes,
} = require('./support');

const pages = [...projectPages(), ...randomPages()];

// The CLI compacts every page in one run per option set, each file into a folder under its own name.
function cliCopies(t, args) {
    const folder = scratchFolder(t);
    const sources = pages.map((page, i) => {
        const file = path.join(folder, `${i}-${path.basename(page.name)}`);
        fs.writeFileSync(file, page.bytes);
        return file;
    });
    const out = path.join(folder, 'out');
    fs.mkdirSync(out);
    const run = runCli([...args, '-o', `${out}/`, ...sources]);
    assert.equal(run.status, 0, run.stderr);
    return sources.map((file) => fs.readFileSync(path.join(out, path.basename(file))));
}

test("compact gives the CLI's bytes for every set of compactions", async (t) => {
    for (const set of optionSets().filter((s) => !s.options.safe)) {
        await t.test(set.label, (t) => {
            const expected = cliCopies(t, set.args);
            pages.forEach((page, i) => assertSameBytes(compact(page.bytes, set.options), expected[i], page.name));
        });
    }
});

test(
    "compact with safe gives the CLI's bytes for a page on standard input",
    { skip: !cliHasSafe() && 'the CLI has no --safe' },
    () => {
        for (const page of pages)
            assertSameBytes(compact(page.bytes, { safe: true }), cliCompact(page.bytes, ['--safe']).bytes, page.name);
    }
);

test("onProgress is called with the CLI's percentages", async (t) => {
    const chosen = pages.filter(
        (page) => page.name === 'examples/sample.htm' || /random-\d+-(1|7|large)$/.test(page.name)
    );
    assert.equal(chosen.length, 4);
    for (const set of optionSets()) {
        await t.test(set.label, { skip: set.options.safe && !cliHasSafe() && 'the CLI has no --safe' }, () => {
            for (const page of chosen) {
                const seen = [];
                const copy = compact(page.bytes, { ...set.options, onProgress: (percent) => seen.push(percent) });
                const expected = cliCompact(page.bytes, set.args);
                assertSameBytes(copy, expected.bytes, page.name);
                assert.deepEqual(seen, expected.progress, page.name);
            }
        });
    }
});

test('a string is compacted as its UTF-8 bytes', () => {
    const text = '<p>  caffè\t\tlatte  </p>  <div align="center">  ü</div>';
    assertSameBytes(compact(text), compact(Buffer.from(text, 'utf8')), 'string');
    assertSameBytes(
        compact(text),
        cliCompact(Buffer.from(text, 'utf8'), ['--options=default,apici,div']).bytes,
        'string'
    );
});

test('a Uint8Array that views part of a larger buffer is read within its view', () => {
    const whole = Buffer.from('xxxx<p>   a   </p>yyyy');
    const view = new Uint8Array(whole.buffer, whole.byteOffset + 4, whole.length - 8);
    assert.equal(compact(view).toString(), '<p> a </p>');
});

test('an empty input gives an empty Buffer', () => {
    const copy = compact('');
    assert.ok(Buffer.isBuffer(copy));
    assert.equal(copy.length, 0);
});

test('an error thrown by onProgress stops the run and comes out of compact', () => {
    const page = randomPages(7)[40].bytes;
    const stop = new Error('enough');
    let calls = 0;
    assert.throws(
        () =>
            compact(page, {
                onProgress: (percent) => {
                    ++calls;
                    if (percent >= 10) throw stop;
                },
            }),
        (error) => error === stop
    );
    assert.ok(calls <= 12, `onProgress called ${calls} times after it threw`);
    assert.equal(compact('<p>  a</p>').toString(), '<p> a</p>', 'the engine works on after the stopped run');
});

test('a compaction cannot start from inside onProgress', () => {
    assert.throws(() => compact('a  '.repeat(1000), { onProgress: () => compact('x') }), /busy/);
});
