// The stylesheets and scripts of one run, read once: what each gave the first page that linked it is given again to
// every other page that links it.
#pragma once

#include <engine/preserved_names.h>

#include <cstddef>
#include <mutex>
#include <string>
#include <unordered_map>

class StylesheetMemo
{
public:
    // Past these, what is read is no longer kept: memory stays bounded, only more is read again.
    static constexpr std::size_t MostFiles = 4096;
    static constexpr std::size_t MostNames = 1 << 20;

    // What the file of that name gave, if it is kept.
    bool recall(const std::string& name, NameJournal& journal) const;
    void keep(const std::string& name, const NameJournal& journal);

private:
    mutable std::mutex m_mutex; // the workers of a run share it
    std::unordered_map<std::string, NameJournal> m_kept;
    std::size_t m_names = 0;
};
