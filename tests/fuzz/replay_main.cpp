// Runs a fuzz target's entry point once on each input: every file of its seed corpus, or the paths given.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fs = std::filesystem;

namespace {

// The files under each path, folders walked in name order so that a failure is easy to find again.
bool collectInputs(const fs::path& root, std::vector<fs::path>& inputs)
{
    std::error_code error;
    if (fs::is_regular_file(root, error)) {
        inputs.push_back(root);
        return true;
    }
    if (!fs::is_directory(root, error)) {
        std::fprintf(stderr, "no such input or folder: %s\n", root.string().c_str());
        return false;
    }
    std::vector<fs::path> found;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file() && entry.path().filename().string()[0] != '.')
            found.push_back(entry.path());
    std::sort(found.begin(), found.end());
    inputs.insert(inputs.end(), found.begin(), found.end());
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<fs::path> roots(argv + 1, argv + argc);
    if (roots.empty())
        roots.emplace_back(SNELLITORE_CORPUS);
    std::vector<fs::path> inputs;
    for (const fs::path& root : roots)
        if (!collectInputs(root, inputs))
            return 1;
    for (const fs::path& input : inputs) {
        std::ifstream file(input, std::ios::binary);
        const std::string bytes { std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>() };
        if (!file.good() && !file.eof()) {
            std::fprintf(stderr, "cannot read %s\n", input.string().c_str());
            return 1;
        }
        std::fprintf(stderr, "%s\n", input.string().c_str());
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    std::printf("replayed %zu inputs\n", inputs.size());
    // No input at all would let the test pass without running the target once.
    return inputs.empty() ? 1 : 0;
}
