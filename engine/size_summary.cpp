// The size summary texts shown after a run.
#include <engine/size_summary.h>

#include <engine/arithmetic.h>

std::string ratioText(std::int64_t sourceSize, std::int64_t written)
{
    return std::to_string(compactionRatio(sourceSize, written).value_or(0)) + "%";
}

std::string summaryText(const std::string& sourcePath, std::int64_t sourceSize, const std::string& destinationPath,
                        std::int64_t written)
{
    return sourcePath + " " + std::to_string(sourceSize) + " byte  ==> " + destinationPath + " "
        + std::to_string(written) + " byte " + ratioText(sourceSize, written);
}
