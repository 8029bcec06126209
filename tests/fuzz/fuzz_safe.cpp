// Fuzz target: the safe compaction on arbitrary pages, frames, buffer sizes and reads, against its properties.
#include <tests/fuzz/safe_check.h>

#include <tests/support/escaped_text.h>

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const SafeCase run = decodeSafeCase(data, size);
    const std::string fault = safeRunFault(run);
    if (!fault.empty()) {
        // An abort is what the fuzzer records as a finding, with the input that caused it.
        std::fprintf(stderr, "safe compaction, block %zu, reads of %zu, page %s:\n%s\n", run.blockSize, run.readLimit,
                     escaped(run.page).c_str(), fault.c_str());
        std::abort();
    }
    return 0;
}
