// Opens every page of a site and of its compacted copy in headless Chromium and reports, page by page, whether
// the copy looks and behaves the same: pixels of a full-page screenshot, innerText, element count, script errors.
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {createRequire} from 'node:module';
import {pathToFileURL} from 'node:url';
import {pixelDiff} from './pixel_diff.mjs';
import {startSiteServer, stopSiteServer} from './site_server.mjs';

const Usage = `usage: render-check.sh ORIGINAL_DIR COMPACTED_DIR [OPTION...]

Serves both folders over HTTP on 127.0.0.1, opens every page (*.htm, *.html, *.shtml, *.xhtml, *.xht) of
the original and the same path in the copy in headless Chromium, and reports per page the pixels that differ
between full-page screenshots, whether innerText and the element count are equal, and the script errors that
only the copy has. Exit status: 0 when every page is identical by all four, 1 otherwise, 2 when the check
itself could not run.

Options:
  --report-only       print the differences but exit with 0 whatever they are
  --json=FILE         also write the results as JSON to FILE ('-' for standard output)
  --tsv=FILE          also write the results as tab-separated values to FILE ('-' for standard output)
  --jobs=N            pages checked at once, each in two tabs (default: the number of processors)
  --timeout=SECONDS   time one page may take to load and settle in one tab (default 30)
  --viewport=WxH      the window the pages are laid out in (default 1024x768)
  --max-height=PX     screenshots stop at this height (default 16384)
  --diff-dir=DIR      save original, copy and difference pictures of each page whose pixels differ
  --quiet             print only the pages that differ and the summary
  --browser=PATH      the Chromium to run (default: $CHROMIUM, else Debian's chromium)
  --browser-arg=ARG   one more argument for Chromium (may be repeated)
  --modules=DIR       the folder whose node_modules hold puppeteer-core and pngjs
  --help              show this help
`;

const PageExtensions = new Set(['.htm', '.html', '.shtml', '.xhtml', '.xht']);

// Chromium may reach nothing but the two servers: without these flags its own connections are refused by a
// closed network and slow every start.
const BrowserArgs = ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync',
    '--disable-features=Translate,MediaRouter,OptimizationHints', '--font-render-hinting=none'];

// Debian's program itself, without the launcher script's desktop set-up (extensions, keys, its own flags).
const DefaultBrowser = fs.existsSync('/usr/lib/chromium/chromium') ? '/usr/lib/chromium/chromium' : '/usr/bin/chromium';

class UsageError extends Error {}

export function parseArgs(argv) {
    const options = {reportOnly: false, json: null, tsv: null, jobs: os.availableParallelism?.() ?? os.cpus().length,
        timeout: 30, width: 1024, height: 768, maxHeight: 16384, diffDir: null, quiet: false,
        browser: process.env.CHROMIUM || DefaultBrowser, browserArgs: [], modules: null, dirs: []};
    const positiveInt = (name, text) => {
        if (!/^[1-9][0-9]{0,6}$/.test(text)) {
            throw new UsageError(`${name} needs a positive whole number, not '${text}'`);
        }
        return Number(text);
    };
    for (const arg of argv) {
        const [name, value] = arg.startsWith('--') && arg.includes('=')
            ? [arg.slice(0, arg.indexOf('=')), arg.slice(arg.indexOf('=') + 1)] : [arg, null];
        const needValue = () => {
            if (value === null || value === '') {
                throw new UsageError(`${name} needs a value: ${name}=...`);
            }
            return value;
        };
        switch (name) {
        case '--help': options.help = true; break;
        case '--report-only': options.reportOnly = true; break;
        case '--quiet': options.quiet = true; break;
        case '--json': options.json = needValue(); break;
        case '--tsv': options.tsv = needValue(); break;
        case '--jobs': options.jobs = positiveInt(name, needValue()); break;
        case '--timeout': options.timeout = positiveInt(name, needValue()); break;
        case '--max-height': options.maxHeight = positiveInt(name, needValue()); break;
        case '--diff-dir': options.diffDir = needValue(); break;
        case '--browser': options.browser = needValue(); break;
        case '--browser-arg': options.browserArgs.push(needValue()); break;
        case '--modules': options.modules = needValue(); break;
        case '--viewport': {
            const match = /^([1-9][0-9]{0,4})x([1-9][0-9]{0,4})$/.exec(needValue());
            if (!match) {
                throw new UsageError(`--viewport needs WIDTHxHEIGHT, not '${value}'`);
            }
            [options.width, options.height] = [Number(match[1]), Number(match[2])];
            break;
        }
        default:
            if (arg.startsWith('-') && arg !== '-') {
                throw new UsageError(`unknown option '${arg}'`);
            }
            options.dirs.push(arg);
        }
    }
    if (!options.help && options.dirs.length !== 2) {
        throw new UsageError('needs two folders: ORIGINAL_DIR COMPACTED_DIR');
    }
    return options;
}

