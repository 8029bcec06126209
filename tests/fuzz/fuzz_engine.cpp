// Fuzz target: the engine on arbitrary pages, options and buffer sizes against the naive reference.
#include <tests/fuzz/engine_check.h>

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const EngineCase run = decodeEngineCase(data, size);
    const std::string difference
        = differenceFromReference(runEngine(run), run.page, naiveCompact(run.page, run.options));
    if (!difference.empty()) {
        // An abort is what the fuzzer records as a finding, with the input that caused it.
        std::fprintf(
            stderr, "engine and reference disagree on %s\n%s\n", describeCase(run).c_str(), difference.c_str());
        std::abort();
    }
    return 0;
}
