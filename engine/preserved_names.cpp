// The names that a page's stylesheets give a preformatted white-space.
#include <engine/preserved_names.h>

void PreservedNames::add(NameKind kind, std::uint64_t hash)
{
    for (NameJournal* journal : m_journals) {
        if (journal->names.size() < NameJournal::MostNames)
            journal->names.emplace_back(kind, hash);
        else
            journal->complete = false;
    }
    if (contains(hash))
        return;
    const bool classOrId = kind == NameKind::Class || kind == NameKind::Id;
    std::size_t& counted = classOrId ? m_classesAndIds : m_tagsAndAttributes;
    if (counted == (classOrId ? MostClassesAndIds : MostTagsAndAttributes)) {
        if (classOrId) {
            m_everyClassAndId = true;
            for (NameJournal* journal : m_journals)
                journal->everyClassAndId = true;
        } else {
            keepEverything();
        }
        return;
    }
    if (m_slots.empty())
        m_slots.resize(TableSize);
    ++counted;
    ++m_count;
    m_kinds[static_cast<int>(kind)] = true;
    for (std::size_t i = hash & (TableSize - 1);; i = (i + 1) & (TableSize - 1)) {
        if (m_slots[i] == 0) {
            m_slots[i] = hash;
            return;
        }
    }
}

bool PreservedNames::contains(std::uint64_t hash) const
{
    if (m_slots.empty())
        return false;
    for (std::size_t i = hash & (TableSize - 1);; i = (i + 1) & (TableSize - 1)) {
        if (m_slots[i] == hash)
            return true;
        if (m_slots[i] == 0)
            return false;
    }
}

void PreservedNames::keepEverything()
{
    m_everything = true;
    for (NameJournal* journal : m_journals)
        journal->everything = true;
}

void PreservedNames::replay(const NameJournal& journal)
{
    for (const auto& [kind, hash] : journal.names)
        add(kind, hash);
    if (journal.everyClassAndId) {
        m_everyClassAndId = true;
        for (NameJournal* outer : m_journals)
            outer->everyClassAndId = true;
    }
    if (journal.everything)
        keepEverything();
}
