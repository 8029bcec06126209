// Follows a page's links to stylesheets, and finds where on disk each lies.
#include <engine/stylesheet_loader.h>

#include <engine/line_input.h>
#include <engine/preserved_names.h>
#include <engine/safe_compaction.h>
#include <engine/source_reader.h>
#include <engine/stylesheet_memo.h>
#include <engine/word_watch.h>

#include <platform/byte_file.h>
#include <platform/io_error.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <memory>

namespace {

constexpr std::size_t StylesheetBlock = 16 * 1024; // a stylesheet's read buffer: several may be open at once

bool isAsciiSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// A URL's scheme ("https:", "data:"), or empty when it has none.
std::string_view schemeOf(std::string_view url)
{
    if (url.empty() || !std::isalpha(static_cast<unsigned char>(url[0])))
        return {};
    for (std::size_t i = 1; i < url.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(url[i]);
        if (c == ':')
            return url.substr(0, i + 1);
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.')
            return {};
    }
    return {};
}

bool isRemote(std::string_view url)
{
    return !schemeOf(url).empty() || url.rfind("//", 0) == 0 || url.rfind("\\\\", 0) == 0;
}

void appendUtf8(std::string& out, unsigned long code)
{
    if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        code = 0xFFFD;
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f')
        return (c | 0x20) - 'a' + 10;
    return -1;
}

std::string percentDecoded(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexDigit(text[i + 1]) >= 0 && hexDigit(text[i + 2]) >= 0) {
            out.push_back(static_cast<char>(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2])));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of("/\\");
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string withoutTrailingSeparators(std::string path)
{
    while (path.size() > 1 && (path.back() == '/' || path.back() == '\\'))
        path.pop_back();
    return path.empty() ? "." : path;
}

// The folder's path inside the site, as a URL path ending with "/": "/" for the site's root itself.
std::string urlFolder(const std::string& folder, const std::string& root)
{
    if (folder == root)
        return "/";
    if (folder.size() > root.size() && folder.compare(0, root.size(), root) == 0
        && (folder[root.size()] == '/' || folder[root.size()] == '\\' || root == "/")) {
        std::string inside = folder.substr(root == "/" ? 0 : root.size());
        std::replace(inside.begin(), inside.end(), '\\', '/');
        if (inside.empty() || inside.front() != '/')
            inside.insert(inside.begin(), '/');
        return inside + "/";
    }
    return "/";
}

// Resolves "." and ".." in a URL path, never above the root, as a browser does.
std::string normalisedUrlPath(const std::string& path)
{
    std::vector<std::string> segments;
    std::size_t start = 1;
    for (;;) {
        const std::size_t slash = path.find('/', start);
        const std::string segment = path.substr(start, slash == std::string::npos ? slash : slash - start);
        const bool last = slash == std::string::npos;
        if (segment == "..") {
            if (!segments.empty())
                segments.pop_back();
            if (last)
                segments.emplace_back();
        } else if (segment == ".") {
            if (last)
                segments.emplace_back();
        } else {
            segments.push_back(segment);
        }
        if (last)
            break;
        start = slash + 1;
    }
    std::string out;
    for (const std::string& segment : segments)
        out += "/" + segment;
    return out.empty() ? "/" : out;
}

} // namespace

std::string decodeReferences(std::string_view value)
{
    static constexpr std::pair<std::string_view, char> Named[] = {
        {"amp;", '&'}, {"quot;", '"'}, {"lt;", '<'}, {"gt;", '>'}, {"apos;", '\''}};
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '&') {
            out.push_back(value[i]);
            continue;
        }
        const std::string_view rest = value.substr(i + 1);
        bool done = false;
        for (const auto& [name, c] : Named)
            if (rest.rfind(name, 0) == 0) {
                out.push_back(c);
                i += name.size();
                done = true;
                break;
            }
        if (!done && !rest.empty() && rest[0] == '#') {
            const bool hex = rest.size() > 1 && (rest[1] == 'x' || rest[1] == 'X');
            std::size_t j = hex ? 2 : 1;
            unsigned long code = 0;
            const std::size_t first = j;
            for (; j < rest.size() && j < first + 8; ++j) {
                const int digit = hex ? hexDigit(rest[j]) : (rest[j] >= '0' && rest[j] <= '9' ? rest[j] - '0' : -1);
                if (digit < 0)
                    break;
                code = code * (hex ? 16 : 10) + static_cast<unsigned long>(digit);
            }
            if (j > first) {
                appendUtf8(out, code);
                i += j + (j < rest.size() && rest[j] == ';' ? 1 : 0);
                done = true;
            }
        }
        if (!done)
            out.push_back('&');
    }
    return out;
}

