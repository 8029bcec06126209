// The stylesheets and scripts of one run, read once.
#include <engine/stylesheet_memo.h>

bool StylesheetMemo::recall(const std::string& name, NameJournal& journal) const
{
    const std::lock_guard lock(m_mutex);
    const auto found = m_kept.find(name);
    if (found == m_kept.end())
        return false;
    journal = found->second;
    return true;
}

void StylesheetMemo::keep(const std::string& name, const NameJournal& journal)
{
    const std::lock_guard lock(m_mutex);
    if (!journal.complete || m_kept.size() >= MostFiles || m_names + journal.names.size() > MostNames)
        return;
    if (m_kept.emplace(name, journal).second)
        m_names += journal.names.size();
}