// Every page below root, as paths relative to it with '/' between folders, in byte order.
export function listPages(root) {
    const pages = [];
    const walk = relative => {
        const entries = fs.readdirSync(path.join(root, relative), {withFileTypes: true});
        for (const entry of entries) {
            const name = relative ? `${relative}/${entry.name}` : entry.name;
            let isDirectory = entry.isDirectory();
            let isFile = entry.isFile();
            if (entry.isSymbolicLink()) {
                const stat = fs.statSync(path.join(root, name), {throwIfNoEntry: false});
                isFile = stat?.isFile() ?? false;
                isDirectory = false;
            }
            if (isDirectory) {
                walk(name);
            } else if (isFile && PageExtensions.has(path.extname(entry.name).toLowerCase())) {
                pages.push(name);
            }
        }
    };
    walk('');
    return pages.sort((a, b) => Buffer.compare(Buffer.from(a), Buffer.from(b)));
}

// A URL path for a relative file name: each segment percent-encoded, so names with spaces or '#' load too.
function urlPath(page) {
    return '/' + page.split('/').map(encodeURIComponent).join('/');
}

// Runs in the page once it has loaded: waits for its fonts, brings finite animations to their end and
// infinite ones back to their start, so that two loads of one page draw the same frame.
async function settleInPage() {
    await document.fonts?.ready;
    for (const animation of document.getAnimations?.() ?? []) {
        const timing = animation.effect?.getComputedTiming?.();
        if (timing && Number.isFinite(timing.endTime)) {
            animation.finish();
        } else {
            animation.cancel();
        }
    }
    await new Promise(resolve => requestAnimationFrame(() => requestAnimationFrame(resolve)));
}

// Runs in the page after settling: the two measures read from the document.
function measureInPage() {
    const root = document.documentElement;
    const text = root ? (typeof root.innerText === 'string' ? root.innerText : root.textContent) : '';
    const scroller = document.scrollingElement ?? root;
    return {
        text,
        elements: document.getElementsByTagName('*').length,
        width: scroller ? scroller.scrollWidth : 0,
        height: scroller ? scroller.scrollHeight : 0,
    };
}

// Hides the text caret, which blinks on its own clock, through an adopted sheet: it adds no element.
function hideCaretInPage() {
    const sheet = new CSSStyleSheet();
    sheet.replaceSync('*, *::before, *::after { caret-color: transparent !important; }');
    document.adoptedStyleSheets = [...document.adoptedStyleSheets, sheet];
}

function withDeadline(promise, ms, what) {
    let timer;
    const deadline = new Promise((_, reject) => {
        timer = setTimeout(() => reject(new Error(`${what} took more than ${ms / 1000} s`)), ms);
    });
    return Promise.race([promise, deadline]).finally(() => clearTimeout(timer));
}

// One tab in a browser context of its own (no history, storage or cache shared with any other tab), used for
// page after page: a new context costs a renderer process, most of a small page's time. The two tabs of a
// worker load the same pages in the same order, so what a page could see of the ones before (its links
// marked as visited, storage) is the same for the original and the copy; after a failure both start afresh.
class Tab {
    constructor(keeper, origin, options) {
        this.keeper = keeper;
        this.origin = origin;
        this.options = options;
        this.context = null;
        this.page = null;
        this.events = [];
        this.crash = null;
    }

    // Messages name the server's origin, which is not the same for the two folders.
    local(text) {
        return String(text).split(this.origin).join('');
    }

    async open() {
        const browser = await this.keeper.get();
        this.context = await browser.createBrowserContext();
        const page = await this.context.newPage();
        page.on('pageerror', error => this.events.push(`uncaught: ${this.local(error?.message ?? error)}`));
        page.on('console', message => {
            const where = message.location()?.url;
            // The browser asks for /favicon.ico by itself, at a time of its own choosing; a page does not.
            if (message.type() === 'error' && where !== `${this.origin}/favicon.ico`) {
                this.events.push(`console: ${this.local(message.text())}${where ? ` (${this.local(where)})` : ''}`);
            }
        });
        page.on('dialog', dialog => {
            this.events.push(`dialog: ${dialog.type()}: ${this.local(dialog.message())}`);
            dialog.dismiss().catch(() => {});
        });
        this.crash = new Promise((_, reject) => page.on('error', error => {
            reject(new Error(`the tab crashed (${error.message})`));
        }));
        this.crash.catch(() => {});
        this.page = page;
    }

