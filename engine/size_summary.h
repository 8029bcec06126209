// The size summary texts shown after a run: the ratio and the one-line summary.
#pragma once

#include <cstdint>
#include <string>

// The ratio as shown to the user: "-25%". An empty source stays empty, so it shows "0%".
std::string ratioText(std::int64_t sourceSize, std::int64_t written);

// The one-line size summary: "SRC S byte  ==> DEST W byte R%".
std::string summaryText(const std::string& sourcePath, std::int64_t sourceSize, const std::string& destinationPath,
                        std::int64_t written);
