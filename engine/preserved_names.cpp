// The names that a page's stylesheets give a preformatted white-space.
#include <engine/preserved_names.h>

void PreservedNames::add(NameKind kind, std::uint64_t hash)
{
    if (contains(hash))
        return;
    const bool classOrId = kind == NameKind::Class || kind == NameKind::Id;
    std::size_t& counted = classOrId ? m_classesAndIds : m_tagsAndAttributes;
    if (counted == (classOrId ? MostClassesAndIds : MostTagsAndAttributes)) {
        if (classOrId)
            m_everyClassAndId = true;
        else
            m_everything = true;
        return;
    }
    ++counted;
    ++m_count;
    for (std::size_t i = hash & (TableSize - 1);; i = (i + 1) & (TableSize - 1)) {
        if (m_slots[i] == 0) {
            m_slots[i] = hash;
            return;
        }
    }
}

bool PreservedNames::contains(std::uint64_t hash) const
{
    for (std::size_t i = hash & (TableSize - 1);; i = (i + 1) & (TableSize - 1)) {
        if (m_slots[i] == hash)
            return true;
        if (m_slots[i] == 0)
            return false;
    }
}
