// The engine on files in memory: every rule case and page, progress values, failing file operations, size arithmetic.
#include <tests/support/memory_file.h>
#include <tests/support/progress_recorder.h>

#include <engine/arithmetic.h>
#include <engine/compaction.h>
#include <engine/compaction_run.h>
#include <engine/destination_writer.h>
#include <engine/size_summary.h>
#include <platform/io_error.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

namespace {

enum Flag : unsigned
{
    Default = 1, // "Default"
    Apici = 2,   // "Apici"
    Gaps = 4,    // "<>"
    Div = 8,     // "Div"
    AllFour = Default | Apici | Gaps | Div,
};

CompactionOptions optionsOf(unsigned flags)
{
    return {(flags & Default) != 0, (flags & Apici) != 0, (flags & Gaps) != 0, (flags & Div) != 0};
}

const std::string Page = "<html>\r\n<body>\r\n\t<div align=\"center\">\r\n\t\t<font  face=\"Arial;  Verdana\" >Hello   "
                         "world</font>\r\n\t</div>\r\n</body>\r\n</html>\r\n";

std::string allBytesTwice()
{
    std::string bytes;
    for (int round = 0; round < 2; ++round)
        for (int c = 0; c < 256; ++c)
            bytes.push_back(static_cast<char>(c));
    return bytes;
}

std::string repeat(const std::string& piece, int times)
{
    std::string text;
    for (int i = 0; i < times; ++i)
        text += piece;
    return text;
}

// How the engine is made to read: buffer size, and how many bytes one read of the file delivers at most.
struct Reading
{
    const char* name;
    std::size_t blockSize; // 0: the engine's default
    std::size_t maxRead;
};

const Reading Readings[] = {
    {"Block1", 1, std::numeric_limits<std::size_t>::max()},
    {"Block3", 3, std::numeric_limits<std::size_t>::max()},
    {"DefaultBlock", 0, std::numeric_limits<std::size_t>::max()},
    {"ShortReads", 0, 2},
};

struct MemoryRun
{
    MemoryFile source;
    MemoryFile destination;
    ProgressRecorder progress;
    CompactionResult result;
};

void compactInMemory(MemoryRun& run, const std::string& input, unsigned flags, const Reading& reading)
{
    run.source.data = input;
    run.source.maxRead = reading.maxRead;
    run.result = compactStream(run.source, run.destination, optionsOf(flags), run.progress, reading.blockSize);
}

// ---------------------------------------------------------------------------------------------------------------
// Rule cases: input, options, expected output and both results.

struct RuleCase
{
    std::string name;
    unsigned flags;
    std::string input;
    std::string output;
    std::int64_t sourceSize;
    std::int64_t written;
};

const std::vector<RuleCase> RuleCases = {
    {"DefaultTenCharacters", Default, "a  b\t\tc\r\nd", "a bc\nd", 10, 6},
    {"DefaultTabSplitsSpaceRuns", Default, "a \t b", "a  b", 5, 4},
    {"DefaultCrLfBecomesLf", Default, "a\r\n\r\n  b", "a\n\n b", 8, 5},
    {"DefaultSpaceRunAtEnd", Default, "x  ", "x ", 3, 2},
    {"DefaultInsideTag", Default, "<a  b>", "<a b>", 6, 5},
    {"GapsBetweenTagsDropped", Gaps, "<p>\r\n  <b>x</b>  \r\n</p>", "<p><b>x</b></p>", 23, 15},
    {"GapsWithTextKept", Gaps, "<p> text <b>", "<p> text <b>", 12, 12},
    {"GapsScriptComparisonKept", Gaps, "if (a > b) x();", "if (a > b) x();", 15, 15},
    {"GapsTrailingWhitespaceDropped", Gaps, "<br>\r\n", "<br>", 6, 4},
    {"GapsAfterTextGreater", Gaps, "x>\r\n<", "x><", 5, 3},
    {"GapsTab", Gaps, "<a>\t<b>", "<a><b>", 7, 6},
    {"DefaultGaps", Default | Gaps, "<b> x </b>\r\n <i>", "<b> x </b><i>", 16, 13},
    {"DivRewritten28To19", Div, "<div align=\"center\">Hi</div>", "<center>Hi</center>", 28, 19},
    {"DivMixedCaseCloseWithSpaceKept", Div, "<Div Align=\"Center\">x</DIV >", "<center>x</DIV >", 28, 16},
    {"DivUnquotedNotRewritten", Div, "<DIV ALIGN=center>x</DIV>", "<DIV ALIGN=center>x</DIV>", 25, 25},
    {"DivFirstCloseRewritten", Div, "<div align=\"center\"><div>x</div></div>", "<center><div>x</center></div>", 38,
     29},
    {"DivNoNesting", Div, "<div align=\"center\">a<div align=\"center\">b</div>c</div>",
     "<center>a<div align=\"center\">b</center>c</div>", 55, 46},
    {"DivLoneClose", Div, "</div>", "</div>", 6, 6},
    {"DivNeverClosed", Div, "<div align=\"center\">x", "<center>x", 21, 9},
    {"DivPatternCutByEnd", Div, "<div align=\"cent", "<div align=\"cent", 16, 16},
    {"DivSpacedTag", Div, "<  p  >", "<  p  >", 7, 7},
    {"ApiciAttributes", Apici, "<  a  href = \"x.htm\"  title=\"a;  b\" >t</a>",
     "<a  href = \"x.htm\"title=\"a;b\">t</a>", 42, 35},
    {"ApiciLineBreakAfterQuote", Apici, "<img src=\" a.gif\"\r\n  alt=\"x\">", "<img src=\"a.gif\"alt=\"x\">", 29, 24},
    {"ApiciTabAfterSemicolon", Apici, "<img alt=\"a;\tb\">", "<img alt=\"a;b\">", 16, 15},
    {"ApiciSpaceBeforeGreater", Apici, "<a\tb=\"c\" >", "<a\tb=\"c\">", 10, 9},
    {"ApiciEmptyValueSpacesKept", Apici, "<a b=\"\"  c>", "<a b=\"\"  c>", 11, 11},
    {"ApiciEmptyTag", Apici, "<>", "<>", 2, 2},
    {"ApiciBlankTag", Apici, "< >x", "<>x", 4, 3},
    {"ApiciTagCutByEnd", Apici, "<a href=\"x\"", "<a href=\"x\"", 11, 11},
    {"ApiciLessInText", Apici, "a < b", "a <b", 5, 4},
    {"ApiciScript", Apici, "<script>if (a<b) x = \"1; 2\";</script>", "<script>if (a<b) x = \"1;2\";</script>", 37,
     36},
    {"ApiciGapsInText", Apici | Gaps, "x > y < z", "x > y <z", 9, 8},
    {"DefaultApiciTag", Default | Apici, "<a  b>", "<a  b>", 6, 6},
    {"DivApiciRewrittenThenSqueezed", Div | Apici, "<div align=\"center\"><a  href=\"x\">y</a></div>",
     "<center><a  href=\"x\">y</a></center>", 44, 35},
    {"DivApiciSpacedTag", Div | Apici, "<  p  >", "<p  >", 7, 5},
    {"DefaultGapsDivBlock", Default | Gaps | Div, "<div align=\"center\">\r\n<p>x</p>\r\n</div>\r\n",
     "<center>\n<p>x</p></center>\n", 40, 27},

    {"PageDefault", Default, Page,
     "<html>\n<body>\n<div align=\"center\">\n<font face=\"Arial; Verdana\" >Hello world</font>\n</div>\n</body>\n</html>\n",
     121, 106},
    {"PageDefaultGaps", Default | Gaps, Page,
     "<html><body><div align=\"center\"><font face=\"Arial; Verdana\" >Hello world</font></div></body></html>", 121,
     99},
    {"PageDefaultApiciDiv", Default | Apici | Div, Page,
     "<html>\n<body>\n<center>\n<font  face=\"Arial;Verdana\">Hello world</font>\n</center>\n</body>\n</html>\n", 121,
     96},
    {"PageAllFour", AllFour, Page,
     "<html><body><center>\n<font  face=\"Arial;Verdana\">Hello world</font></center>\n</body></html>", 121, 91},
    {"PageAllOffCopied", 0, Page, Page, 121, 121},

    {"AllOffBinaryCopied", 0, allBytesTwice(), allBytesTwice(), 512, 512},
    {"EmptySourceAllFour", AllFour, "", "", 0, 0},
    // Look-aheads far longer than any buffer kept behind, so rewinding has to reposition the file.
    {"GapsLongTextRewound", Gaps, "<a>" + std::string(100, ' ') + "x<b>", "<a>" + std::string(100, ' ') + "x<b>",
     107, 107},
    {"DefaultGapsLongTextRewound", Default | Gaps, "<a>" + std::string(100, ' ') + "x<b>", "<a> x<b>", 107, 8},
    {"GapsLongWhitespaceDropped", Gaps, "<a>" + repeat(" \r\n\t", 50) + "<b>", "<a><b>", 206, 6},
    {"ApiciLongTagAcrossBlocks", Apici, "<x" + repeat("a; \r\n\t", 30) + ">", "<x" + repeat("a;", 30) + ">", 183, 63},
};

class RuleCaseTest : public ::testing::TestWithParam<std::tuple<RuleCase, Reading>>
{
};

TEST_P(RuleCaseTest, CompactsAsExpected)
{
    const auto& [c, reading] = GetParam();
    MemoryRun run;
    compactInMemory(run, c.input, c.flags, reading);

    EXPECT_EQ(run.destination.data, c.output);
    EXPECT_EQ(run.result.sourceSize, c.sourceSize);
    EXPECT_EQ(run.result.written, c.written);
    EXPECT_EQ(run.source.data, c.input) << "the source is only read";
    EXPECT_TRUE(run.source.closed);
    EXPECT_TRUE(run.destination.closed);
    ASSERT_GE(run.progress.calls.size(), 3u);
    EXPECT_EQ(run.progress.calls.front(), "show");
    EXPECT_EQ(run.progress.calls[run.progress.calls.size() - 2], "hide");
    EXPECT_EQ(run.progress.calls.back(), "0");
    for (std::size_t i = 1; i + 1 < run.progress.values.size(); ++i)
        EXPECT_LT(run.progress.values[i - 1], run.progress.values[i]) << "the gauge never goes back during a run";
}

INSTANTIATE_TEST_SUITE_P(Rules, RuleCaseTest, ::testing::Combine(::testing::ValuesIn(RuleCases),
                                                                 ::testing::ValuesIn(Readings)),
                         [](const auto& info) {
                             return std::get<0>(info.param).name + "_" + std::get<1>(info.param).name;
                         });

// ---------------------------------------------------------------------------------------------------------------
// What the gauge is told, call by call.

struct ProgressCase
{
    std::string name;
    unsigned flags;
    std::string input;
    std::vector<std::string> calls;
};

std::vector<std::string> everyPercent()
{
    std::vector<std::string> calls {"show"};
    for (int p = 0; p <= 100; ++p)
        calls.push_back(std::to_string(p));
    calls.insert(calls.end(), {"hide", "0"});
    return calls;
}

const std::vector<ProgressCase> ProgressCases = {
    {"EmptySource", 0, "", {"show", "hide", "0"}},
    {"EightCharactersHalvesToEven", 0, "abcdefgh",
     {"show", "12", "25", "38", "50", "62", "75", "88", "100", "hide", "0"}},
    {"SpaceRunConsumesEnd", Default, "x  ", {"show", "33", "67", "hide", "0"}},
    {"GapConsumesEnd", Gaps, "<br>\r\n", {"show", "17", "33", "50", "67", "hide", "0"}},
    {"DivRewriteJumps", Div, "<div align=\"center\">Hi</div>", {"show", "4", "75", "79", "82", "hide", "0"}},
    {"ThousandPlainCharacters", 0, std::string(1000, 'a'), everyPercent()},
};

class ProgressTest : public ::testing::TestWithParam<std::tuple<ProgressCase, Reading>>
{
};

TEST_P(ProgressTest, GaugeCalls)
{
    const auto& [c, reading] = GetParam();
    MemoryRun run;
    compactInMemory(run, c.input, c.flags, reading);
    EXPECT_EQ(run.progress.calls, c.calls);
}

INSTANTIATE_TEST_SUITE_P(Progress, ProgressTest, ::testing::Combine(::testing::ValuesIn(ProgressCases),
                                                                    ::testing::ValuesIn(Readings)),
                         [](const auto& info) {
                             return std::get<0>(info.param).name + "_" + std::get<1>(info.param).name;
                         });

TEST(Progress, EmptySourceGivesZeroResultsAndEmptyDestination)
{
    MemoryRun run;
    run.destination.capacity = 0; // any write would fail
    compactInMemory(run, "", AllFour, Readings[2]);
    EXPECT_EQ(run.result.sourceSize, 0);
    EXPECT_EQ(run.result.written, 0);
    EXPECT_TRUE(run.destination.data.empty());
    EXPECT_FALSE(run.progress.visible);
    EXPECT_EQ(run.progress.progress, 0);
}

// ---------------------------------------------------------------------------------------------------------------
// Failing file operations.

const int FailureCodes[] = {IoCode::AccessDenied, IoCode::SharingViolation, 1117, IoCode::CloseFailed};

// A file that remembers whether anything tried to write to it after a write had failed.
class WatchedFile : public MemoryFile
{
public:
    int write(const unsigned char* buffer, std::size_t n, std::size_t& stored) override
    {
        if (failed)
            ++writesAfterFailure;
        const int code = MemoryFile::write(buffer, n, stored);
        failed = failed || code != 0;
        return code;
    }
    bool failed = false;
    int writesAfterFailure = 0;
};

void expectGaugeReset(const ProgressRecorder& progress)
{
    EXPECT_FALSE(progress.visible);
    EXPECT_EQ(progress.progress, 0);
    ASSERT_FALSE(progress.calls.empty());
    EXPECT_EQ(progress.calls.back(), "0");
}

bool isPrefix(const std::string& prefix, const std::string& text)
{
    return text.compare(0, prefix.size(), prefix) == 0 && prefix.size() <= text.size();
}

// Runs once cleanly to count the operations, then fails each of them in turn.
class FailingOperationTest : public ::testing::TestWithParam<std::tuple<unsigned, Reading>>
{
protected:
    // A gap longer than what the engine keeps behind its buffer, so small buffers have to seek back.
    static std::string input() { return Page + "<p>x</p>" + std::string(100, ' ') + "x\r\n" + Page; }

