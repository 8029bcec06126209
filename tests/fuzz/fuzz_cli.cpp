// Fuzz target: the CLI's argument parser on arbitrary command lines, arguments separated by NUL bytes.
#include <tests/fuzz/cli_check.h>

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string broken = brokenParserProperty(splitArguments(data, size));
    if (!broken.empty()) {
        std::fprintf(stderr, "%s\n", broken.c_str());
        std::abort();
    }
    return 0;
}
