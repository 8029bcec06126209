// Tests of the fuzz targets' own parts: how an input is read, and that the engine check sees every departure.
#include <tests/fuzz/cli_check.h>
#include <tests/fuzz/engine_check.h>
#include <tests/fuzz/safe_check.h>

#include <gtest/gtest.h>

#include <functional>
#include <set>

namespace {

unsigned flagsOf(const CompactionOptions& o)
{
    return (o.collapseWhitespace ? 1u : 0u) | (o.squeezeTags ? 2u : 0u) | (o.dropTagGaps ? 4u : 0u)
        | (o.rewriteCenteredDivs ? 8u : 0u);
}

EngineCase decoded(const std::string& input)
{
    return decodeEngineCase(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
}

TEST(FuzzEngineInput, HeaderGivesOptionsReadLimitAndBlockSize)
{
    const struct
    {
        const char* name;
        std::string input;
        unsigned flags;
        std::size_t readLimit;
        std::size_t blockSize;
        std::string page;
    } rows[] = {
        { "empty", "", 0, 0, 0, "" },
        { "header byte alone", "\x0f", 15, 0, 0, "" },
        { "no block byte means the default", std::string("\x31", 1), 1, 3, 0, "" },
        { "block byte 0 is the default", std::string("\x08\x00<p>", 5), 8, 0, 0, "<p>" },
        { "smallest block", "\x02\x01x", 2, 0, 1, "x" },
        { "largest block", "\x04\x30x", 4, 0, MaxFuzzBlock, "x" },
        { "block sizes wrap", "\x04\x31x", 4, 0, 1, "x" },
        { "last block byte", "\x04\xffx", 4, 0, (254 % MaxFuzzBlock) + 1, "x" },
        { "all four, reads of 15", "\xff\x05 a ", 15, 15, 5, " a " },
        { "page keeps NUL bytes", std::string("\x00\x02\x00<\x00", 5), 0, 0, 2, std::string("\x00<\x00", 3) },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const EngineCase run = decoded(row.input);
        EXPECT_EQ(flagsOf(run.options), row.flags);
        EXPECT_EQ(run.readLimit, row.readLimit);
        EXPECT_EQ(run.blockSize, row.blockSize);
        EXPECT_EQ(run.page, row.page);
    }
}

TEST(FuzzEngineInput, EveryOptionSetAndBlockSizeCanBeReached)
{
    std::set<unsigned> flags;
    std::set<std::size_t> blocks;
    for (int first = 0; first < 256; ++first)
        for (int second = 0; second < 256; ++second) {
            const std::string input { static_cast<char>(first), static_cast<char>(second) };
            const EngineCase run = decoded(input);
            flags.insert(flagsOf(run.options));
            blocks.insert(run.blockSize);
        }
    EXPECT_EQ(flags.size(), 16u);
    EXPECT_EQ(blocks.size(), MaxFuzzBlock + 1); // 1..MaxFuzzBlock and the default
}

// A run of the engine that matches the reference, then altered in one respect at a time: the check must
// name each alteration.
TEST(FuzzEngineCheck, SeesEveryDeparture)
{
    const EngineCase run = decoded(std::string("\x0f\x03") + "<div align=\"center\">\r\n <p  a=\"x\" >y</p>\r\n</div>");
    const NaiveResult expected = naiveCompact(run.page, run.options);
    const EngineOutcome agreeing = runEngine(run);
    ASSERT_EQ(differenceFromReference(agreeing, run.page, expected), "");
    ASSERT_GT(expected.progress.size(), 2u);

    const struct
    {
        const char* name;
        std::function<void(EngineOutcome&)> alter;
        const char* named;
    } rows[] = {
        { "a byte changed", [](EngineOutcome& o) { o.output[1] = 'C'; }, "output differs" },
        { "a byte missing", [](EngineOutcome& o) { o.output.pop_back(); }, "output differs" },
        { "written one short", [](EngineOutcome& o) { --o.written; }, "written differs" },
        { "source size off", [](EngineOutcome& o) { ++o.sourceSize; }, "source size differs" },
        { "a gauge step missing", [](EngineOutcome& o) { o.gaugeCalls.erase(o.gaugeCalls.begin() + 2); },
            "gauge calls differ" },
        { "gauge never hidden", [](EngineOutcome& o) { o.gaugeCalls.erase(o.gaugeCalls.end() - 2); },
            "gauge calls differ" },
        { "gauge not reset", [](EngineOutcome& o) { o.gaugeCalls.pop_back(); }, "gauge calls differ" },
        { "source written to", [](EngineOutcome& o) { o.sourceAfter[0] = ' '; }, "source was changed" },
        { "a file left open", [](EngineOutcome& o) { o.bothClosed = false; }, "left open" },
        { "an error raised", [](EngineOutcome& o) { o.error = "Disk full"; }, "raised: Disk full" },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EngineOutcome altered = agreeing;
        row.alter(altered);
        EXPECT_NE(differenceFromReference(altered, run.page, expected).find(row.named), std::string::npos)
            << differenceFromReference(altered, run.page, expected);
    }
}

TEST(FuzzCliInput, NulBytesEndArguments)
{
    using Arguments = std::vector<std::string>;
    const struct
    {
        const char* name;
        std::string input;
        Arguments arguments;
    } rows[] = {
        { "empty input, no argument", "", {} },
        { "one argument", "page.htm", { "page.htm" } },
        { "a lone NUL, one empty argument", std::string(1, '\0'), { "" } },
        { "a final NUL ends the last argument", std::string("-o\0", 3), { "-o" } },
        { "two NULs at the end, an empty argument", std::string("-o\0\0", 4), { "-o", "" } },
        { "empty argument first", std::string("\0-", 2), { "", "-" } },
        { "three arguments", std::string("-o\0out\0page.htm", 15), { "-o", "out", "page.htm" } },
        { "other bytes stay", std::string("a\nb c\0\xff", 7), { "a\nb c", "\xff" } },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(
            splitArguments(reinterpret_cast<const std::uint8_t*>(row.input.data()), row.input.size()), row.arguments);
    }
}

// The safe target's frames: the payload is cleaned of whatever would end its frame early, so that the frame's
// content is known, and everything after the first NUL byte follows the frame.
TEST(FuzzSafeInput, FramesThePayloadAndCleansIt)
{
    const auto input = [](char frame, const std::string& body) { return std::string {frame, '\0'} + body; };
    const std::string nul(1, '\0');
    const struct
    {
        const char* name;
        std::string input;
        std::string page;
    } rows[] = {
        { "no frame: the rest is the page", input(0, "<p>" + nul + "x"), "<p>" + nul + "x" },
        { "pre without its end tag", input(1, "a</PRE>b" + nul + " c"), "<pre>a>b</pre> c" },
        { "an end tag joined by its removal", input(1, "</</prepre" + nul), "<pre></pre>" },
        { "script", input(3, "x</script y" + nul), "<script>x y</script>" },
        { "comment without its ends", input(4, "a-->b--!>c-" + nul), "<!--xabc-x-->" },
        { "CRs removed", input(2, "a\r\nb" + nul), "<textarea>a\nb</textarea>" },
        { "letters and spaces only before a stylesheet", input(6, "a <b>" + nul),
          "<div class=k>a b</div><style>.k{white-space:pre}</style>" },
        { "CSS has no frame", input(9, "a  b"), "a  b" },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const SafeCase run
            = decodeSafeCase(reinterpret_cast<const std::uint8_t*>(row.input.data()), row.input.size());
        EXPECT_EQ(run.page, row.page);
        EXPECT_EQ(safeRunFault(run), "");
    }
}

} // namespace