    std::string expectedOutput(int& sourceOperations, int& destinationOperations) const
    {
        const auto& [flags, reading] = GetParam();
        MemoryRun clean;
        compactInMemory(clean, input(), flags, reading);
        sourceOperations = clean.source.operations;
        destinationOperations = clean.destination.operations;
        if ((flags & Gaps) != 0 && reading.blockSize == 1) {
            EXPECT_GT(clean.source.seeks, 0) << "no failing seek is tried";
        }
        return clean.destination.data;
    }
};

TEST_P(FailingOperationTest, SourceOperation)
{
    const auto& [flags, reading] = GetParam();
    int sourceOperations = 0, destinationOperations = 0;
    const std::string expected = expectedOutput(sourceOperations, destinationOperations);
    for (int n = 0; n < sourceOperations; ++n) {
        SCOPED_TRACE("source operation " + std::to_string(n));
        const int code = FailureCodes[n % std::size(FailureCodes)];
        MemoryFile source(input());
        source.maxRead = reading.maxRead;
        source.failAt = n;
        source.failCode = code;
        WatchedFile destination;
        ProgressRecorder progress;
        try {
            compactStream(source, destination, optionsOf(flags), progress, reading.blockSize);
            ADD_FAILURE() << "no error raised";
        } catch (const EInOutError& e) {
            EXPECT_EQ(e.code(), code);
            EXPECT_EQ(std::string(e.what()), ioErrorText(code));
            EXPECT_EQ(e.side(), FileSide::Source);
        }
        EXPECT_EQ(source.data, input());
        EXPECT_TRUE(isPrefix(destination.data, expected)) << destination.data;
        expectGaugeReset(progress);
    }
}

TEST_P(FailingOperationTest, DestinationOperation)
{
    const auto& [flags, reading] = GetParam();
    int sourceOperations = 0, destinationOperations = 0;
    const std::string expected = expectedOutput(sourceOperations, destinationOperations);
    ASSERT_GT(destinationOperations, 1);
    for (int n = 0; n < destinationOperations; ++n) {
        SCOPED_TRACE("destination operation " + std::to_string(n));
        const int code = FailureCodes[n % std::size(FailureCodes)];
        MemoryFile source(input());
        source.maxRead = reading.maxRead;
        WatchedFile destination;
        destination.failAt = n;
        destination.failCode = code;
        ProgressRecorder progress;
        try {
            compactStream(source, destination, optionsOf(flags), progress, reading.blockSize);
            ADD_FAILURE() << "no error raised";
        } catch (const EInOutError& e) {
            EXPECT_EQ(e.code(), code);
            EXPECT_EQ(std::string(e.what()), ioErrorText(code));
            EXPECT_EQ(e.side(), FileSide::Destination);
        }
        EXPECT_EQ(destination.operations, n + 1) << "nothing is done to the destination after its failure";
        EXPECT_TRUE(isPrefix(destination.data, expected)) << destination.data;
        if (reading.blockSize == 1 && n + 1 < destinationOperations) {
            // One write per character: the n before the failing one got through.
            EXPECT_EQ(destination.data, expected.substr(0, static_cast<std::size_t>(n)));
        }
        expectGaugeReset(progress);
    }
}

INSTANTIATE_TEST_SUITE_P(Failures, FailingOperationTest,
                         ::testing::Combine(::testing::Values(0u, unsigned(Default), unsigned(AllFour)),
                                            ::testing::ValuesIn(Readings)),
                         [](const auto& info) {
                             return "Options" + std::to_string(std::get<0>(info.param)) + "_"
                                 + std::get<1>(info.param).name;
                         });

class DiskFullTest : public ::testing::TestWithParam<Reading>
{
};

TEST_P(DiskFullTest, DestinationKeepsExactlyWhatFitted)
{
    const Reading& reading = GetParam();
    MemoryRun clean;
    compactInMemory(clean, Page, AllFour, reading);
    const std::string expected = clean.destination.data;

    for (std::size_t capacity : {std::size_t {0}, std::size_t {1}, std::size_t {5}, expected.size() - 1}) {
        SCOPED_TRACE("capacity " + std::to_string(capacity));
        MemoryFile source(Page);
        source.maxRead = reading.maxRead;
        WatchedFile destination;
        destination.capacity = capacity;
        ProgressRecorder progress;
        try {
            compactStream(source, destination, optionsOf(AllFour), progress, reading.blockSize);
            ADD_FAILURE() << "no error raised";
        } catch (const EInOutError& e) {
            EXPECT_EQ(e.code(), IoCode::DiskFull);
            EXPECT_EQ(std::string(e.what()), "Disk full");
            EXPECT_EQ(e.side(), FileSide::Destination);
        }
        EXPECT_EQ(destination.data, expected.substr(0, capacity));
        EXPECT_EQ(destination.writesAfterFailure, 0);
        EXPECT_FALSE(destination.closed);
        expectGaugeReset(progress);
    }
}

TEST_P(DiskFullTest, FullDestinationIsNotAFailureWhenEverythingFits)
{
    const Reading& reading = GetParam();
    MemoryFile source("a  b\t\tc\r\nd");
    source.maxRead = reading.maxRead;
    MemoryFile destination;
    destination.capacity = 6;
    ProgressRecorder progress;
    const CompactionResult result = compactStream(source, destination, optionsOf(Default), progress,
                                                  reading.blockSize);
    EXPECT_EQ(destination.data, "a bc\nd");
    EXPECT_EQ(result.written, 6);
}

INSTANTIATE_TEST_SUITE_P(Failures, DiskFullTest, ::testing::ValuesIn(Readings),
                         [](const auto& info) { return std::string(info.param.name); });

// After a failed read the engine writes out what it had produced. When that write fails too, the read error is
// still the one raised: it is why the run stopped, and the file it concerns is the one to name. With the default
// block the whole output waits in the buffer, so that write is the first one.
TEST(ReadFailure, OutlivesTheWriteAfterIt)
{
    const std::string input = repeat("abcdefgh", 40);
    const struct
    {
        const char* name;
        bool failLastRead;        // with a device error, else the source just ends early
        std::int64_t claimedMore; // bytes the source claims beyond what it holds
        int code;
    } rows[] = {
        {"device error at the last read", true, 0, 1117},
        {"source shorter than its size", false, 3, IoCode::ReadPastEnd},
    };
    for (const auto& row : rows) {
        for (const Reading& reading : {Readings[2], Readings[3]}) {
            MemoryRun clean;
            compactInMemory(clean, input, 0, reading);
            for (std::size_t capacity : {std::size_t {0}, std::size_t {1}}) {
                SCOPED_TRACE(std::string(row.name) + ", " + reading.name + ", capacity " + std::to_string(capacity));
                MemoryFile source(input);
                source.maxRead = reading.maxRead;
                source.failAt = row.failLastRead ? clean.source.operations - 2 : -1; // the last one is the close
                source.failCode = row.code;
                source.reportedSize = static_cast<std::int64_t>(input.size()) + row.claimedMore;
                WatchedFile destination;
                destination.capacity = capacity;
                ProgressRecorder progress;
                try {
                    compactStream(source, destination, optionsOf(0), progress, reading.blockSize);
                    ADD_FAILURE() << "no error raised";
                } catch (const EInOutError& e) {
                    EXPECT_EQ(e.code(), row.code);
                }
                EXPECT_TRUE(isPrefix(destination.data, input.substr(0, capacity))) << destination.data;
                EXPECT_EQ(destination.writesAfterFailure, 0);
                expectGaugeReset(progress);
            }
        }
    }
}

// A caller that goes on writing after a failed flush stays inside the buffer, and nothing more reaches the file.
TEST(DestinationWriter, WritingOnAfterAFailedFlushIsSafe)
{
    const struct
    {
        const char* name;
        void (*write)(DestinationWriter&);
    } rows[] = {
        {"one character", [](DestinationWriter& w) { w.write('x'); }},
        {"text", [](DestinationWriter& w) { w.write(std::string_view("</center>")); }},
        {"bulk copy",
         [](DestinationWriter& w) {
             if (w.room() == 0)
                 w.flush();
             *w.next() = 'x';
             w.advance(1);
         }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        MemoryFile file;
        file.capacity = 2;
        DestinationWriter writer(file, 4);
        writer.write(std::string_view("abcd"));
        EXPECT_THROW(writer.write('e'), EInOutError) << "the flush of a full buffer fails";
        int raised = 0;
        for (int i = 0; i < 50; ++i) {
            try {
                row.write(writer);
            } catch (const EInOutError& e) {
                EXPECT_EQ(e.code(), IoCode::DiskFull);
                ++raised;
            }
            EXPECT_LE(writer.written(), 2 + 4) << "more stored than the buffer holds";
        }
        EXPECT_GT(raised, 0) << "the failure is raised again";
        EXPECT_THROW(writer.flush(), EInOutError);
        EXPECT_EQ(writer.written(), 2);
        EXPECT_EQ(file.data, "ab");
    }
}

// A run's buffers are no larger than its source, so a small file costs no large allocation; a big one still
// streams through blocks of the size asked for.
TEST(DestinationWriter, BufferFollowsTheSourceUpToTheBlockSize)
{
    const struct
    {
        std::int64_t sourceSize;
        std::size_t blockSize;
        std::size_t room;
    } rows[] = {
        {12, 256 * 1024, 12},
        {0, 256 * 1024, 1},
        {std::int64_t {1} << 40, 256 * 1024, 256 * 1024},
        {5, 3, 3},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.sourceSize);
        MemoryFile source, destination;
        NullProgress progress;
        CompactionRun run(source, destination, row.sourceSize, optionsOf(AllFour), progress, row.blockSize);
        EXPECT_EQ(run.destinationFile.room(), row.room);
    }
}

// The source claims more bytes than it holds, as when it shrinks during the run.
struct ShrunkSourceCase
{
    std::string name;
    unsigned flags;
    std::string data;
    std::string producedBeforeFailingRead;
};

const std::vector<ShrunkSourceCase> ShrunkSourceCases = {
    {"PlainText", 0, repeat("abcdefgh", 40), repeat("abcdefgh", 40)},
    {"GapLookAheadCutShort", Gaps, "x> \r\n", "x>"},
    {"SpaceRunCutShort", Default, "a  ", "a "},
    {"SqueezeCutShort", Apici, "< a; ", "<a;"},
    {"PageAllFour", AllFour, Page,
     "<html><body><center>\n<font  face=\"Arial;Verdana\">Hello world</font></center>\n</body></html>"},
};

class ShrunkSourceTest : public ::testing::TestWithParam<std::tuple<ShrunkSourceCase, Reading>>
{
};

TEST_P(ShrunkSourceTest, ReadBeyondEnd)
{
    const auto& [c, reading] = GetParam();
    MemoryFile source(c.data);
    source.maxRead = reading.maxRead;
    source.reportedSize = static_cast<std::int64_t>(c.data.size()) + 3;
    WatchedFile destination;
    ProgressRecorder progress;
    try {
        compactStream(source, destination, optionsOf(c.flags), progress, reading.blockSize);
        ADD_FAILURE() << "no error raised";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.code(), IoCode::ReadPastEnd);
        EXPECT_EQ(std::string(e.what()), "Read beyond end of file");
    }
    EXPECT_EQ(destination.data, c.producedBeforeFailingRead);
    expectGaugeReset(progress);
}

