// Text for the fuzz targets' reports and command lines: lists of compaction names (bytes: escaped_text.h).
#pragma once

#include <engine/compaction.h>
#include <tests/support/escaped_text.h>

#include <string>
#include <utility>

// The names of the compactions that are on, as --options takes them.
inline std::string compactionList(const CompactionOptions& options)
{
    std::string list;
    const std::pair<bool, const char*> names[] = { { options.collapseWhitespace, "default" },
        { options.squeezeTags, "apici" }, { options.dropTagGaps, "tags" }, { options.rewriteCenteredDivs, "div" } };
    for (const auto& [on, name] : names)
        if (on)
            list += (list.empty() ? "" : ",") + std::string(name);
    return list;
}