    async discard() {
        const context = this.context;
        this.context = this.page = null;
        if (context) {
            await withDeadline(context.close(), 10000, 'closing the tab').catch(() => {});
        }
    }

    // Messages about failed loads reach the tool some time after the load event, in no fixed order with it:
    // they are waited for until none has come for a while, so that each is counted with its own page.
    async quiet() {
        const QuietMs = 150;
        const LongestMs = 1500;
        const started = performance.now();
        let seen = -1;
        while (seen !== this.events.length && performance.now() - started < LongestMs) {
            seen = this.events.length;
            await new Promise(resolve => setTimeout(resolve, QuietMs));
        }
    }

    // Loads the page at path and measures it; returns {failure} when it could not be measured.
    async load(pagePath) {
        try {
            return await withDeadline(this.measure(pagePath), this.options.timeout * 1000 + 5000, 'loading the page');
        } catch (error) {
            return {failure: this.local(error.message.split('\n')[0])};
        }
    }

    async measure(pagePath) {
        const options = this.options;
        if (!this.page || !this.context.browser().connected) {
            await this.open();
        }
        this.events = [];
        const page = this.page;
        const step = promise => Promise.race([promise, this.crash]);
        await step(page.setViewport({width: options.width, height: options.height, deviceScaleFactor: 1}));
        const response = await step(page.goto(this.origin + pagePath, {waitUntil: 'load',
            timeout: options.timeout * 1000}));
        if (!response) {
            throw new Error('no response');
        }
        if (response.status() !== 200) {
            return {failure: response.status() === 404 ? 'missing' : `HTTP ${response.status()}`};
        }
        await step(page.evaluate(settleInPage));
        const measured = await step(page.evaluate(measureInPage));
        await step(page.evaluate(hideCaretInPage));
        // The window is made as large as the page and photographed whole, which Chromium draws several times
        // as fast as a capture beyond the window.
        const width = Math.max(options.width, Math.min(measured.width, 4 * options.maxHeight));
        const height = Math.max(1, Math.min(measured.height, options.maxHeight));
        await step(page.setViewport({width, height, deviceScaleFactor: 1}));
        const screenshot = await step(page.screenshot({type: 'png', optimizeForSpeed: true}));
        await this.quiet();
        return {...measured, clippedAt: measured.height > options.maxHeight ? options.maxHeight : null,
            screenshot: Buffer.from(screenshot), events: this.events};
    }
}

// The first line at which two texts differ, with both versions of it from a little before the first character
// that differs, so that a long line shows where it changes.
export function firstTextDifference(a, b) {
    const linesA = a.split('\n');
    const linesB = b.split('\n');
    for (let i = 0; i < Math.max(linesA.length, linesB.length); ++i) {
        if (linesA[i] !== linesB[i]) {
            let column = 0;
            while (linesA[i]?.[column] !== undefined && linesA[i][column] === linesB[i]?.[column]) {
                ++column;
            }
            const from = Math.max(0, column - 20);
            const show = line => {
                if (line === undefined) {
                    return '(none)';
                }
                const part = line.slice(from, from + 60);
                return (from > 0 ? '...' : '') + JSON.stringify(part) + (from + 60 < line.length ? '...' : '');
            };
            return {line: i + 1, original: show(linesA[i]), copy: show(linesB[i])};
        }
    }
    return null;
}

// The distinct entries of copy that original does not have. How often a message comes is not compared: the
// browser asks again for a missing picture that a page names twice or not, as the timing falls, and says so
// each time.
export function onlyInCopy(original, copy) {
    const known = new Set(original);
    return [...new Set(copy)].filter(entry => !known.has(entry));
}