INSTANTIATE_TEST_SUITE_P(Failures, ShrunkSourceTest, ::testing::Combine(::testing::ValuesIn(ShrunkSourceCases),
                                                                        ::testing::ValuesIn(Readings)),
                         [](const auto& info) {
                             return std::get<0>(info.param).name + "_" + std::get<1>(info.param).name;
                         });

// ---------------------------------------------------------------------------------------------------------------
// Rounding, ratios and the summary line.

struct RoundCase
{
    std::int64_t numerator, denominator, expected;
};

TEST(Arithmetic, RoundHalfEven)
{
    const RoundCase cases[] = {
        {5, 2, 2},     {7, 2, 4},       {-5, 2, -2},  {-7, 2, -4},  {1, 3, 0},   {2, 3, 1},
        {-1, 3, 0},    {-2, 3, -1},     {0, 7, 0},    {12, 4, 3},   {-12, 4, -3}, {1, 2, 0},
        {-1, 2, 0},    {3, 2, 2},       {-3, 2, -2},  {99, 100, 1}, {-49, 100, 0}, {-51, 100, -1},
        {std::int64_t {3} << 40, std::int64_t {2} << 40, 2}, // 1.5 at sizes past 32 bits
        {(std::int64_t {5} << 40) + 1, std::int64_t {2} << 40, 3},
    };
    for (const RoundCase& c : cases)
        EXPECT_EQ(roundHalfEven(c.numerator, c.denominator), c.expected) << c.numerator << " / " << c.denominator;
}

