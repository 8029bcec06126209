// Assembling the corpus and writing the synthetic inputs of the benchmark.
#include <bench/bench_inputs.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <sys/statvfs.h>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr std::size_t CopyBlockSize = 1024 * 1024;
const char* const CorpusName = "corpus.html";
// Packaged documentation: /usr/share/doc and the per-program doc folders below /usr/share.
const char* const HtmlRoots[] = {"/usr/share", "/usr/local/share"};

bool isHtmlName(const fs::path& path)
{
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".htm" || extension == ".html" || extension == ".xhtml";
}

// Every non-empty HTML file under the roots, each once, in a fixed order so that the corpus is reproducible.
std::vector<fs::path> findHtmlFiles()
{
    std::vector<fs::path> found;
    for (const char* root : HtmlRoots) {
        std::error_code error;
        fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, error);
        for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
            std::error_code statError;
            if (isHtmlName(it->path()) && it->is_regular_file(statError) && it->file_size(statError) > 0)
                found.push_back(fs::canonical(it->path(), statError));
        }
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    found.erase(std::remove(found.begin(), found.end(), fs::path()), found.end());
    return found;
}

std::ofstream createOutput(const std::string& path)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        throw std::runtime_error("cannot create " + path + ": " + std::strerror(errno));
    return out;
}

void finish(std::ofstream& out, const std::string& path)
{
    out.close();
    if (!out)
        throw std::runtime_error("cannot write " + path + " (disk full?)");
}

// Appends the file to out; answers the bytes copied.
std::int64_t append(std::ofstream& out, const fs::path& from, std::vector<char>& block)
{
    std::ifstream in(from, std::ios::binary);
    std::int64_t copied = 0;
    while (in) {
        in.read(block.data(), static_cast<std::streamsize>(block.size()));
        out.write(block.data(), in.gcount());
        copied += in.gcount();
    }
    return copied;
}

} // namespace

Corpus prepareCorpus(const std::string& folder, std::int64_t minimumBytes)
{
    fs::create_directories(folder);
    Corpus corpus{(fs::path(folder) / CorpusName).string(), 0, 0};
    std::error_code error;
    const auto cached = fs::file_size(corpus.path, error);
    if (!error && static_cast<std::int64_t>(cached) >= minimumBytes) {
        corpus.bytes = static_cast<std::int64_t>(cached);
        return corpus;
    }
    const std::vector<fs::path> pages = findHtmlFiles();
    if (pages.empty())
        throw std::runtime_error("no HTML file found under /usr/share; put a corpus of at least 100 MB at "
                                 + corpus.path);
    // Written aside and renamed, so that an interrupted run never leaves a short corpus behind as the cache.
    const std::string partial = corpus.path + ".partial";
    std::ofstream out = createOutput(partial);
    std::vector<char> block(CopyBlockSize);
    while (corpus.bytes < minimumBytes) {
        for (const fs::path& page : pages) {
            corpus.bytes += append(out, page, block);
            if (corpus.bytes >= minimumBytes)
                break;
        }
    }
    finish(out, partial);
    fs::rename(partial, corpus.path);
    corpus.htmlFiles = pages.size();
    return corpus;
}

std::int64_t writePattern(const std::string& path, const std::string& prefix, const std::string& unit,
                          std::int64_t repeatedBytes, const std::string& suffix)
{
    std::string block;
    while (block.size() < CopyBlockSize)
        block += unit; // whole units only, so the pattern runs on unbroken across blocks
    std::ofstream out = createOutput(path);
    out << prefix;
    std::int64_t repeated = 0;
    while (repeated < repeatedBytes) {
        const auto units = std::min<std::int64_t>(static_cast<std::int64_t>(block.size() / unit.size()),
                                                  (repeatedBytes - repeated + static_cast<std::int64_t>(unit.size()) - 1)
                                                      / static_cast<std::int64_t>(unit.size()));
        const auto bytes = static_cast<std::size_t>(units) * unit.size();
        out.write(block.data(), static_cast<std::streamsize>(bytes));
        repeated += static_cast<std::int64_t>(bytes);
    }
    out << suffix;
    finish(out, path);
    return static_cast<std::int64_t>(prefix.size() + suffix.size()) + repeated;
}

std::int64_t writeRepeated(const std::string& path, const std::string& source, std::int64_t minimumBytes)
{
    std::ofstream out = createOutput(path);
    std::vector<char> block(CopyBlockSize);
    std::int64_t total = 0;
    while (total < minimumBytes) {
        const std::int64_t copied = append(out, source, block);
        if (copied == 0)
            throw std::runtime_error("cannot read " + source);
        total += copied;
    }
    finish(out, path);
    return total;
}

std::int64_t readThrough(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot open " + path);
    std::vector<char> block(CopyBlockSize);
    std::int64_t total = 0;
    while (in) {
        in.read(block.data(), static_cast<std::streamsize>(block.size()));
        total += in.gcount();
    }
    return total;
}

std::vector<unsigned char> readWhole(const std::string& path)
{
    std::vector<unsigned char> data(static_cast<std::size_t>(fileSize(path)));
    std::ifstream in(path, std::ios::binary);
    in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
    if (in.gcount() != static_cast<std::streamsize>(data.size()))
        throw std::runtime_error("cannot read " + path);
    return data;
}

std::int64_t fileSize(const std::string& path)
{
    return static_cast<std::int64_t>(fs::file_size(path));
}

std::int64_t freeBytes(const std::string& folder)
{
    struct statvfs info {};
    if (::statvfs(folder.c_str(), &info) != 0)
        return -1;
    return static_cast<std::int64_t>(info.f_bavail) * static_cast<std::int64_t>(info.f_frsize);
}

ScratchFiles::~ScratchFiles()
{
    removeAll();
}

std::string ScratchFiles::add(const std::string& folder, const std::string& name)
{
    m_paths.push_back((fs::path(folder) / name).string());
    return m_paths.back();
}

void ScratchFiles::removeAll()
{
    for (const std::string& path : m_paths) {
        std::error_code ignored; // a file that was never made is no failure here
        fs::remove(path, ignored);
    }
    m_paths.clear();
}