export function comparePages(page, original, copy, PNG, wantImage) {
    const result = {page, result: 'identical', pixels: 0, text: 'equal', elementsOriginal: null,
        elementsCopy: null, newErrors: [], note: ''};
    if (original.failure || copy.failure) {
        result.result = 'failed';
        result.pixels = result.text = null;
        result.note = [original.failure && `original: ${original.failure}`, copy.failure && `copy: ${copy.failure}`]
            .filter(Boolean).join('; ');
        return {result, image: null};
    }
    const diff = pixelDiff(PNG, original.screenshot, copy.screenshot, wantImage);
    result.pixels = diff.pixels;
    const textDifference = original.text === copy.text ? null : firstTextDifference(original.text, copy.text);
    result.text = original.text === copy.text ? 'equal' : 'differs';
    result.elementsOriginal = original.elements;
    result.elementsCopy = copy.elements;
    result.newErrors = onlyInCopy(original.events, copy.events);
    if (textDifference) {
        result.textDifference = textDifference;
    }
    if (original.width !== copy.width || original.height !== copy.height) {
        result.note = `size ${original.width}x${original.height} / ${copy.width}x${copy.height}`;
    }
    if (original.clippedAt || copy.clippedAt) {
        result.note = [result.note, `screenshots stop at ${original.clippedAt ?? copy.clippedAt} px`]
            .filter(Boolean).join('; ');
    }
    const same = result.pixels === 0 && result.text === 'equal' && result.elementsOriginal === result.elementsCopy
        && result.newErrors.length === 0;
    result.result = same ? 'identical' : 'different';
    return {result, image: diff.image};
}

function formatResult(r) {
    if (r.result === 'identical') {
        return `same      ${r.page}`;
    }
    if (r.result === 'failed') {
        return `FAILED    ${r.page}: ${r.note}`;
    }
    const lines = [`DIFFERENT ${r.page}`];
    if (r.pixels) {
        lines.push(`    pixels: ${r.pixels} differ${r.note ? ` (${r.note})` : ''}`);
    }
    if (r.textDifference) {
        const d = r.textDifference;
        lines.push(`    innerText: line ${d.line}: ${d.original} in the original, ${d.copy} in the copy`);
    }
    if (r.elementsOriginal !== r.elementsCopy) {
        lines.push(`    elements: ${r.elementsOriginal} in the original, ${r.elementsCopy} in the copy`);
    }
    for (const error of r.newErrors) {
        lines.push(`    only in the copy: ${error}`);
    }
    return lines.join('\n');
}

function toTsv(results) {
    const clean = value => value === null || value === undefined ? '' : String(value).replace(/[\t\n\r]/g, ' ');
    const rows = [['page', 'result', 'pixels', 'innertext', 'elements_original', 'elements_copy', 'new_errors',
        'note']];
    for (const r of results) {
        rows.push([r.page, r.result, r.pixels, r.text, r.elementsOriginal, r.elementsCopy, r.newErrors.length,
            [r.note, ...r.newErrors].filter(Boolean).join('; ')].map(clean));
    }
    return rows.map(row => row.join('\t')).join('\n') + '\n';
}

function writeOut(file, text) {
    if (file === '-') {
        process.stdout.write(text);
    } else {
        fs.writeFileSync(file, text);
    }
}

// One browser for the whole run, started again when it dies, so that one bad page costs only itself.
class BrowserKeeper {
    constructor(puppeteer, options) {
        this.puppeteer = puppeteer;
        this.options = options;
        this.starting = null;
        this.browsers = [];
        this.dataDirs = [];
    }

    async get() {
        const current = this.starting;
        if (current) {
            const browser = await current;
            if (browser.connected) {
                return browser;
            }
            if (this.starting !== current) {
                return this.get();
            }
        }
        this.starting = this.launch();
        return this.starting;
    }

    async launch() {
        const dataDir = fs.mkdtempSync(path.join(os.tmpdir(), 'render-check-'));
        this.dataDirs.push(dataDir);
        const browser = await this.puppeteer.launch({
            executablePath: this.options.browser, headless: 'shell', pipe: true, userDataDir: dataDir,
            args: [...BrowserArgs, ...this.options.browserArgs], protocolTimeout: this.options.timeout * 2000 + 10000,
            handleSIGINT: false, handleSIGTERM: false, handleSIGHUP: false,
        });
        this.browsers.push(browser);
        return browser;
    }

    async close() {
        for (const browser of this.browsers) {
            await withDeadline(browser.close(), 10000, 'closing the browser')
                .catch(() => browser.process()?.kill('SIGKILL'));
        }
        for (const dir of this.dataDirs) {
            fs.rmSync(dir, {recursive: true, force: true});
        }
    }
}

