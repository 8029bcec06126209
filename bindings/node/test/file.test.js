'use strict';
// compactFile: the CLI's bytes and sizes, and the CLI's promises about the destination and its errors.
const test = require('node:test');
const assert = require('node:assert/strict');
const { execFileSync, spawnSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const { pathToFileURL } = require('node:url');
const { compactFile, IoError } = require('snellitore');
const {
    optionSets,
    cliHasSafe,
    runCli,
    projectPages,
    randomPages,
    scratchFolder,
    assertSameBytes,
} = require('./support');

// The CLI's copy of the file source and the two sizes of its --stats line.
function cliFile(source, destination, args) {
    const run = runCli([...args, '--stats', '-o', destination, source]);
    assert.equal(run.status, 0, run.stderr);
    const sizes = / (\d+) byte {2}==> .* (\d+) byte -?\d+%$/m.exec(run.stderr);
    return {
        bytes: fs.readFileSync(destination),
        sourceSize: Number(sizes[1]),
        written: Number(sizes[2]),
        stderr: run.stderr,
    };
}

function namesIn(folder) {
    return fs.readdirSync(folder).sort();
}

test("compactFile gives the CLI's bytes and sizes for every project page", async (t) => {
    const folder = scratchFolder(t);
    for (const page of [...projectPages(), ...randomPages(17)]) {
        const source = path.join(folder, 'page');
        fs.writeFileSync(source, page.bytes);
        const expected = cliFile(source, path.join(folder, 'cli.out'), []);
        const result = await compactFile(source, path.join(folder, 'node.out'));
        assertSameBytes(fs.readFileSync(path.join(folder, 'node.out')), expected.bytes, page.name);
        assert.deepEqual(result, { sourceSize: expected.sourceSize, written: expected.written }, page.name);
        for (const name of ['page', 'cli.out', 'node.out']) fs.rmSync(path.join(folder, name));
    }
});

test("compactFile gives the CLI's bytes and sizes for every option set", async (t) => {
    const folder = scratchFolder(t);
    const pages = [projectPages().find((page) => page.name === 'examples/sample.htm'), randomPages(23)[40]];
    for (const set of optionSets().filter((s) => !s.options.safe)) {
        await t.test(set.label, async () => {
            for (const page of pages) {
                const source = path.join(folder, 'page.htm');
                fs.writeFileSync(source, page.bytes);
                const expected = cliFile(source, path.join(folder, 'cli.htm'), set.args);
                const result = await compactFile(source, path.join(folder, 'node.htm'), {
                    ...set.options,
                    force: true,
                });
                assertSameBytes(fs.readFileSync(path.join(folder, 'node.htm')), expected.bytes, page.name);
                assert.deepEqual(result, { sourceSize: expected.sourceSize, written: expected.written }, page.name);
                fs.rmSync(path.join(folder, 'cli.htm'));
            }
        });
    }
});

test(
    'compactFile with safe reads the linked stylesheets as the CLI does',
    { skip: !cliHasSafe() && 'the CLI has no --safe' },
    async (t) => {
        const folder = scratchFolder(t);
        fs.mkdirSync(path.join(folder, 'css'));
        fs.writeFileSync(path.join(folder, 'css', 'site.css'), '@import "more.css";\n.code  {  white-space : pre }\n');
        fs.writeFileSync(path.join(folder, 'css', 'more.css'), '.poem { white-space: pre-wrap }');
        execFileSync('mkfifo', [path.join(folder, 'pipe.css')]); // never opened: it would wait for a writer for ever
        const files = {
            'page.htm':
                '<link rel="stylesheet" href="css/site.css"><link rel="stylesheet" href="missing.css">' +
                '<link rel="stylesheet" href="https://example.invalid/x.css"><link rel="stylesheet" href="css">' +
                '<link rel="stylesheet" href="pipe.css">\n' +
                '<p class="code">  a\t\tb  </p>  <p class="poem">  x  </p>\n<p>  c  </p>\r\n',
            'style.css': '.a  {\n\n  color :  red ;  }\r\n',
            'app.js': 'let a = 1;\r\nlet b = 2;\r',
            'notes.txt': '  kept  as it is \t\r\n',
        };
        for (const [name, text] of Object.entries(files)) {
            const source = path.join(folder, name);
            fs.writeFileSync(source, text);
            const expected = cliFile(source, path.join(folder, `cli-${name}`), ['--safe']);
            const result = await compactFile(source, path.join(folder, `node-${name}`), { safe: true });
            assertSameBytes(fs.readFileSync(path.join(folder, `node-${name}`)), expected.bytes, name);
            assert.equal(result.sourceSize, expected.sourceSize, name);
            assert.equal(result.written, expected.written, name);
            if (name === 'page.htm') assert.equal(result.notes.length, 4);
            for (const note of result.notes)
                assert.ok(
                    expected.stderr.includes(note),
                    `${name}: note "${note}" not among the CLI's: ${expected.stderr}`
                );
            assert.equal(
                result.notes.length,
                expected.stderr.split('\n').filter(Boolean).length - 1,
                `${name}: ${expected.stderr}`
            );
        }
    }
);

// Each row: what the folder holds, the two names, the options, the code, and whether the CLI's message is the
// same (the CLI's text for a taken name names its own --force). The error names the destination unless the row
// says the source.
const Failures = [
    { case: 'a missing source', source: 'missing.htm', code: 2, text: 'File not found', names: 'source' },
    {
        case: 'a source in a missing folder',
        source: 'gone/page.htm',
        code: 3,
        text: 'No such folder: gone',
        names: 'source',
    },
    {
        // The CLI's text names its own -r.
        case: 'a source that is a folder',
        setup: (f) => fs.mkdirSync(path.join(f, 'site')),
        source: 'site',
        code: 5,
        text: 'is a folder',
        names: 'source',
        cliDiffers: true,
    },
    { case: 'a destination in a missing folder', destination: 'gone/out.htm', code: 3, text: 'No such folder: gone' },
    {
        // The CLI's text tells how to write into the folder, which compactFile does not do.
        case: 'a destination that is a folder',
        setup: (f) => fs.mkdirSync(path.join(f, 'out.htm')),
        code: 5,
        text: 'is a folder',
        cliDiffers: true,
    },
    {
        case: 'a destination that is a folder, with force',
        setup: (f) => fs.mkdirSync(path.join(f, 'out.htm')),
        force: true,
        code: 5,
        text: 'is a folder',
        cliDiffers: true,
    },
    {
        case: 'the source itself, with force',
        destination: 'page.htm',
        force: true,
        code: 5,
        text: 'Source and destination are the same file',
    },
    {
        case: 'a symbolic link to the source, with force',
        setup: (f) => fs.symlinkSync('page.htm', path.join(f, 'out.htm')),
        force: true,
        code: 5,
        text: 'Source and destination are the same file',
    },
    {
        case: 'a hard link to the source, with force',
        setup: (f) => fs.linkSync(path.join(f, 'page.htm'), path.join(f, 'out.htm')),
        force: true,
        code: 5,
        text: 'Source and destination are the same file',
    },
    {
        case: 'another spelling of the source',
        destination: './sub/../page.htm',
        setup: (f) => fs.mkdirSync(path.join(f, 'sub')),
        force: true,
        code: 5,
        text: 'Source and destination are the same file',
    },
    {
        case: 'a taken name',
        setup: (f) => fs.writeFileSync(path.join(f, 'out.htm'), 'earlier'),
        code: 80,
        text: 'File exists (use force: true to replace it)',
        cliDiffers: true,
    },
    {
        case: 'a dangling symbolic link',
        setup: (f) => fs.symlinkSync('nowhere', path.join(f, 'out.htm')),
        code: 80,
        cliDiffers: true,
    },
];

test("failures name the file and carry the CLI's code and text", async (t) => {
    for (const row of Failures) {
        await t.test(row.case, async (t) => {
            const folder = scratchFolder(t);
            const page = '<p>  a  </p>';
            fs.writeFileSync(path.join(folder, 'page.htm'), page);
            row.setup?.(folder);
            const source = row.source ?? 'page.htm';
            const destination = row.destination ?? 'out.htm';
            const before = namesIn(folder);
            const cwd = process.cwd();
            process.chdir(folder);
            let error;
            try {
                await compactFile(source, destination, { force: row.force ?? false }).then(
                    () => assert.fail('compactFile succeeded'),
                    (e) => (error = e)
                );
            } finally {
                process.chdir(cwd);
            }
            assert.ok(error instanceof IoError, `${error}`);
            assert.equal(error.code, row.code);
            const named = row.names === 'source' ? source : destination;
            assert.equal(error.path, named);
            if (row.text) assert.equal(error.message, `${named}: ${row.text}`);
            const cli = spawnSync(
                process.env.SNELLITORE_CLI,
                [...(row.force ? ['--force'] : []), '-o', destination, source],
                { cwd: folder }
            );
            assert.equal(cli.status, 1);
            if (!row.cliDiffers) assert.equal(`snellitore-cli: ${error.message}\n`, cli.stderr.toString());
            assert.deepEqual(namesIn(folder), before, 'nothing is created or removed');
            assert.equal(fs.readFileSync(path.join(folder, 'page.htm'), 'utf8'), page, 'the source keeps its bytes');
        });
    }
});

test('force replaces a file, keeping its permission bits', async (t) => {
    const folder = scratchFolder(t);
    const source = path.join(folder, 'page.htm');
    const destination = path.join(folder, 'out.htm');
    fs.writeFileSync(source, '<p>  a  </p>');
    fs.writeFileSync(destination, 'earlier contents');
    fs.chmodSync(destination, 0o640);
    await compactFile(source, destination, { force: true });
    assert.equal(fs.readFileSync(destination, 'utf8'), '<p> a </p>');
    assert.equal(fs.statSync(destination).mode & 0o7777, 0o640);
    assert.deepEqual(namesIn(folder), ['out.htm', 'page.htm']);
});

test('a new destination takes the permission bits of its source, limited by the umask, as the CLI', async (t) => {
    for (const [mode, umask, expected] of [
        [0o600, 0o022, 0o600],
        [0o755, 0o027, 0o750],
        [0o444, 0o022, 0o444],
    ]) {
        await t.test(`${mode.toString(8)} under umask ${umask.toString(8)}`, async (t) => {
            const folder = scratchFolder(t);
            const source = path.join(folder, 'page.htm');
            fs.writeFileSync(source, '<p>  a  </p>');
            fs.chmodSync(source, mode);
            const before = process.umask(umask);
            try {
                await compactFile(source, path.join(folder, 'node.htm'));
                const cli = spawnSync(process.env.SNELLITORE_CLI, ['-o', 'cli.htm', 'page.htm'], { cwd: folder });
                assert.equal(cli.status, 0, cli.stderr.toString());
            } finally {
                process.umask(before);
            }
            assert.equal(fs.statSync(path.join(folder, 'node.htm')).mode & 0o7777, expected);
            assert.equal(fs.statSync(path.join(folder, 'cli.htm')).mode & 0o7777, expected);
        });
    }
});

test('force replaces a link, never writing through it', async (t) => {
    for (const [label, link] of [
        ['a symbolic link', fs.symlinkSync],
        ['a hard link', fs.linkSync],
    ]) {
        await t.test(label, async (t) => {
            const folder = scratchFolder(t);
            const source = path.join(folder, 'page.htm');
            const target = path.join(folder, 'target.htm');
            const destination = path.join(folder, 'out.htm');
            fs.writeFileSync(source, '<p>  a  </p>');
            fs.writeFileSync(target, 'the target keeps this');
            link(target, destination);
            await compactFile(source, destination, { force: true });
            assert.equal(fs.readFileSync(target, 'utf8'), 'the target keeps this');
            assert.equal(fs.lstatSync(destination).isFile(), true);
            assert.equal(fs.readFileSync(destination, 'utf8'), '<p> a </p>');
        });
    }
});

test('a device is written as it is, with force', async (t) => {
    const folder = scratchFolder(t);
    const source = path.join(folder, 'page.htm');
    fs.writeFileSync(source, '<p>  a  </p>');
    await assert.rejects(compactFile(source, '/dev/null'), { code: 80 });
    assert.deepEqual(await compactFile(source, '/dev/null', { force: true }), { sourceSize: 12, written: 10 });
    assert.equal(fs.statSync('/dev/null').isCharacterDevice(), true);
});

test('a source that is a FIFO is read to its end first', async (t) => {
    const folder = scratchFolder(t);
    const fifo = path.join(folder, 'pipe.htm');
    execFileSync('mkfifo', [fifo]);
    const page = randomPages(31)[40].bytes;
    const writer = require('node:child_process').spawn('sh', ['-c', 'cat > "$1"', 'sh', fifo]);
    writer.stdin.end(page);
    const result = await compactFile(fifo, path.join(folder, 'out.htm'));
    const expected = require('snellitore').compact(page);
    assertSameBytes(fs.readFileSync(path.join(folder, 'out.htm')), expected, 'FIFO');
    assert.deepEqual(result, { sourceSize: page.length, written: expected.length });
});

test('the destination takes its name only once complete', async (t) => {
    const folder = scratchFolder(t);
    const source = path.join(folder, 'page.htm');
    const destination = path.join(folder, 'out.htm');
    fs.writeFileSync(source, randomPages(41)[40].bytes);
    const seen = [];
    await compactFile(source, destination, {
        onProgress: (percent) => seen.push([percent, fs.existsSync(destination)]),
    });
    assert.ok(seen.length > 10);
    assert.deepEqual(
        seen.filter(([, exists]) => exists),
        [],
        'the name was taken during the run'
    );
    assert.deepEqual(namesIn(folder), ['out.htm', 'page.htm'], 'no temporary file is left');
});

test('a run that fails leaves the destination as it was', async (t) => {
    for (const [label, earlier] of [
        ['a new name', null],
        ['a file replaced with force', 'earlier contents'],
    ]) {
        await t.test(label, async (t) => {
            const folder = scratchFolder(t);
            const source = path.join(folder, 'page.htm');
            const destination = path.join(folder, 'out.htm');
            fs.writeFileSync(source, randomPages(43)[40].bytes);
            if (earlier !== null) fs.writeFileSync(destination, earlier);
            const stop = new Error('stopped');
            const onProgress = (percent) => {
                if (percent === 50) throw stop;
            };
            await assert.rejects(
                compactFile(source, destination, { force: true, onProgress }),
                (error) => error === stop
            );
            assert.deepEqual(namesIn(folder), earlier === null ? ['page.htm'] : ['out.htm', 'page.htm']);
            if (earlier !== null) assert.equal(fs.readFileSync(destination, 'utf8'), earlier);
        });
    }
});

test('a name taken during the run is kept, without force', async (t) => {
    const folder = scratchFolder(t);
    const source = path.join(folder, 'page.htm');
    const destination = path.join(folder, 'out.htm');
    fs.writeFileSync(source, randomPages(47)[40].bytes);
    const onProgress = (percent) => {
        if (percent === 50) fs.writeFileSync(destination, 'came first');
    };
    await assert.rejects(compactFile(source, destination, { onProgress }), { code: 80, path: destination });
    assert.equal(fs.readFileSync(destination, 'utf8'), 'came first');
    assert.deepEqual(namesIn(folder), ['out.htm', 'page.htm']);
});

test('paths may be Buffers and file: URLs', async (t) => {
    const folder = scratchFolder(t);
    const source = path.join(folder, 'pàge.htm');
    fs.writeFileSync(source, '<p>  a  </p>');
    await compactFile(Buffer.from(source), pathToFileURL(path.join(folder, 'out.htm')));
    assert.equal(fs.readFileSync(path.join(folder, 'out.htm'), 'utf8'), '<p> a </p>');
    await assert.rejects(compactFile(pathToFileURL(path.join(folder, 'nö.htm')), 'x'), {
        code: 2,
        message: `${path.join(folder, 'nö.htm')}: File not found`,
    });
});
