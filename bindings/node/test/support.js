'use strict';
// What the package's tests share: the native CLI as the reference, the project's test pages, seeded random
// pages, the option sets, scratch folders.
const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const cli = process.env.SNELLITORE_CLI;
const root = process.env.SNELLITORE_ROOT;
if (!cli || !root)
    throw new Error('set SNELLITORE_CLI (the native snellitore-cli) and SNELLITORE_ROOT (the project folder)');

const Names = ['default', 'apici', 'tags', 'div'];

// Every subset of the four names, in the order of their bits, then the safe compaction.
function optionSets() {
    const sets = [];
    for (let bits = 0; bits < 16; ++bits) {
        const compactions = Names.filter((_, i) => bits & (1 << i));
        sets.push({
            label: `[${compactions.join(',')}]`,
            options: { compactions },
            args: [`--options=${compactions.join(',')}`],
        });
    }
    sets.push({ label: 'safe', options: { safe: true }, args: ['--safe'] });
    return sets;
}

let safeKnown = null;
// Whether the CLI at hand has the safe compaction.
function cliHasSafe() {
    safeKnown ??= runCli(['--help']).stdout.toString().includes('--safe');
    return safeKnown;
}

function runCli(args, input) {
    const run = spawnSync(cli, args, { input, maxBuffer: 1 << 30 });
    if (run.error) throw run.error;
    return { status: run.status, stdout: run.stdout, stderr: run.stderr.toString() };
}

// The CLI's copy of bytes read from standard input, and the percentages it prints with --progress.
function cliCompact(bytes, args) {
    const run = runCli([...args, '--progress', '-'], bytes);
    assert.equal(run.status, 0, `snellitore-cli ${args.join(' ')} failed: ${run.stderr}`);
    const progress = run.stderr
        .split('\n')
        .filter(Boolean)
        .map((line) => Number(line.replace('%', '')));
    return { bytes: run.stdout, progress };
}

function filesUnder(folder) {
    if (!fs.existsSync(folder)) return [];
    return fs
        .readdirSync(folder, { withFileTypes: true })
        .sort((a, b) => (a.name < b.name ? -1 : 1))
        .flatMap((entry) => {
            const full = path.join(folder, entry.name);
            if (entry.isDirectory()) return filesUnder(full);
            return entry.isFile() ? [full] : [];
        });
}

// The project's test pages: the examples, the engine's fuzz corpus and the test data, each with a name.
function projectPages() {
    return ['examples', 'tests/fuzz/corpus/engine', 'tests/data']
        .flatMap((folder) => filesUnder(path.join(root, folder)))
        .map((file) => ({ name: path.relative(root, file), bytes: fs.readFileSync(file) }));
}

// A small generator with a seed, so that a failing page comes back on every run.
function generator(seed) {
    let state = seed >>> 0;
    const next = () => {
        state = (state + 0x6d2b79f5) >>> 0;
        let t = state;
        t = Math.imul(t ^ (t >>> 15), t | 1);
        t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
        return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
    };
    return { next, below: (n) => Math.floor(next() * n) };
}

// The pieces the rules react to, with plain text, markup the safe compaction reads and bytes that are not UTF-8.
const Pieces = [
    ' ',
    '  ',
    '   ',
    '\t',
    '\r',
    '\r\n',
    '\n',
    '<',
    '>',
    ';',
    '"',
    '<div align="center">',
    '<DIV Align="Center">',
    '<div  align="center">',
    '</div>',
    '</DIV>',
    '< p >',
    '<p>',
    '</p>',
    '<a href="x; y">',
    'word',
    'a',
    'é',
    '<pre>',
    '</pre>',
    '<textarea>',
    '</textarea>',
    '<script>',
    '</script>',
    '<style>',
    '</style>',
    '.x{white-space:pre}',
    '<!--',
    '-->',
    '&nbsp;',
    '<b> x </b>',
    '\u00a0',
    '\f',
    '\v',
];

function randomPage(random, pieces) {
    const parts = [];
    for (let i = 0; i < pieces; ++i) {
        parts.push(
            random.next() < 0.05 ? Buffer.from([random.below(256)]) : Buffer.from(Pieces[random.below(Pieces.length)])
        );
    }
    return Buffer.concat(parts);
}

// Seeded random pages: many small ones, and one past the engine's block of 256 KiB.
function randomPages(seed = 20240611) {
    const random = generator(seed);
    const pages = [];
    for (let i = 0; i < 40; ++i)
        pages.push({ name: `random-${seed}-${i}`, bytes: randomPage(random, random.below(i < 5 ? 8 : 2000)) });
    pages.push({ name: `random-${seed}-large`, bytes: randomPage(random, 120000) });
    return pages;
}

function scratchFolder(t) {
    const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'snellitore-test-'));
    t.after(() => fs.rmSync(folder, { recursive: true, force: true }));
    return folder;
}

// Equal bytes, or a message that says where they first differ.
function assertSameBytes(actual, expected, label) {
    if (Buffer.compare(Buffer.from(actual), expected) === 0) return;
    let at = 0;
    while (at < actual.length && at < expected.length && actual[at] === expected[at]) ++at;
    assert.fail(
        `${label}: ${actual.length} bytes against the CLI's ${expected.length}, first difference at ${at}: ` +
            `${JSON.stringify(Buffer.from(actual.subarray(at, at + 24)).toString('latin1'))} against ` +
            `${JSON.stringify(expected.subarray(at, at + 24).toString('latin1'))}`
    );
}

module.exports = {
    cli,
    root,
    optionSets,
    cliHasSafe,
    runCli,
    cliCompact,
    projectPages,
    randomPages,
    generator,
    randomPage,
    scratchFolder,
    assertSameBytes,
};
