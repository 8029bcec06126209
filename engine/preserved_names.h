// The names that a page's stylesheets give a preformatted white-space: tag, class, id and attribute names,
// kept as hashes in a table of fixed size, so that memory does not grow with the stylesheets.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

enum class NameKind : std::uint8_t
{
    Tag,
    Class,
    Id,
    Attribute,
};

// A name's hash, built a character at a time (FNV-1a over the kind and the name, ASCII letters in lower case:
// a page in quirks mode matches classes and ids without case, so a match without case is always on the safe side).
class NameHash
{
public:
    explicit NameHash(NameKind kind)
        : m_value((Offset ^ static_cast<std::uint64_t>(kind)) * Prime)
    {
    }
    void add(unsigned char c)
    {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<unsigned char>(c - 'A' + 'a');
        m_value = (m_value ^ c) * Prime;
        ++m_length;
    }
    void add(std::string_view text)
    {
        for (const char c : text)
            add(static_cast<unsigned char>(c));
    }
    std::uint64_t value() const { return m_value | 1; } // never 0, which marks a free slot
    std::size_t length() const { return m_length; }

private:
    static constexpr std::uint64_t Offset = 14695981039346656037ull;
    static constexpr std::uint64_t Prime = 1099511628211ull;
    std::uint64_t m_value;
    std::size_t m_length = 0;
};

// What a stylesheet (with all it imports) or a script gave a page, recorded as it is read, so that another page
// of the same run that links it can be given the same without reading it again.
struct NameJournal
{
    static constexpr std::size_t MostNames = 16384; // past them it is not complete: a journal stays bounded

    std::vector<std::pair<NameKind, std::uint64_t>> names;
    bool everything = false;
    bool everyClassAndId = false;
    bool complete = true; // false when something it holds could not be recorded (an @import that loops back)
    std::vector<std::string> notes;
};

// Past MostClassesAndIds class and id names, every element with a class or an id counts as named; past
// MostTagsAndAttributes tag and attribute names, every element does. Both only keep more whitespace than needed.
class PreservedNames
{
public:
    static constexpr std::size_t MostClassesAndIds = 4096;
    static constexpr std::size_t MostTagsAndAttributes = 1024;

    void add(NameKind kind, std::uint64_t hash);
    bool contains(std::uint64_t hash) const;
    // Every element keeps its whitespace: a rule that names no element (`*`, `:root`) or more names than fit.
    void keepEverything();
    bool everything() const { return m_everything; }
    bool everyClassAndId() const { return m_everyClassAndId; }
    bool empty() const { return m_count == 0 && !m_everything && !m_everyClassAndId; }
    // Whether any name of the kind is in, so that a page whose stylesheets name none is not looked up for it.
    bool has(NameKind kind) const { return m_kinds[static_cast<int>(kind)]; }

    // Everything added from now on is also written into journal, until it is closed (journals nest).
    void openJournal(NameJournal& journal) { m_journals.push_back(&journal); }
    void closeJournal() { m_journals.pop_back(); }
    const std::vector<NameJournal*>& journals() const { return m_journals; }
    // Adds what a journal holds.
    void replay(const NameJournal& journal);

private:
    static constexpr std::size_t TableSize = 16384; // at most a third full, so a look-up ends soon
    static_assert(TableSize >= 3 * (MostClassesAndIds + MostTagsAndAttributes) && (TableSize & (TableSize - 1)) == 0);

    // Allocated with the first name: most pages' stylesheets name none, and a page should not cost its zeroing.
    std::vector<std::uint64_t> m_slots;
    std::size_t m_count = 0;
    std::size_t m_classesAndIds = 0;
    std::size_t m_tagsAndAttributes = 0;
    bool m_everything = false;
    bool m_everyClassAndId = false;
    std::array<bool, 4> m_kinds {};
    std::vector<NameJournal*> m_journals;
};
