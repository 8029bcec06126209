// Type declarations of the snellitore package.
/// <reference types="node" />
import { Transform } from 'stream';

/** The compactions by the names snellitore-cli takes in --options. */
export type Compaction = 'default' | 'apici' | 'tags' | 'div';

export interface CompactOptions {
    /** The rules to apply; default ['default', 'apici', 'div'] as the CLI; [] copies byte for byte. */
    compactions?: readonly Compaction[];
    /** The safe compaction: only whitespace a browser renders the same way is changed. Excludes compactions. */
    safe?: boolean;
    /** Called with each new whole percentage of the source read, as the CLI's --progress prints them. */
    onProgress?: (percent: number) => void;
}

export interface CompactFileOptions extends CompactOptions {
    /** Replace an existing destination (a symbolic link is replaced itself, never written through). */
    force?: boolean;
}

export interface CompactFileResult {
    /** Bytes in the source. */
    sourceSize: number;
    /** Bytes written, the destination's size. */
    written: number;
    /** With safe: the linked stylesheets that could not be read, and why. */
    notes?: string[];
}

/** A failed file operation: message "NAME: text", code the CLI's I/O code (2: "File not found"). */
export class IoError extends Error {
    readonly name: 'IoError';
    readonly code: number;
    /** The file the failure concerns. */
    readonly path: string;
}

/** The compacted copy of input; a string is taken as its UTF-8 bytes. */
export function compact(input: Uint8Array | string, options?: CompactOptions): Buffer;

/** A Transform stream that compacts what is written to it, in bounded memory whatever its size. */
export function createCompactStream(options?: CompactOptions): Transform;

/** Compacts the file source into destination, which appears under its name only once complete. */
export function compactFile(
    source: string | Buffer | URL,
    destination: string | Buffer | URL,
    options?: CompactFileOptions
): Promise<CompactFileResult>;
