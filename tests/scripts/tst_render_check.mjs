// The browser check itself: it must tell a changed copy from an identical one, by each of its measures, and
// stay bounded on pages that hang or crash their tab. Run with `node --test`; it needs Chromium and
// build-render/, which scripts/test-render.sh installs.
import assert from 'node:assert/strict';
import {spawnSync} from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {after, before, describe, test} from 'node:test';
import {firstTextDifference, onlyInCopy, parseArgs} from '../../scripts/render-check/render_check.mjs';
import {startSiteServer, stopSiteServer} from '../../scripts/render-check/site_server.mjs';

const tree = path.resolve(import.meta.dirname, '../..');
const data = path.join(tree, 'tests/data/render');
const tool = path.join(tree, 'scripts/render-check/render_check.mjs');
const modules = process.env.SNELLITORE_RENDER_MODULES ?? path.join(tree, 'build-render');
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'tst-render-check-'));
after(() => fs.rmSync(scratch, {recursive: true, force: true}));

function runTool(...args) {
    const run = spawnSync(process.execPath, [tool, `--modules=${modules}`, ...args], {encoding: 'utf8',
        timeout: 300000});
    return {status: run.status, stdout: run.stdout, stderr: run.stderr};
}

const read = name => fs.readFileSync(path.join(data, name), 'utf8');
const write = (root, name, text) => {
    fs.mkdirSync(path.dirname(path.join(root, name)), {recursive: true});
    fs.writeFileSync(path.join(root, name), text);
};
const mustChange = (text, from, to) => {
    assert.ok(text.includes(from), `the test page holds ${from}`);
    return text.replace(from, to);
};

// Each row: a page of the original, what the copy holds instead, and what the check must find. The pages are
// checked in one run, one at a time, in this order; the hanging page comes early so that the ones after it
// show that the check goes on past it.
const Cases = [
    {name: 'a-identical.html', original: read('raw-text.html'), copy: read('raw-text.html'),
        expect: {result: 'identical', pixels: 0, text: 'equal', elements: 'equal', errors: 0}},
    {name: 'b-hangs-in-copy.html', original: '<!DOCTYPE html><p>fine</p>',
        copy: '<!DOCTYPE html><p>fine</p><script>for (;;) {}</script>',
        expect: {result: 'failed', note: /^copy: /}},
    // The run gives the renderer a small heap, so that this page crashes its tab at once.
    {name: 'b2-crashes-in-copy.html', original: '<!DOCTYPE html><p>fine</p>',
        copy: '<!DOCTYPE html><p>fine</p><script>let a = []; for (;;) a.push(new Array(1e5).fill(1.5));</script>',
        expect: {result: 'failed', note: /^copy: the tab crashed/}},
    {name: 'c-pre-changed.html', original: read('raw-text.html'),
        copy: mustChange(read('raw-text.html'), '    four spaces,   then three', ' four spaces, then three'),
        expect: {result: 'different', pixels: '>0', text: 'differs', elements: 'equal', errors: 0}},
    {name: 'd-element-added.html', original: read('text-runs.html'),
        copy: mustChange(read('text-runs.html'), '<h1>', '<span></span><h1>'),
        expect: {result: 'different', pixels: 0, text: 'equal', elements: 'differs', errors: 0}},
    {name: 'e-error-only-in-copy.html', original: '<!DOCTYPE html><p>x</p>',
        copy: '<!DOCTYPE html><p>x</p><script>notDefined();</script><script>console.error("said")</script>',
        expect: {result: 'different', pixels: 0, text: 'equal', elements: 'differs',
            errors: ['uncaught: notDefined is not defined', 'console: said (/e-error-only-in-copy.html)']}},
    {name: 'f-error-in-both.html', original: '<!DOCTYPE html><p>x</p><script>notDefined();</script>',
        copy: '<!DOCTYPE html><p>x</p>\n<script>notDefined();</script>',
        expect: {result: 'identical', pixels: 0, text: 'equal', elements: 'equal', errors: 0}},
    {name: 'g-missing-in-copy.html', original: '<!DOCTYPE html><p>x</p>', copy: null,
        expect: {result: 'failed', note: /^copy: missing$/}},
    // Only a page served as XML fails on an unclosed <br>; served as text/html the two would look the same.
    {name: 'h-served-as-xml.xhtml', original: read('page.xhtml'),
        copy: mustChange(read('page.xhtml'), '<br/>', '<br>'),
        expect: {result: 'different', pixels: '>0', text: 'differs'}},
    // Each folder is the root of its own server: the copy's /css/root.css is the one that counts.
    {name: 'i-root-relative.html', original: read('linked-styles.html'), copy: read('linked-styles.html'),
        copyFiles: {'css/root.css': '.rooted { white-space: normal; }'},
        expect: {result: 'different', pixels: '>0', text: 'differs', elements: 'equal'}},
    {name: 'j-after-the-hang.html', original: read('style-attribute.html'),
        copy: mustChange(read('style-attribute.html'), 'pre:   three   spaces', 'pre: three spaces'),
        expect: {result: 'different', pixels: '>0', text: 'differs'}},
];

