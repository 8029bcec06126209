// Exact integer rounding for the progress value and the size ratio: halves go to the even neighbour.
#pragma once

#include <cstdint>
#include <optional>

// numerator / denominator rounded to the nearest integer, exact halves to the even one; denominator > 0.
std::int64_t roundHalfEven(std::int64_t numerator, std::int64_t denominator);

// The whole percentage a gauge shows after position of size characters; size > 0.
int progressPercent(std::int64_t position, std::int64_t size);

// written / sourceSize x 100 - 100, rounded; no value for an empty source.
std::optional<std::int64_t> compactionRatio(std::int64_t sourceSize, std::int64_t written);
