// The characters the compaction treats apart, by their codes.
#pragma once

inline constexpr unsigned char Tab = 9;
inline constexpr unsigned char Lf = 10;
inline constexpr unsigned char Cr = 13;
inline constexpr unsigned char Space = 32;
inline constexpr unsigned char Quote = 34;
inline constexpr unsigned char Semicolon = 59;
inline constexpr unsigned char Less = 60;
inline constexpr unsigned char Greater = 62;
