'use strict';
// The Node package's benchmark: compact() and the stream on the 100 MB corpus against the native CLI and
// html-minifier-terser, the stream's peak memory on 100 MB and 1 GB, and the package's size. Run by
// scripts/bench-npm.sh, which builds everything it names; every figure comes from this one run.
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

function readArguments(argv) {
    const settings = { runs: 5, terserTimeout: 900 };
    for (let i = 0; i < argv.length; i += 2) {
        const [name, value] = [argv[i], argv[i + 1]];
        if (value === undefined) throw new Error(`${name} needs a value`);
        const key = {
            '--cli': 'cli',
            '--corpus': 'corpus',
            '--big': 'big',
            '--package': 'package',
            '--modules': 'modules',
            '--scratch': 'scratch',
            '--runs': 'runs',
            '--terser-timeout': 'terserTimeout',
            '--child': 'child',
        }[name];
        if (!key) throw new Error(`unknown argument ${name}`);
        settings[key] = ['runs', 'terserTimeout'].includes(key) ? Number(value) : value;
    }
    return settings;
}

const seconds = (start) => Number(process.hrtime.bigint() - start) / 1e9;
const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

// The stream alone: the corpus, in memory, written in chunks of 64 KiB as a reader would hand them over, and the
// copy counted and dropped. Answers seconds and the bytes that came out.
async function streamMemory(snellitore, input) {
    const start = process.hrtime.bigint();
    const stream = snellitore.createCompactStream();
    let length = 0;
    stream.on('data', (chunk) => (length += chunk.length));
    const ended = new Promise((resolve, reject) => stream.on('end', resolve).on('error', reject));
    for (let at = 0; at < input.length; at += 65536)
        if (!stream.write(input.subarray(at, at + 65536)))
            await new Promise((resolve) => stream.once('drain', resolve));
    stream.end();
    await ended;
    return [seconds(start), length];
}

// From a file to a file through the package's stream, or with no stream between them (snellitore null): what
// Node's own file streams cost.
function streamFile(snellitore, source, destination) {
    return new Promise((resolve, reject) => {
        const start = process.hrtime.bigint();
        const from = fs.createReadStream(source, { highWaterMark: 1024 * 1024 }).on('error', reject);
        (snellitore ? from.pipe(snellitore.createCompactStream()).on('error', reject) : from)
            .pipe(fs.createWriteStream(destination))
            .on('error', reject)
            .on('finish', () => resolve(seconds(start)));
    });
}

// One measurement in a process of its own, so that its peak memory is its own: prints seconds and maxRSS (KiB).
async function child(settings) {
    const [what, source, destination] = settings.child.split(',');
    const modules = settings.modules;
    let elapsed;
    if (what === 'stream') {
        elapsed = await streamFile(require(path.join(modules, 'snellitore')), source, destination);
    } else if (what === 'compact') {
        const input = fs.readFileSync(source);
        const start = process.hrtime.bigint();
        const copy = require(path.join(modules, 'snellitore')).compact(input);
        elapsed = seconds(start);
        fs.writeFileSync(destination, copy);
    } else if (what === 'nothing') {
        elapsed = 0;
    } else if (what === 'terser') {
        const { minify } = require(path.join(modules, 'html-minifier-terser'));
        const input = fs.readFileSync(source, 'utf8');
        const start = process.hrtime.bigint();
        // The corpus holds pages with a bare '<' in text, on which the minifier stops unless told to go on.
        const copy = await minify(input, {
            collapseWhitespace: true,
            conservativeCollapse: true,
            continueOnParseError: true,
        });
        elapsed = seconds(start);
        fs.writeFileSync(destination, copy);
    } else {
        throw new Error(`unknown measurement ${what}`);
    }
    console.log(JSON.stringify({ seconds: elapsed, maxRssKiB: process.resourceUsage().maxRSS }));
}

function runChild(settings, what, source, destination, nodeArguments = [], timeoutSeconds = 600) {
    const run = spawnSync(
        process.execPath,
        [...nodeArguments, __filename, '--modules', settings.modules, '--child', [what, source, destination].join(',')],
        { encoding: 'utf8', timeout: timeoutSeconds * 1000 }
    );
    if (run.error || run.status !== 0)
        return {
            failed:
                run.error?.code === 'ETIMEDOUT'
                    ? `timed out after ${timeoutSeconds} s`
                    : (run.stderr || String(run.error)).trim().split('\n').pop(),
        };
    return JSON.parse(run.stdout.trim().split('\n').pop());
}

function timeCli(args) {
    const start = process.hrtime.bigint();
    const run = spawnSync('sh', ['-c', args], { stdio: ['ignore', 'ignore', 'inherit'] });
    if (run.status !== 0) throw new Error(`failed: ${args}`);
    return seconds(start);
}

function sameFile(a, b) {
    return fs.readFileSync(a).equals(fs.readFileSync(b));
}

