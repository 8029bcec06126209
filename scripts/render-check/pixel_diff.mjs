// Counts the pixels that differ between two PNG screenshots and draws where they differ.

// pngjs is handed in by the caller, which finds it in the installed modules.
export function pixelDiff(PNG, pngA, pngB, wantImage = false) {
    if (Buffer.compare(pngA, pngB) === 0) {
        return {pixels: 0, image: null};
    }
    const a = PNG.sync.read(pngA);
    const b = PNG.sync.read(pngB);
    const width = Math.max(a.width, b.width);
    const height = Math.max(a.height, b.height);
    const image = wantImage ? new PNG({width, height}) : null;
    let pixels = 0;
    const rowBytes = a.width * 4;
    for (let y = 0; y < height; ++y) {
        // Most rows of two pictures of the same page are equal: those are compared as a whole.
        const sameRow = a.width === b.width && y < a.height && y < b.height &&
            a.data.compare(b.data, y * rowBytes, (y + 1) * rowBytes, y * rowBytes, (y + 1) * rowBytes) === 0;
        if (sameRow && !image) {
            continue;
        }
        for (let x = 0; x < width; ++x) {
            // A pixel that only one of the two pictures has differs.
            const inA = x < a.width && y < a.height;
            const inB = x < b.width && y < b.height;
            const ia = (y * a.width + x) * 4;
            const ib = (y * b.width + x) * 4;
            let same = inA && inB;
            for (let c = 0; same && c < 4; ++c) {
                same = a.data[ia + c] === b.data[ib + c];
            }
            if (!same) {
                ++pixels;
            }
            if (image) {
                const io = (y * width + x) * 4;
                // Differences in red over a faded copy of the original.
                const base = inA ? (a.data[ia] + a.data[ia + 1] + a.data[ia + 2]) / 3 : 255;
                const faded = 255 - (255 - base) / 4;
                image.data[io] = same ? faded : 255;
                image.data[io + 1] = same ? faded : 0;
                image.data[io + 2] = same ? faded : 0;
                image.data[io + 3] = 255;
            }
        }
    }
    return {pixels, image: image ? PNG.sync.write(image) : null};
}