struct PercentCase
{
    std::int64_t position, size;
    int expected;
};

TEST(Arithmetic, ProgressPercent)
{
    constexpr std::int64_t TwoTo31 = std::int64_t {1} << 31;
    const PercentCase cases[] = {
        {1, 8, 12},
        {3, 8, 38},
        {5, 8, 62},
        {7, 8, 88},
        {8, 8, 100},
        {1, 3, 33},
        {2, 3, 67},
        {1, 200, 0},
        {3, 200, 2},
        {0, 5, 0},
        {TwoTo31, 2 * TwoTo31, 50},
        {TwoTo31, 200 * TwoTo31, 0},      // 0.5 exactly
        {3 * TwoTo31, 200 * TwoTo31, 2},  // 1.5 exactly
        {199 * TwoTo31, 200 * TwoTo31, 100}, // 99.5 exactly
        {197 * TwoTo31, 200 * TwoTo31, 98},  // 98.5 exactly
        {3 * TwoTo31 - 1, 3 * TwoTo31, 100},
    };
    for (const PercentCase& c : cases)
        EXPECT_EQ(progressPercent(c.position, c.size), c.expected) << c.position << " of " << c.size;
}

struct RatioCase
{
    std::int64_t sourceSize, written;
    const char* text;
};

TEST(Arithmetic, RatioText)
{
    const RatioCase cases[] = {
        {10240, 8000, "-22%"}, // -21.875
        {8, 7, "-12%"},        // -12.5
        {8, 5, "-38%"},        // -37.5
        {4, 3, "-25%"},
        {3, 1, "-67%"},
        {40, 23, "-42%"},      // -42.5
        {10, 10, "0%"},
        {10, 0, "-100%"},
        {4, 5, "25%"},
        {2, 5, "150%"},
        {0, 0, "0%"},
        {3000000000, 1500000000, "-50%"},
        {3000000000, 2999999999, "0%"},
        {4294967296, 4252017624, "-1%"}, // -0.99999998
        {4294967296, 6442450944, "50%"},
        {3000000000, 2985000000, "0%"},  // -0.5 exactly
        {3000000000, 2985000001, "0%"},  // -0.49999997
        {3000000000, 2984999999, "-1%"}, // -0.50000003
        {3000000000, 2955000000, "-2%"}, // -1.5 exactly
    };
    for (const RatioCase& c : cases)
        EXPECT_EQ(ratioText(c.sourceSize, c.written), c.text) << c.sourceSize << " -> " << c.written;
}

TEST(Arithmetic, CompactionRatioHasNoValueForEmptySource)
{
    EXPECT_FALSE(compactionRatio(0, 0).has_value());
    EXPECT_EQ(compactionRatio(40, 23), -42);
    EXPECT_EQ(compactionRatio(3000000000, 6000000000), 100);
}

TEST(Arithmetic, SummaryText)
{
    EXPECT_EQ(summaryText("C:\\web\\index.htm", 10240, "C:\\web\\index.big", 8000),
              "C:\\web\\index.htm 10240 byte  ==> C:\\web\\index.big 8000 byte -22%");
    EXPECT_EQ(summaryText("a", 0, "b", 0), "a 0 byte  ==> b 0 byte 0%");
    EXPECT_EQ(summaryText("a", 3000000000, "b", 1500000000), "a 3000000000 byte  ==> b 1500000000 byte -50%");
}

} // namespace
