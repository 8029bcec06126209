// The safe compaction of HTML: a tokenizer after the HTML standard's, with fixed-size state (counters and a
// few bytes of the current tag), run twice over a page: once for its stylesheets, once to compact it.
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
    // Where the @import rules of the page's own <style> blocks lead.
    virtual ImportHandler& imports() = 0;
};

// Reads the page from its start to its end: adds to names what its <style> blocks give a preformatted
// white-space and tells links of its linked stylesheets. Answers where a tag, comment or declaration that the
// end of the page leaves open begins, or -1.
std::int64_t readPageStyles(SourceReader& source, PreservedNames& names, PageLinks& links);

// Compacts the page from its start; from unterminatedAt on (when not -1) it is copied as it stands.
void compactPage(SourceReader& source, DestinationWriter& destination, ProgressMeter& progress,
                 const PreservedNames& names, std::int64_t unterminatedAt);
