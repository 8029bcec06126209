// The safe compaction of HTML: a tokenizer after the HTML standard's, with fixed-size state (counters and a
// few bytes of the current tag), that compacts a page once a first reading has found its stylesheets.
#pragma once

#include <cstdint>
#include <string_view>

class DestinationWriter;
class ImportHandler;
class PreservedNames;
class ProgressMeter;
class SourceReader;

// What the first reading of a page reports besides its <style> blocks.
class PageLinks
{
public:
    virtual ~PageLinks() = default;
    // A <link> that is a stylesheet (rel="stylesheet", or a preload of one), with its href as written.
    virtual void stylesheet(std::string_view href) = 0;
    // The first <base href>, as written.
    virtual void base(std::string_view href) = 0;
    // A <script src>, as written: a script may give elements a white-space of its own.
    virtual void script(std::string_view src) = 0;
    // Where the @import rules of the page's own <style> blocks lead.
    virtual ImportHandler& imports() = 0;
};

// Reads the page from its start to its end: adds to names what its <style> blocks give a preformatted
// white-space and tells links of its linked stylesheets and scripts; a script of its own that writes
// "white-space" keeps the whole page. Every "<style", "<link", "<base" and "<script" counts, wherever it stands:
// one in a comment or a script only keeps more whitespace than needed.
void readPageStyles(SourceReader& source, PreservedNames& names, PageLinks& links);

// Compacts the page from its start. A tag that the end of the page leaves open is copied as it stands.
void compactPage(SourceReader& source, DestinationWriter& destination, ProgressMeter& progress,
                 const PreservedNames& names);
