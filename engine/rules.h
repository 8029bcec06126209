// The four tag and whitespace rules, each called by the main loop on the character that starts its pattern.
#pragma once

#include <string_view>

struct CompactionRun;

inline constexpr std::string_view OpenDivPattern = "DIV ALIGN=\"CENTER\">"; // after '<', letters compared as capitals
inline constexpr std::string_view CloseDivPattern = "/DIV>";
inline constexpr std::string_view OpenCenterText = "<center>";
inline constexpr std::string_view CloseCenterText = "</center>";

void CollapseSpaceRun(CompactionRun& run);
void DropGapAfterTag(CompactionRun& run);
bool RewriteCenteredDiv(CompactionRun& run);
void SqueezeTag(CompactionRun& run);
