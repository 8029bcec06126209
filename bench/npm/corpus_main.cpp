// snellitore-bench-corpus: makes the engine benchmark's 100 MB corpus (and, asked, a copy of 1 GB) for the Node
// package's benchmark, and prints the path of each file it made.
#include <bench/bench_inputs.h>

#include <cstdint>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>

namespace {

constexpr std::int64_t Megabyte = 1000000;
constexpr std::int64_t CorpusBytes = 100 * Megabyte; // as snellitore-bench
constexpr std::int64_t BigBytes = 1000 * Megabyte;

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3 || (argc == 3 && std::string(argv[2]) != "--1g")) {
        std::cerr << "usage: snellitore-bench-corpus FOLDER [--1g]\n";
        return 2;
    }
    try {
        const std::string folder = argv[1];
        const Corpus corpus = prepareCorpus(folder, CorpusBytes);
        std::cout << corpus.path << '\n';
        if (argc == 3) {
            const std::string big = folder + "/corpus-1g.html";
            std::error_code missing;
            const auto held = std::filesystem::file_size(big, missing);
            if (missing || static_cast<std::int64_t>(held) < BigBytes)
                writeRepeated(big, corpus.path, BigBytes);
            std::cout << big << '\n';
        }
        return 0;
    } catch (const std::exception& error) {
        std::cerr << "snellitore-bench-corpus: " << error.what() << '\n';
        return 1;
    }
}
