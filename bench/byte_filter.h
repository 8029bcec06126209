// The yardstick the engine is measured against: one pass that drops every TAB and CR and copies the rest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

inline constexpr std::size_t FilterBlockSize = 1024 * 1024;

// Filters n bytes of in into out (room for n bytes); answers the number of bytes kept.
std::size_t filterTabsAndCrs(const unsigned char* in, std::size_t n, unsigned char* out);

// Reads source and writes destination (created or truncated) in blocks of FilterBlockSize with read(2) and
// write(2). Answers the number of bytes written; throws std::runtime_error on a failing call.
std::int64_t filterFile(const std::string& source, const std::string& destination);
