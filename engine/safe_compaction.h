// The safe compaction: only whitespace that a browser is certain to render the same way is changed, so a page
// looks and behaves exactly as before; the stylesheets a page links to are read to see which elements keep
// their whitespace.
#pragma once

#include <engine/compaction.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class ByteFile;
class StylesheetMemo;

// How a file is compacted, told by its name.
enum class SafeLanguage
{
    Html,     // .htm .html .shtml .xhtml .xht, and standard input: the HTML rules
    Css,      // .css: whitespace runs outside strings and comments shrink to one character
    Script,   // .js .mjs .cjs: a CR before LF goes, a lone CR becomes LF
    Verbatim, // anything else (.vbs, .txt, .php, .svg ...): copied byte for byte
};

// The language a file's name says it holds; "-" (standard input) is taken as HTML.
SafeLanguage safeLanguageOf(std::string_view path);

// Opens the stylesheets that a page links to (<link rel="stylesheet" href>) or imports (@import), so that the
// elements they give a preformatted white-space keep their whitespace.
class StylesheetFinder
{
public:
    virtual ~StylesheetFinder() = default;
    // Opens the stylesheet that href names, as written in a page or in a stylesheet (entities decoded), or answers
    // null with a note that says why it is not read ("not found", "remote"). importedFrom is null for a page's
    // own link, else the finder's name for the stylesheet whose @import names it.
    virtual std::unique_ptr<ByteFile> open(std::string_view href, const std::string* importedFrom,
                                           std::string& name, std::string& note)
        = 0;
    // Where what href names would be opened from, without opening it (false: not known before opening); and the
    // run's memory of what files gave earlier pages (null: every page reads its own).
    virtual bool locate(std::string_view, const std::string*, std::string&) { return false; }
    virtual StylesheetMemo* memo() { return nullptr; }
};

// Where the stylesheet that href names lies on disk, for a page in pageFolder of a site whose root folder is
// siteRoot, linked by the page (importedFrom null) or imported by the stylesheet at *importedFrom. A relative
// href is taken from the page's folder (or the importing stylesheet's), one that starts with "/" from siteRoot;
// the query and the fragment are dropped and %XX escapes decoded. False, with a note, for a URL with a scheme or
// a host (remote) or one that names no file.
bool stylesheetPath(std::string_view href, const std::string& pageFolder, const std::string& siteRoot,
                    const std::string* importedFrom, std::string& path, std::string& note);

// The stylesheets of a page on disk, found by stylesheetPath: a relative href from the page's folder (or from the importing stylesheet's),
// one that starts with "/" from siteRoot; a URL with a scheme or a host is remote and not read.
class FolderStylesheets final : public StylesheetFinder
{
public:
    // memo: shared by the pages of a run, or null.
    FolderStylesheets(std::string pagePath, std::string siteRoot, StylesheetMemo* memo = nullptr);
    std::unique_ptr<ByteFile> open(std::string_view href, const std::string* importedFrom, std::string& name,
                                   std::string& note) override;
    bool locate(std::string_view href, const std::string* importedFrom, std::string& name) override;
    StylesheetMemo* memo() override { return m_memo; }

private:
    std::string m_pageFolder;
    std::string m_siteRoot;
    StylesheetMemo* m_memo;
};

struct SafeCompaction
{
    SafeLanguage language = SafeLanguage::Html;
    StylesheetFinder* stylesheets = nullptr; // null: only the page's own <style> blocks count
    std::vector<std::string>* notes = nullptr; // where a stylesheet that could not be read is noted, if anywhere
};

// The safe compaction of source into destination, both open; otherwise as compactStream: the same gauge values,
// results and errors, both files closed after a run that succeeds. An HTML source is read twice, first for its
// stylesheets and then to compact it; the gauge follows the second reading.
CompactionResult compactStreamSafe(ByteFile& source, ByteFile& destination, const SafeCompaction& compaction,
                                   ProgressSink& progress, std::size_t blockSize = 0);

// CompactFile with the safe compaction: the language from the source's name, the linked stylesheets from the
// source's folder (siteRoot empty: the source's folder is also the root of the site).
CompactionResult CompactFileSafe(const std::string& sourcePath, const std::string& destinationPath,
                                 ProgressSink& progress,
                                 DestinationCreation creation = DestinationCreation::ReplaceExisting,
                                 std::vector<std::string>* notes = nullptr, const std::string& siteRoot = {});
