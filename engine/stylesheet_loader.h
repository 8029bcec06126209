// Follows a page's links to stylesheets and their @import rules, and reads each for the names it gives a
// preformatted white-space; what cannot be read is noted.
#pragma once

#include <engine/safe_html.h>
#include <engine/stylesheet_scan.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class ByteFile;
class PreservedNames;
class StylesheetFinder;

class StylesheetLoader final : public PageLinks
{
public:
    // Stylesheets read for one page at most, and @import rules followed one inside another at most: past
    // them every element keeps its whitespace.
    static constexpr std::size_t MostStylesheets = 64;
    static constexpr int MostImportDepth = 8;

    // finder null: the page has no folder (standard input), so only its own <style> blocks count.
    StylesheetLoader(StylesheetFinder* finder, PreservedNames& names, std::vector<std::string>* notes);

    void stylesheet(std::string_view href) override;
    void base(std::string_view href) override;
    void script(std::string_view src) override;
    ImportHandler& imports() override { return m_pageImports; }

private:
    class Imports final : public ImportHandler
    {
    public:
        Imports(StylesheetLoader& loader, const std::string* from, int depth)
            : m_loader(loader)
            , m_from(from)
            , m_depth(depth)
        {
        }
        void import(std::string_view url) override;

    private:
        StylesheetLoader& m_loader;
        const std::string* m_from; // the importing stylesheet's name; null for the page itself
        int m_depth;
    };

    // quiet: a second reading of the href, which needs no note when it leads nowhere.
    void load(const std::string& href, const std::string* importedFrom, int depth, bool quiet = false);
    void visit(const std::string& href, const std::string* importedFrom, int depth, bool quiet, const char* what,
               const std::function<void(ByteFile&, const std::string&)>& reader);
    bool recalled(const std::string& name);
    void read(ByteFile& file, const std::string& name, int depth);
    void scanScript(ByteFile& file, const std::string& name);
    void note(const char* what, const std::string& href, const std::string& why);
    void addNote(const std::string& text);

    StylesheetFinder* m_finder;
    PreservedNames& m_names;
    std::vector<std::string>* m_notes;
    std::string m_base;
    std::vector<std::string> m_read;    // the stylesheets and scripts read already, by the finder's names
    std::vector<std::string> m_reading; // those being read, one importing the next
    Imports m_pageImports;
};

// An attribute's value with its character references decoded, as far as a URL needs them (&amp; &quot; &lt;
// &gt; &apos; and numeric ones); others stay as written.
std::string decodeReferences(std::string_view value);

// href resolved against the page's <base href>, as far as a file on disk goes: a base with a scheme or a host
// makes every relative href remote.
std::string againstBase(std::string_view base, const std::string& href);
