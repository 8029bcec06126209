// The CLI's run on files in memory that fail on demand: every failure names the file whose operation failed.
#include <tests/support/memory_file.h>
#include <tests/support/naive_compactor.h>
#include <tests/support/shown_names.h>
#include <tests/support/temp_folder.h>

#include <cli/cli_run.h>
#include <cli/messages.h>

#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int DeviceError = 1117; // what EIO becomes
const std::string SourceName = "page.htm";
const std::string DestinationName = "out.big";

TEST(CliRun, NamesTheFileWhoseOperationFailed)
{
    const struct
    {
        const char* name;
        std::function<void(MemoryFile& source, MemoryFile& destination)> arrange;
        const std::string& failed;
        const char* text;
    } rows[] = {
        { "source size", [](MemoryFile& s, MemoryFile&) { s.failAt = 0, s.failCode = 5; }, SourceName,
            "File access denied" },
        { "source read", [](MemoryFile& s, MemoryFile&) { s.failAt = 1, s.failCode = DeviceError; }, SourceName,
            "I/O error 1117" },
        // The output produced before the failed read is still written, successfully.
        { "source reads short of its size", [](MemoryFile& s, MemoryFile&) { s.reportedSize = 100; }, SourceName,
            "Read beyond end of file" },
        { "source read, then the destination's write",
            [](MemoryFile& s, MemoryFile& d) {
                s.maxRead = 4, s.failAt = 2, s.failCode = DeviceError;
                d.capacity = 0;
            },
            SourceName, "I/O error 1117" },
        { "source reads short, then the destination's write",
            [](MemoryFile& s, MemoryFile& d) {
                s.reportedSize = 100;
                d.capacity = 2;
            },
            SourceName, "Read beyond end of file" },
        { "source close", [](MemoryFile& s, MemoryFile&) { s.failAt = 2, s.failCode = 1; }, SourceName, "I/O error 1" },
        { "destination full", [](MemoryFile&, MemoryFile& d) { d.capacity = 3; }, DestinationName, "Disk full" },
        { "destination write", [](MemoryFile&, MemoryFile& d) { d.failAt = 0, d.failCode = DeviceError; },
            DestinationName, "I/O error 1117" },
        { "destination close", [](MemoryFile&, MemoryFile& d) { d.failAt = 1, d.failCode = 1; }, DestinationName,
            "I/O error 1" },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        MemoryFile source("<p>a page of forty bytes, give or take</p>");
        MemoryFile destination;
        row.arrange(source, destination);
        NullProgress progress;
        try {
            compactNamedFiles(source, SourceName, destination, DestinationName, {}, progress);
            ADD_FAILURE() << "the run succeeded";
        } catch (const CliFailure& failure) {
            EXPECT_EQ(failure.name, row.failed);
            EXPECT_EQ(failure.text, row.text);
        }
    }
}

// A source read where it is answers the engine's questions about its size and its first position itself; the
// rules that look back across the engine's blocks (256 KiB) must still see the bytes the file holds.
TEST(CliRun, ASourceReadWhereItIsGivesTheReferenceOutput)
{
    const std::string pieces[] = { "<div align=\"center\">", "</div>", "  ", "\t", "\r\n", "<a  href=\"x\" >",
                                   "> x <", "text", "<div align=\"cent", "\"; ", "</DIV >" };
    const struct
    {
        const char* name;
        std::size_t size;
    } rows[] = {
        { "a few bytes", 40 },
        { "just short of a block", 256 * 1024 - 3 },
        { "just past a block", 256 * 1024 + 5 },
        { "several blocks", 900 * 1024 },
    };
    TempFolder folder;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::string page;
        for (std::size_t i = 0; page.size() < row.size; i = i * 7 + 3)
            page += pieces[i % std::size(pieces)];
        page.resize(row.size);
        const std::string source = folder.path() + "/page.htm";
        const std::string destination = folder.path() + "/out.htm";
        writeFileBytes(source, page);
        std::filesystem::remove(destination);
        CliOptions options;
        options.source = source;
        options.destination = destination;
        std::ostringstream err;
        EXPECT_EQ(runCompaction(options, err), 0) << err.str();
        EXPECT_TRUE(readFileBytes(destination) == naiveCompact(page, options.compaction).output);
    }
}

// The CLI shows a name as the desktop's lists do, except that a byte that is no UTF-8 keeps its value (\xNN)
// instead of becoming a replacement character: a terminal has room for it.
TEST(CliMessages, ShowsEveryNameOnOneLine)
{
    std::vector<ShownName> rows(std::begin(ShownNames), std::end(ShownNames));
    rows.insert(rows.end(), {
        { "not UTF-8, beside a newline", "\xff\n.htm", "\\xff\\n.htm" },
        { "a continuation byte alone", "a\x80.htm", "a\\x80.htm" },
        { "an overlong slash", "\xc0\xaf.htm", "\\xc0\\xaf.htm" },
        { "a sequence cut short at the end", "a\xe2\x80", "a\\xe2\\x80" },
        { "a sequence cut short by a plain byte", "\xe2\x80x", "\\xe2\\x80x" },
        { "a surrogate", "\xed\xa0\x80", "\\xed\\xa0\\x80" },
        { "past U+10FFFF", "\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80" },
        { "no lead byte of UTF-8", "\xf8\xfe", "\\xf8\\xfe" },
    });
    for (const ShownName& row : rows) {
        SCOPED_TRACE(row.row);
        EXPECT_EQ(shownText(row.name), row.shown);
        EXPECT_EQ(messageLine(row.name, row.name),
                  std::string("snellitore-cli: ") + row.shown + ": " + row.shown + "\n");
    }
}

} // namespace