std::string againstBase(std::string_view base, const std::string& href)
{
    if (base.empty() || isRemote(href) || (!href.empty() && (href[0] == '/' || href[0] == '\\')))
        return href;
    const std::size_t slash = base.find_last_of("/\\");
    const std::string folder(slash == std::string::npos ? std::string_view() : base.substr(0, slash + 1));
    if (isRemote(base))
        return folder.empty() ? std::string(base) + "/" + href : folder + href;
    return folder + href;
}

bool stylesheetPath(std::string_view href, const std::string& pageFolder, const std::string& siteRoot,
                    const std::string* importedFrom, std::string& path, std::string& note)
{
    // The URL parser drops leading and trailing spaces and every TAB and line break.
    std::string url;
    for (const char c : href)
        if (c != '\t' && c != '\n' && c != '\r')
            url.push_back(c);
    while (!url.empty() && isAsciiSpace(url.back()))
        url.pop_back();
    url.erase(0, std::min(url.size(), static_cast<std::size_t>(std::find_if_not(url.begin(), url.end(),
                                                                                 isAsciiSpace) - url.begin())));
    if (url.empty()) {
        note = "names no file";
        return false;
    }
    if (isRemote(url)) {
        note = "remote, not read";
        return false;
    }
    std::replace(url.begin(), url.end(), '\\', '/');
    url = url.substr(0, url.find_first_of("?#"));
    if (url.empty()) {
        note = "names no file";
        return false;
    }
    url = percentDecoded(url);
    const std::string root = withoutTrailingSeparators(siteRoot.empty() ? pageFolder : siteRoot);
    const std::string from = importedFrom ? folderOf(*importedFrom) : withoutTrailingSeparators(pageFolder);
    const std::string absolute = url[0] == '/' ? url : urlFolder(withoutTrailingSeparators(from), root) + url;
    const std::string inside = normalisedUrlPath(absolute);
    if (inside.back() == '/') {
        note = "names a folder";
        return false;
    }
    path = (root == "/" ? std::string() : root) + inside;
    return true;
}

StylesheetLoader::StylesheetLoader(StylesheetFinder* finder, PreservedNames& names, std::vector<std::string>* notes)
    : m_finder(finder)
    , m_names(names)
    , m_notes(notes)
    , m_pageImports(*this, nullptr, 0)
{
}

// Without the markup around it, a <base> may be one only in text: the href is also read as if there were none.
void StylesheetLoader::stylesheet(std::string_view href)
{
    const std::string written = decodeReferences(href);
    const std::string based = againstBase(m_base, written);
    load(based, nullptr, 0);
    if (based != written)
        load(written, nullptr, 0, true);
}

void StylesheetLoader::base(std::string_view href)
{
    m_base = decodeReferences(href);
}

void StylesheetLoader::Imports::import(std::string_view url)
{
    const std::string href(url);
    const std::string based = m_from ? href : againstBase(m_loader.m_base, href);
    m_loader.load(based, m_from, m_depth + 1);
    if (based != href)
        m_loader.load(href, m_from, m_depth + 1, true);
}

void StylesheetLoader::note(const char* what, const std::string& href, const std::string& why)
{
    addNote(std::string(what) + " " + href + ": " + why);
}

