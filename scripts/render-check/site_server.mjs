// A static HTTP server on the loopback address that serves one folder as the root of a site.
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';

// Types by extension, as a web server would send them; a page's own <meta charset> then decides its encoding.
const ContentTypes = new Map(Object.entries({
    '.htm': 'text/html', '.html': 'text/html', '.shtml': 'text/html',
    '.xhtml': 'application/xhtml+xml', '.xht': 'application/xhtml+xml',
    '.css': 'text/css', '.js': 'text/javascript', '.mjs': 'text/javascript', '.cjs': 'text/javascript',
    '.json': 'application/json', '.map': 'application/json', '.xml': 'application/xml', '.xsl': 'application/xml',
    '.svg': 'image/svg+xml', '.png': 'image/png', '.jpg': 'image/jpeg', '.jpeg': 'image/jpeg',
    '.gif': 'image/gif', '.webp': 'image/webp', '.ico': 'image/x-icon', '.bmp': 'image/bmp',
    '.woff': 'font/woff', '.woff2': 'font/woff2', '.ttf': 'font/ttf', '.otf': 'font/otf',
    '.txt': 'text/plain', '.pdf': 'application/pdf', '.wasm': 'application/wasm',
}));

export function contentType(file) {
    return ContentTypes.get(path.extname(file).toLowerCase()) ?? 'application/octet-stream';
}

// Maps a request path to a file inside root, or null. Symbolic links are followed only while they stay inside
// the site, so a page cannot read the rest of the machine through the server.
async function resolveFile(realRoot, urlPath) {
    let decoded;
    try {
        decoded = decodeURIComponent(urlPath);
    } catch {
        return null;
    }
    if (decoded.includes('\0')) {
        return null;
    }
    let file;
    try {
        file = await fs.promises.realpath(path.join(realRoot, decoded));
    } catch {
        return null;
    }
    if (file !== realRoot && !file.startsWith(realRoot + path.sep)) {
        return null;
    }
    let stat = await fs.promises.stat(file).catch(() => null);
    if (stat?.isDirectory()) {
        return resolveFile(realRoot, path.posix.join(urlPath, 'index.html'));
    }
    return stat?.isFile() ? {file, size: stat.size} : null;
}

function reply(response, status, text) {
    response.writeHead(status, {'Content-Type': 'text/plain', 'Content-Length': Buffer.byteLength(text)});
    response.end(text);
}

// Starts serving root on 127.0.0.1 at a free port; resolves to {server, origin}.
export async function startSiteServer(root) {
    const realRoot = await fs.promises.realpath(root);
    const server = http.createServer(async (request, response) => {
        if (request.method !== 'GET' && request.method !== 'HEAD') {
            reply(response, 405, 'method not allowed\n');
            return;
        }
        const found = await resolveFile(realRoot, new URL(request.url, 'http://localhost').pathname);
        if (!found) {
            reply(response, 404, 'not found\n');
            return;
        }
        response.writeHead(200, {
            'Content-Type': contentType(found.file),
            'Content-Length': found.size,
            'Cache-Control': 'no-store',
        });
        if (request.method === 'HEAD') {
            response.end();
            return;
        }
        const stream = fs.createReadStream(found.file);
        stream.on('error', () => response.destroy());
        stream.pipe(response);
    });
    await new Promise((resolve, reject) => {
        server.once('error', reject);
        server.listen(0, '127.0.0.1', resolve);
    });
    return {server, origin: `http://127.0.0.1:${server.address().port}`};
}

export function stopSiteServer(server) {
    server.closeAllConnections();
    return new Promise(resolve => server.close(() => resolve()));
}
