// Exact integer rounding for the progress value and the size ratio.
#include <engine/arithmetic.h>

std::int64_t roundHalfEven(std::int64_t numerator, std::int64_t denominator)
{
    std::int64_t quotient = numerator / denominator;
    std::int64_t remainder = numerator % denominator;
    if (remainder < 0) { // floor division, so that the remainder lies in [0, denominator)
        --quotient;
        remainder += denominator;
    }
    const std::int64_t twice = 2 * remainder;
    if (twice > denominator || (twice == denominator && (quotient & 1) != 0))
        ++quotient;
    return quotient;
}

int progressPercent(std::int64_t position, std::int64_t size)
{
    return static_cast<int>(roundHalfEven(position * 100, size));
}

std::optional<std::int64_t> compactionRatio(std::int64_t sourceSize, std::int64_t written)
{
    if (sourceSize <= 0)
        return std::nullopt;
    return roundHalfEven((written - sourceSize) * 100, sourceSize);
}
