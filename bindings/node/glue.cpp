// The engine's entry points for the Node package: byte files kept by the JavaScript side, one run, the I/O texts.
#include <engine/compaction.h>
#include <engine/safe_compaction.h>
#include <platform/byte_file.h>
#include <platform/io_error.h>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Supplied by host_library.js. Every file is a number the JavaScript side chose; every answer is an I/O code.
extern "C" {
int snellitore_host_read(int file, unsigned char* buffer, std::size_t n, std::size_t* got);
int snellitore_host_write(int file, const unsigned char* buffer, std::size_t n, std::size_t* stored);
int snellitore_host_size(int file, double* bytes);
int snellitore_host_seek(int file, double offset);
int snellitore_host_close(int file);
void snellitore_host_progress(int percent);
// Opens the stylesheet at path (length bytes, not NUL-terminated) for reading and sets file; or answers an I/O
// code, or NoFile for a name that holds something other than a file (a folder, a FIFO, a device).
int snellitore_host_open_stylesheet(const char* path, std::size_t length, int* file);
}

namespace {

constexpr int NoFile = -1;

// Sizes and offsets cross as doubles: exact up to 2^53 bytes, and no 64-bit integer needs to reach JavaScript.
class HostFile final : public ByteFile
{
public:
    explicit HostFile(int id)
        : m_id(id)
    {
    }
    int read(unsigned char* buffer, std::size_t n, std::size_t& got) override
    {
        got = 0;
        return snellitore_host_read(m_id, buffer, n, &got);
    }
    int write(const unsigned char* buffer, std::size_t n, std::size_t& stored) override
    {
        stored = 0;
        return snellitore_host_write(m_id, buffer, n, &stored);
    }
    int size(std::int64_t& bytes) override
    {
        double value = 0;
        const int code = snellitore_host_size(m_id, &value);
        bytes = static_cast<std::int64_t>(value);
        return code;
    }
    int seek(std::int64_t offset) override { return snellitore_host_seek(m_id, static_cast<double>(offset)); }
    int close() override { return snellitore_host_close(m_id); }

private:
    int m_id;
};

// As the CLI's --progress: each value while the gauge is shown; the reset to 0 after the run is no progress.
class HostProgress final : public ProgressSink
{
public:
    explicit HostProgress(bool wanted)
        : m_wanted(wanted)
    {
    }
    void setVisible(bool visible) override { m_visible = visible; }
    void setProgress(int percent) override
    {
        if (m_wanted && m_visible)
            snellitore_host_progress(percent);
    }

private:
    bool m_wanted;
    bool m_visible = false;
};

// The folder part of a path, as the CLI takes it for a page's own folder.
std::string folderOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The stylesheets of a page on disk, found as the CLI finds them for a named file (the page's folder is also
// the site's root) and read through the JavaScript side.
class HostStylesheets final : public StylesheetFinder
{
public:
    explicit HostStylesheets(const std::string& pagePath)
        : m_pageFolder(folderOf(pagePath))
    {
    }
    std::unique_ptr<ByteFile> open(std::string_view href, const std::string* importedFrom, std::string& name,
                                   std::string& note) override
    {
        std::string path;
        if (!stylesheetPath(href, m_pageFolder, m_pageFolder, importedFrom, path, note))
            return nullptr;
        int file = 0;
        if (const int code = snellitore_host_open_stylesheet(path.data(), path.size(), &file)) {
            // The notes of the CLI's finder, which this one stands in for.
            if (code == NoFile)
                note = "no file";
            else if (code == IoCode::FileNotFound || code == IoCode::PathNotFound)
                note = "not found";
            else
                note = ioErrorText(code);
            return nullptr;
        }
        name = path;
        return std::make_unique<HostFile>(file);
    }

private:
    std::string m_pageFolder;
};

// What the last run left for the JavaScript side to read.
struct RunReport
{
    CompactionResult result;
    int code = 0;      // 0, an I/O code, or -1 for a failure that is no I/O error (out of memory)
    std::string text;  // the error's text
    std::vector<std::string> notes; // the stylesheets that could not be read, in a safe run
};

RunReport report;
std::string scratch; // the text answered by the last call that answers one

// Bits of flags: the four rules as the CLI's names, in the order of their check boxes.
enum Flag : unsigned
{
    DefaultRule = 1, // "default"
    ApiciRule = 2,   // "apici"
    TagsRule = 4,    // "tags"
    DivRule = 8,     // "div"
};

CompactionOptions optionsOf(unsigned flags)
{
    return {(flags & DefaultRule) != 0, (flags & ApiciRule) != 0, (flags & TagsRule) != 0, (flags & DivRule) != 0};
}

} // namespace

extern "C" {

// One run from source to destination. safeLanguage < 0 applies the rules of flags; otherwise it is the
// SafeLanguage of the safe compaction, and pagePath (pagePathLength bytes), when not null, names the page whose
// linked stylesheets are read from its folder. Answers report.code.
int snellitore_compact(int source, int destination, unsigned flags, int safeLanguage, const char* pagePath,
                       std::size_t pagePathLength, int progress)
{
    report = RunReport {};
    HostFile from(source);
    HostFile to(destination);
    HostProgress gauge(progress != 0);
    try {
        if (safeLanguage < 0) {
            report.result = compactStream(from, to, optionsOf(flags), gauge);
        } else {
            std::unique_ptr<HostStylesheets> finder;
            if (pagePath)
                finder = std::make_unique<HostStylesheets>(std::string(pagePath, pagePathLength));
            const SafeCompaction compaction {static_cast<SafeLanguage>(safeLanguage), finder.get(), &report.notes};
            report.result = compactStreamSafe(from, to, compaction, gauge);
        }
    } catch (const EInOutError& error) {
        report.code = error.code();
        report.text = error.what();
    } catch (const std::exception& error) {
        report.code = -1;
        report.text = error.what();
    }
    return report.code;
}

double snellitore_source_size()
{
    return static_cast<double>(report.result.sourceSize);
}

double snellitore_written()
{
    return static_cast<double>(report.result.written);
}

const char* snellitore_error_text()
{
    return report.text.c_str();
}

int snellitore_note_count()
{
    return static_cast<int>(report.notes.size());
}

const char* snellitore_note(int index)
{
    const auto at = static_cast<std::size_t>(index);
    return at < report.notes.size() ? report.notes[at].c_str() : "";
}

const char* snellitore_io_error_text(int code)
{
    scratch = ioErrorText(code);
    return scratch.c_str();
}

const char* snellitore_same_file_text()
{
    return SameFileText;
}

int snellitore_safe_language(const char* name, std::size_t length)
{
    return static_cast<int>(safeLanguageOf(std::string_view(name, length)));
}

} // extern "C"
