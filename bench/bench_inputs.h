// The benchmark's input files: the corpus of real pages, the pathological inputs, big copies, scratch cleanup.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Corpus
{
    std::string path;
    std::int64_t bytes = 0;
    std::size_t htmlFiles = 0; // pages it was assembled from; 0 when a cached corpus was reused
};

// Every non-empty HTML page of the system's documentation folders, each once, in sorted order: the pages the
// corpus is made of.
std::vector<std::string> findHtmlPages();

// Reuses folder/corpus.html when it holds at least minimumBytes; otherwise concatenates every HTML file found
// under the system's documentation folders, repeating the set until it reaches minimumBytes. Throws
// std::runtime_error when the machine has no HTML file.
Corpus prepareCorpus(const std::string& folder, std::int64_t minimumBytes);

// Writes prefix, then unit repeated until the repetitions reach repeatedBytes, then suffix. Answers the size.
std::int64_t writePattern(const std::string& path, const std::string& prefix, const std::string& unit,
                          std::int64_t repeatedBytes, const std::string& suffix);

// Writes whole copies of source one after another until the file holds at least minimumBytes.
std::int64_t writeRepeated(const std::string& path, const std::string& source, std::int64_t minimumBytes);

// Reads the file through once, so that the timed runs find it in the page cache. Answers its size.
std::int64_t readThrough(const std::string& path);

std::vector<unsigned char> readWhole(const std::string& path);
std::int64_t fileSize(const std::string& path);
// Bytes an unprivileged write could still use on the file system that holds folder; -1 when unknown.
std::int64_t freeBytes(const std::string& folder);

// Deletes the files it was given when it goes, however the benchmark ends.
class ScratchFiles
{
public:
    ScratchFiles() = default;
    ~ScratchFiles();
    ScratchFiles(const ScratchFiles&) = delete;
    ScratchFiles& operator=(const ScratchFiles&) = delete;

    // Answers folder/name and remembers it for deletion.
    std::string add(const std::string& folder, const std::string& name);
    void removeAll();

private:
    std::vector<std::string> m_paths;
};