function matches(actual, expected, what) {
    if (expected === '>0') {
        assert.ok(actual > 0, `${what}: ${actual} should be more than 0`);
    } else if (expected instanceof RegExp) {
        assert.match(actual, expected, what);
    } else if (expected !== undefined) {
        assert.deepEqual(actual, expected, what);
    }
}

describe('render check on a site and a changed copy', () => {
    const original = path.join(scratch, 'original');
    const copy = path.join(scratch, 'copy');
    let run;
    let byPage;
    before(() => {
        for (const row of Cases) {
            write(original, row.name, row.original);
            if (row.copy !== null) {
                write(copy, row.name, row.copy);
            }
        }
        for (const dir of [original, copy]) {
            write(dir, 'css/root.css', fs.readFileSync(path.join(data, 'css/root.css'), 'utf8'));
            write(dir, 'css/site.css', read('css/site.css'));
            write(dir, 'css/parts/imported.css', read('css/parts/imported.css'));
        }
        for (const row of Cases) {
            for (const [name, text] of Object.entries(row.copyFiles ?? {})) {
                write(copy, name, text);
            }
        }
        run = runTool(original, copy, '--jobs=1', '--timeout=3', '--json=-',
            '--browser-arg=--js-flags=--max-old-space-size=32');
        byPage = new Map(JSON.parse(run.stdout).pages.map(page => [page.page, page]));
    });

    test('exits with 1 and prints a summary of what differs', () => {
        assert.equal(run.status, 1, run.stderr);
        assert.match(run.stderr, new RegExp('render-check: 11 pages, 2 identical, 6 different ' +
            '\\(pixels 4, innerText 4, elements 2, errors 2\\), 3 failed to load; '));
    });

    for (const row of Cases) {
        test(row.name, () => {
            const page = byPage.get(row.name);
            assert.ok(page, `${row.name} is in the report`);
            const e = row.expect;
            matches(page.result, e.result, 'result');
            matches(page.pixels, e.pixels, 'pixels');
            matches(page.text, e.text, 'innerText');
            if (e.elements) {
                assert.equal(page.elementsOriginal === page.elementsCopy, e.elements === 'equal', 'element count');
            }
            if (Array.isArray(e.errors)) {
                assert.deepEqual(page.newErrors, e.errors);
            } else {
                matches(page.newErrors?.length, e.errors, 'new errors');
            }
            matches(page.note, e.note, 'note');
        });
    }
});

describe('exit status', () => {
    const Rows = [
        {name: 'identical copy', copy: 'same', args: [], status: 0, out: /1 identical, 0 different/},
        {name: 'different copy', copy: 'changed', args: [], status: 1, out: /0 identical, 1 different/},
        {name: 'different copy, report only', copy: 'changed', args: ['--report-only'], status: 0,
            out: /DIFFERENT page\.html[\s\S]*0 identical, 1 different/},
        {name: 'TSV report', copy: 'changed', args: ['--tsv=-'], status: 1,
            tsv: new RegExp('^page\tresult\tpixels\tinnertext\telements_original\telements_copy\tnew_errors\tnote\n' +
                'page\\.html\tdifferent\t[1-9][0-9]*\tdiffers\t')},
    ];
    const original = path.join(scratch, 'status-original');
    const page = read('raw-text.html');
    write(original, 'page.html', page);
    write(path.join(scratch, 'same'), 'page.html', page);
    write(path.join(scratch, 'changed'), 'page.html', mustChange(page, 'listing   keeps', 'listing keeps'));
    for (const row of Rows) {
        test(row.name, () => {
            const run = runTool(original, path.join(scratch, row.copy), ...row.args);
            assert.equal(run.status, row.status, run.stderr);
            if (row.out) {
                assert.match(run.stdout, row.out);
            }
            if (row.tsv) {
                assert.match(run.stdout, row.tsv);
            }
        });
    }
});