void StylesheetLoader::addNote(const std::string& text)
{
    if (m_notes)
        m_notes->push_back(text);
    for (NameJournal* journal : m_names.journals())
        journal->notes.push_back(text);
}
// Reads what href names with reader, once a page, or gives again what it gave an earlier page of the run.
void StylesheetLoader::visit(const std::string& href, const std::string* importedFrom, int depth, bool quiet,
                             const char* what, const std::function<void(ByteFile&, const std::string&)>& reader)
{
    if (m_names.everything())
        return;
    if (href.empty()) {
        note(what, "(too long)", "not read");
        return;
    }
    std::string scheme(schemeOf(href));
    std::transform(scheme.begin(), scheme.end(), scheme.begin(), [](unsigned char c) { return std::tolower(c); });
    if (scheme == "data:") { // part of the page, but not read here: every element keeps its whitespace
        m_names.keepEverything();
        note(what, "data:", "not read, so the whole page keeps its whitespace");
        return;
    }
    if (!m_finder) {
        note(what, href, "not read (the page has no folder)");
        return;
    }
    if (depth > MostImportDepth || m_read.size() >= MostStylesheets) {
        m_names.keepEverything();
        note(what, href, "one too many, so the whole page keeps its whitespace");
        return;
    }
    std::string name;
    if (m_finder->memo() && m_finder->locate(href, importedFrom, name) && recalled(name))
        return;
    std::string why;
    const std::unique_ptr<ByteFile> file = m_finder->open(href, importedFrom, name, why);
    if (!file) {
        if (!quiet)
            note(what, href, why);
        return;
    }
    if (std::find(m_read.begin(), m_read.end(), name) != m_read.end()) {
        file->close();
        if (!recalled(name)) // read for this page already, but what it gave is not at hand to record again
            for (NameJournal* journal : m_names.journals())
                journal->complete = false;
        return;
    }
    m_read.push_back(name);
    m_reading.push_back(name);
    NameJournal journal;
    m_names.openJournal(journal);
    try {
        reader(*file, name);
    } catch (const EInOutError& error) {
        m_names.keepEverything();
        note(what, href, std::string(error.what()) + ", so the whole page keeps its whitespace");
    }
    m_names.closeJournal();
    m_reading.pop_back();
    file->close();
    if (StylesheetMemo* memo = m_finder->memo())
        memo->keep(name, journal);
}

// What an earlier page was given by the file of that name, given again; false when the run does not know it.
bool StylesheetLoader::recalled(const std::string& name)
{
    if (std::find(m_reading.begin(), m_reading.end(), name) != m_reading.end()) {
        // An @import that leads back to a stylesheet being read: it gives this page nothing new, but the journals
        // of those in between cannot hold what it gives.
        for (NameJournal* journal : m_names.journals())
            journal->complete = false;
        return true;
    }
    NameJournal kept;
    StylesheetMemo* memo = m_finder->memo();
    if (!memo || !memo->recall(name, kept))
        return false;
    m_names.replay(kept);
    for (const std::string& text : kept.notes)
        addNote(text);
    if (std::find(m_read.begin(), m_read.end(), name) == m_read.end())
        m_read.push_back(name);
    return true;
}

void StylesheetLoader::load(const std::string& href, const std::string* importedFrom, int depth, bool quiet)
{
    visit(href, importedFrom, depth, quiet, "stylesheet",
          [&](ByteFile& file, const std::string& name) { read(file, name, depth); });
}

// Without the markup around it, a <base> may be one only in text: the src is also read as if there were none.
void StylesheetLoader::script(std::string_view src)
{
    const std::string written = decodeReferences(src);
    const std::string based = againstBase(m_base, written);
    visit(based, nullptr, 0, false, "script", [&](ByteFile& file, const std::string& name) { scanScript(file, name); });
    if (based != written)
        visit(written, nullptr, 0, true, "script", [&](ByteFile& file, const std::string& name) { scanScript(file, name); });
}

// A script that writes "white-space" or "whiteSpace" may give any element a white-space that keeps whitespace.
void StylesheetLoader::scanScript(ByteFile& file, const std::string& name)
{
    WordWatch words({"whiteSpace", "white-space"});
    std::int64_t size = 0;
    check(file.size(size));
    check(file.seek(0));
    SourceReader source(file, size, static_cast<std::size_t>(std::clamp<std::int64_t>(size, 1, StylesheetBlock)));
    source.watch(&words);
    while (!source.atEnd() && !words.found()) {
        source.refill();
        source.skipTo(source.end());
    }
    if (words.found()) {
        m_names.keepEverything();
        note("script", name, "sets white-space, so the whole page keeps its whitespace");
    }
}

void StylesheetLoader::read(ByteFile& file, const std::string& name, int depth)
{
    std::int64_t size = 0;
    check(file.size(size));
    check(file.seek(0));
    SourceReader source(file, size, static_cast<std::size_t>(std::clamp<std::int64_t>(size, 1, StylesheetBlock)));
    LineInput line(source);
    CssInput css(line, false);
    Imports imports(*this, &name, depth);
    scanStylesheet(css, m_names, imports);
}