async function main() {
    const settings = readArguments(process.argv.slice(2));
    if (settings.child) return child(settings);
    const snellitore = require(path.join(settings.modules, 'snellitore'));
    const { cli, corpus, scratch } = settings;
    const megabytes = fs.statSync(corpus).size / 1e6;
    const out = (name) => path.join(scratch, name);
    const q = (file) => `'${file.replace(/'/g, "'\\''")}'`;
    console.log(
        `# Node package benchmark: ${corpus} (${megabytes.toFixed(1)} MB), ${settings.runs} rounds, ` +
            `node ${process.version}, load average ${os.loadavg()[0].toFixed(2)} at the start`
    );

    // Each child is started before this process holds the corpus: a child's peak counts what its parent held
    // when it was forked.
    console.log('\n| peak RSS (ru_maxrss of a node process of its own) | input | seconds | MiB |');
    console.log('|---|---|---|---|');
    const memory = (label, what, source) => {
        const result = runChild(settings, what, source, out('memory.htm'));
        const size = `${(fs.statSync(source).size / 1e6).toFixed(0)} MB`;
        console.log(
            result.failed
                ? `| ${label} | ${size} | ${result.failed} | |`
                : `| ${label} | ${size} | ${result.seconds.toFixed(3)} | ${(result.maxRssKiB / 1024).toFixed(1)} |`
        );
        fs.rmSync(out('memory.htm'), { force: true });
    };
    memory('`node` itself (the floor of the method)', 'nothing', corpus);
    memory('`createCompactStream()`, file to file', 'stream', corpus);
    if (settings.big) memory('`createCompactStream()`, file to file', 'stream', settings.big);
    memory('`compact(buffer)` (input and copy in memory)', 'compact', corpus);

    const terser = runChild(
        settings,
        'terser',
        corpus,
        out('terser.htm'),
        ['--max-old-space-size=16384'],
        settings.terserTimeout
    );

    // The same rounds for every contender, taken in turn, so that a change of load reaches all of them.
    const input = fs.readFileSync(corpus);
    const times = { cliFile: [], cliPipe: [], compact: [], stream: [], streamMemory: [], copy: [] };
    for (let round = 0; round < settings.runs; ++round) {
        times.cliFile.push(timeCli(`${q(cli)} --force -o ${q(out('cli.htm'))} ${q(corpus)}`));
        times.cliPipe.push(timeCli(`cat ${q(corpus)} | ${q(cli)} - > ${q(out('cli-pipe.htm'))}`));
        const start = process.hrtime.bigint();
        const copy = snellitore.compact(input);
        times.compact.push(seconds(start));
        times.stream.push(await streamFile(snellitore, corpus, out('stream.htm')));
        const [elapsed, length] = await streamMemory(snellitore, input);
        times.streamMemory.push(elapsed);
        times.copy.push(await streamFile(null, corpus, out('copy.htm')));
        if (length !== fs.statSync(out('cli.htm')).size) throw new Error(`the stream in memory gave ${length} bytes`);
        if (round === 0) fs.writeFileSync(out('compact.htm'), copy);
    }
    for (const name of ['cli-pipe.htm', 'compact.htm', 'stream.htm'])
        if (!sameFile(out(name), out('cli.htm'))) throw new Error(`${name} differs from the CLI's copy`);

    const cliRate = megabytes / median(times.cliFile);
    const terserRatio = (rate) => (terser.seconds ? `${(rate / (megabytes / terser.seconds)).toFixed(0)}x` : '–');
    const row = (label, values, note = '') => {
        const rate = megabytes / median(values);
        console.log(
            `| ${label} | ${median(values).toFixed(3)} | ${Math.min(...values).toFixed(3)} | ${rate.toFixed(1)} | ` +
                `${(rate / cliRate).toFixed(2)}x | ${terserRatio(rate)} |${note}`
        );
    };
    console.log('\n| default options, 100 MB | median s | best s | MB/s | vs CLI (file) | vs html-minifier-terser |');
    console.log('|---|---|---|---|---|---|');
    row('`snellitore-cli -o OUT FILE`', times.cliFile);
    row('`cat FILE \\| snellitore-cli - > OUT`', times.cliPipe);
    row('`compact(buffer)`, in memory', times.compact);
    row('`createCompactStream()`, file to file', times.stream);
    row('`createCompactStream()`, 64 KiB chunks from memory, copy dropped', times.streamMemory);
    row('no compaction: `fs.createReadStream` piped to `fs.createWriteStream`', times.copy);
    if (terser.seconds)
        row(
            'html-minifier-terser 7.2.0, `collapseWhitespace` + `conservativeCollapse`',
            [terser.seconds],
            ` one run, peak RSS ${(terser.maxRssKiB / 1024).toFixed(0)} MiB, ` +
                `output ${(fs.statSync(out('terser.htm')).size / 1e6).toFixed(1)} MB`
        );
    else console.log(`| html-minifier-terser 7.2.0 | ${terser.failed} |`);

    const packed = fs.statSync(settings.package).size;
    const installed = fs
        .readdirSync(path.join(settings.modules, 'snellitore'))
        .reduce((sum, name) => sum + fs.statSync(path.join(settings.modules, 'snellitore', name)).size, 0);
    const wasm = fs.statSync(path.join(settings.modules, 'snellitore', 'engine.wasm')).size;
    console.log(
        `\nPackage: ${path.basename(settings.package)} ${packed} bytes packed, ${installed} bytes installed ` +
            `(engine.wasm ${wasm} bytes)`
    );
}

main().catch((error) => {
    console.error(`bench.js: ${error.message}`);
    process.exit(1);
});
