// The CLI fuzz target's input layout and the properties its argument parser must keep on any command line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The arguments after the program name, each ended by a NUL byte or by the end of the input, so that "" gives
// no argument and "\0" one empty argument.
std::vector<std::string> splitArguments(const std::uint8_t* data, std::size_t size);

// The first property of parseCommandLine or parseOptionList that these arguments break; empty when all hold.
std::string brokenParserProperty(const std::vector<std::string>& arguments);
