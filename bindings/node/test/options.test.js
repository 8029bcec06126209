'use strict';
// Bad input and bad options, for each of the three calls: a TypeError that says what was wrong.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { compact, createCompactStream, compactFile } = require('snellitore');
const { scratchFolder } = require('./support');

// Each row: the options, and what the message must say.
const BadOptions = [
    ['null', null, /options must be an object, not null/],
    ['a number', 3, /options must be an object, not number/],
    ['an array', [], /options must be an object, not an array/],
    ['an unknown key', { collapse: true }, /unknown option "collapse"/],
    ['a misspelt key', { compaction: ['tags'] }, /unknown option "compaction"/],
    [
        'an unknown compaction',
        { compactions: ['default', 'tag'] },
        /unknown compaction "tag"; choose from default, apici, tags, div/,
    ],
    ['a compaction that is no string', { compactions: [4] }, /unknown compaction number/],
    [
        'compactions as a string',
        { compactions: 'default' },
        /options.compactions must be an array of names, not string/,
    ],
    [
        'safe with compactions',
        { safe: true, compactions: ['default'] },
        /safe and options.compactions exclude each other/,
    ],
    ['safe with no compactions', { safe: true, compactions: [] }, /safe and options.compactions exclude each other/],
    ['safe as a string', { safe: 'yes' }, /options.safe must be a boolean, not string/],
    ['onProgress no function', { onProgress: 5 }, /options.onProgress must be a function, not number/],
];

// Each row: the input, and what the message must say.
const BadInputs = [
    ['a number', 42, /input must be a Buffer, a Uint8Array or a string, not number/],
    ['null', null, /not null/],
    ['undefined', undefined, /not undefined/],
    ['an object', { length: 3 }, /not an object \(Object\)/],
    ['an ArrayBuffer', new ArrayBuffer(4), /not an object \(ArrayBuffer\)/],
    ['an array of numbers', [60, 62], /not an array/],
];

test('compact refuses bad input', async (t) => {
    for (const [label, input, message] of BadInputs) {
        await t.test(label, () => assert.throws(() => compact(input), { name: 'TypeError', message }));
    }
});

test('the three calls refuse bad options', async (t) => {
    const folder = scratchFolder(t);
    const source = path.join(folder, 'page.htm');
    fs.writeFileSync(source, '<p>  a</p>');
    for (const [label, options, message] of BadOptions) {
        await t.test(label, async () => {
            assert.throws(() => compact('<p>', options), { name: 'TypeError', message });
            assert.throws(() => createCompactStream(options), { name: 'TypeError', message });
            await assert.rejects(compactFile(source, path.join(folder, 'out.htm'), options), {
                name: 'TypeError',
                message,
            });
            assert.equal(fs.existsSync(path.join(folder, 'out.htm')), false, 'nothing is written');
        });
    }
});

test('force belongs to compactFile only', async () => {
    const message = /unknown option "force" \(force applies to compactFile only\)/;
    assert.throws(() => compact('<p>', { force: true }), { name: 'TypeError', message });
    assert.throws(() => createCompactStream({ force: true }), { name: 'TypeError', message });
    await assert.rejects(compactFile('a', 'b', { force: 'yes' }), {
        name: 'TypeError',
        message: /options.force must be a boolean, not string/,
    });
});

test('compactFile refuses paths that are none', async (t) => {
    for (const [label, source, destination, message] of [
        ['a number as source', 1, 'b', /source must be a non-empty path .* not number/],
        ['null as destination', 'a', null, /destination must be a non-empty path .* not null/],
        ['an empty source', '', 'b', /source must be a non-empty path .* not string/],
    ]) {
        await t.test(label, () => assert.rejects(compactFile(source, destination), { name: 'TypeError', message }));
    }
});

test('the stream refuses what is no bytes', async () => {
    const stream = createCompactStream();
    assert.throws(() => stream.write(42), { code: 'ERR_INVALID_ARG_TYPE' });
    stream.destroy();
});