async function checkAll(options, puppeteer, PNG, print) {
    const [originalDir, copyDir] = options.dirs;
    for (const dir of options.dirs) {
        if (!fs.statSync(dir, {throwIfNoEntry: false})?.isDirectory()) {
            throw new UsageError(`${dir}: not a folder`);
        }
    }
    const pages = listPages(originalDir);
    if (pages.length === 0) {
        throw new UsageError(`${originalDir}: no pages in it`);
    }
    if (options.diffDir) {
        fs.mkdirSync(options.diffDir, {recursive: true});
    }
    const servers = [await startSiteServer(originalDir), await startSiteServer(copyDir)];
    const keeper = new BrowserKeeper(puppeteer, options);
    const results = new Array(pages.length);
    let printed = 0;
    // Results are printed in page order as soon as every page before them is done.
    const flush = () => {
        while (printed < pages.length && results[printed]) {
            const r = results[printed++];
            if (!options.quiet || r.result !== 'identical') {
                print(formatResult(r));
            }
        }
    };
    try {
        await keeper.get();
        let next = 0;
        const worker = async () => {
            const tabs = servers.map(({origin}) => new Tab(keeper, origin, options));
            while (next < pages.length) {
                const index = next++;
                const page = pages[index];
                const started = performance.now();
                const [original, copy] = await Promise.all(tabs.map(tab => tab.load(urlPath(page))));
                if (original.failure || copy.failure) {
                    await Promise.all(tabs.map(tab => tab.discard()));
                }
                const {result, image} = comparePages(page, original, copy, PNG, Boolean(options.diffDir));
                if (image) {
                    const base = path.join(options.diffDir, page.replaceAll('/', '__'));
                    fs.writeFileSync(`${base}.original.png`, original.screenshot);
                    fs.writeFileSync(`${base}.copy.png`, copy.screenshot);
                    fs.writeFileSync(`${base}.diff.png`, image);
                }
                result.seconds = Math.round(performance.now() - started) / 1000;
                results[index] = result;
                flush();
            }
            await Promise.all(tabs.map(tab => tab.discard()));
        };
        await Promise.all(Array.from({length: Math.min(options.jobs, pages.length)}, worker));
    } finally {
        await keeper.close();
        await Promise.all(servers.map(({server}) => stopSiteServer(server)));
    }
    return results;
}

function summary(results, seconds) {
    const count = predicate => results.filter(predicate).length;
    const different = results.filter(r => r.result === 'different');
    return `render-check: ${results.length} pages, ${count(r => r.result === 'identical')} identical, ` +
        `${different.length} different (pixels ${count(r => r.pixels > 0)}, ` +
        `innerText ${count(r => r.text === 'differs')}, ` +
        `elements ${count(r => r.result === 'different' && r.elementsOriginal !== r.elementsCopy)}, ` +
        `errors ${count(r => r.newErrors.length > 0)}), ${count(r => r.result === 'failed')} failed to load; ` +
        `${seconds.toFixed(1)} s`;
}

async function main() {
    let options;
    try {
        options = parseArgs(process.argv.slice(2));
    } catch (error) {
        process.stderr.write(`render-check: ${error.message}\n${Usage}`);
        return 2;
    }
    if (options.help) {
        process.stdout.write(Usage);
        return 0;
    }
    const require = createRequire(path.join(path.resolve(options.modules ?? '.'), 'package.json'));
    let puppeteer, PNG;
    try {
        puppeteer = require('puppeteer-core');
        ({PNG} = require('pngjs'));
    } catch (error) {
        process.stderr.write(`render-check: puppeteer-core and pngjs are not installed in ${options.modules ?? '.'} ` +
            `(scripts/render-check.sh installs them): ${error.message.split('\n')[0]}\n`);
        return 2;
    }
    const started = performance.now();
    // Report lines go to standard error when standard output carries the JSON or TSV report.
    const toStdout = options.json !== '-' && options.tsv !== '-';
    const print = line => (toStdout ? process.stdout : process.stderr).write(line + '\n');
    let results;
    try {
        results = await checkAll(options, puppeteer, PNG, print);
    } catch (error) {
        process.stderr.write(`render-check: ${error.message}\n`);
        return 2;
    }
    const line = summary(results, (performance.now() - started) / 1000);
    print(line);
    if (options.json) {
        writeOut(options.json, JSON.stringify({summary: line, pages: results}, null, 1) + '\n');
    }
    if (options.tsv) {
        writeOut(options.tsv, toTsv(results));
    }
    const identical = results.every(r => r.result === 'identical');
    return identical || options.reportOnly ? 0 : 1;
}

if (import.meta.url === pathToFileURL(process.argv[1]).href) {
    process.exitCode = await main();
    // Whatever a dead browser may have left open, the check ends once its report is out.
    setTimeout(() => process.exit(), 5000).unref();
}