describe('the check refuses to pass on nothing', () => {
    const empty = path.join(scratch, 'empty');
    fs.mkdirSync(empty, {recursive: true});
    const Rows = [
        {name: 'a folder without pages', args: [empty, empty], message: /no pages in it/},
        {name: 'a missing folder', args: [path.join(scratch, 'none'), empty], message: /not a folder/},
        {name: 'one folder only', args: [empty], message: /needs two folders/},
        {name: 'an unknown option', args: [empty, empty, '--fast'], message: /unknown option '--fast'/},
        {name: 'a bad number', args: [empty, empty, '--jobs=0'], message: /--jobs needs a positive whole number/},
        {name: 'a bad viewport', args: [empty, empty, '--viewport=800'], message: /--viewport needs WIDTHxHEIGHT/},
    ];
    for (const row of Rows) {
        test(row.name, () => {
            const run = runTool(...row.args, '--report-only');
            assert.equal(run.status, 2);
            assert.match(run.stderr, row.message);
        });
    }
});

describe('reading the arguments', () => {
    test('values are taken as given', () => {
        const options = parseArgs(['a', 'b', '--jobs=3', '--timeout=7', '--viewport=800x600', '--browser-arg=--x',
            '--browser-arg=--y', '--json=r.json']);
        assert.deepEqual([options.dirs, options.jobs, options.timeout, options.width, options.height,
            options.browserArgs, options.json], [['a', 'b'], 3, 7, 800, 600, ['--x', '--y'], 'r.json']);
    });
});

describe('comparing texts and errors', () => {
    const TextRows = [
        {name: 'equal texts', a: 'x\ny', b: 'x\ny', want: null},
        {name: 'second line differs', a: 'x\n  y', b: 'x\n y', want: {line: 2, original: '"  y"', copy: '" y"'}},
        {name: 'copy is shorter', a: 'x\ny', b: 'x', want: {line: 2, original: '"y"', copy: '(none)'}},
        {name: 'a long line shows where it changes', a: 'a'.repeat(100) + '  b' + 'c'.repeat(100),
            b: 'a'.repeat(100) + ' b' + 'c'.repeat(100),
            want: {line: 1, original: '..."' + 'a'.repeat(19) + '  b' + 'c'.repeat(38) + '"...',
                copy: '..."' + 'a'.repeat(19) + ' b' + 'c'.repeat(39) + '"...'}},
    ];
    for (const row of TextRows) {
        test(row.name, () => assert.deepEqual(firstTextDifference(row.a, row.b), row.want));
    }
    const ErrorRows = [
        {name: 'same errors', original: ['a', 'b'], copy: ['b', 'a'], want: []},
        {name: 'a repeat is the same error', original: ['a'], copy: ['a', 'a'], want: []},
        {name: 'a new error is named once', original: ['a'], copy: ['b', 'a', 'b'], want: ['b']},
        {name: 'errors of the original alone are not the copy\'s', original: ['a'], copy: [], want: []},
    ];
    for (const row of ErrorRows) {
        test(row.name, () => assert.deepEqual(onlyInCopy(row.original, row.copy), row.want));
    }
});

describe('the site server', () => {
    const root = path.join(scratch, 'served');
    let server;
    let origin;
    before(async () => {
        write(root, 'page.xhtml', '<html xmlns="http://www.w3.org/1999/xhtml"/>');
        write(root, 'a b/page.html', '<p>x</p>');
        write(root, 'style.CSS', 'p {}');
        write(root, 'sub/index.html', 'index');
        write(scratch, 'secret.txt', 'outside');
        fs.symlinkSync(path.join(scratch, 'secret.txt'), path.join(root, 'link.txt'));
        ({server, origin} = await startSiteServer(root));
    });
    after(() => stopSiteServer(server));
    const Rows = [
        {name: 'XHTML as XML', url: '/page.xhtml', status: 200, type: 'application/xhtml+xml'},
        {name: 'a name with a space', url: '/a%20b/page.html', status: 200, type: 'text/html'},
        {name: 'an extension in capitals', url: '/style.CSS', status: 200, type: 'text/css'},
        {name: 'a folder gives its index', url: '/sub/', status: 200, type: 'text/html'},
        {name: 'a missing file', url: '/none.html', status: 404},
        {name: 'dot segments stay inside', url: '/sub/%2e%2e/%2e%2e/secret.txt', status: 404},
        {name: 'an encoded slash stays inside', url: '/sub%2f..%2f..%2fsecret.txt', status: 404},
        {name: 'a link out of the site', url: '/link.txt', status: 404},
    ];
    for (const row of Rows) {
        test(row.name, async () => {
            const response = await fetch(origin + row.url);
            assert.equal(response.status, row.status);
            if (row.type) {
                assert.equal(response.headers.get('content-type'), row.type);
            }
        });
    }
});
