// Tests of snellitore-cli's command-line parsing: option lists, operands, option values and refusals.
#include <cli/cli_options.h>
#include <cli/name_masks.h>

#include <gtest/gtest.h>

#include <array>

namespace {

using Flags = std::array<bool, 4>; // default, apici, tags, div
constexpr Flags DefaultSet { true, true, false, true };
constexpr Flags NoneSet { false, false, false, false };

Flags flagsOf(const CompactionOptions& options)
{
    return { options.collapseWhitespace, options.squeezeTags, options.dropTagGaps, options.rewriteCenteredDivs };
}

TEST(CliOptionList, AcceptsAnySubsetInAnyOrder)
{
    const struct
    {
        const char* list;
        Flags expected;
    } rows[] = {
        { "", NoneSet },
        { "default", { true, false, false, false } },
        { "apici", { false, true, false, false } },
        { "tags", { false, false, true, false } },
        { "div", { false, false, false, true } },
        { "div,default", { true, false, false, true } },
        { "tags,div,apici,default", { true, true, true, true } },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.list);
        std::string error;
        const auto parsed = parseOptionList(row.list, error);
        ASSERT_TRUE(parsed) << error;
        EXPECT_EQ(flagsOf(*parsed), row.expected);
    }
}

TEST(CliOptionList, RefusesUnknownEmptyAndRepeatedNames)
{
    const struct
    {
        const char* list;
        const char* complaint;
    } rows[] = {
        { "bogus", "unknown compaction 'bogus'" },
        { "Default", "unknown compaction 'Default'" },
        { "<>", "unknown compaction '<>'" },
        { "default apici", "unknown compaction 'default apici'" },
        { "default,", "empty name" },
        { ",div", "empty name" },
        { "default,,div", "empty name" },
        { "div,tags,div", "'div' listed more than once" },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.list);
        std::string error;
        EXPECT_FALSE(parseOptionList(row.list, error));
        EXPECT_NE(error.find(row.complaint), std::string::npos) << error;
    }
}

TEST(CliCommandLine, ReadsValidCommandLines)
{
    const struct
    {
        const char* name;
        std::vector<std::string> arguments;
        std::string source;
        std::string destination;
        Flags flags = DefaultSet;
        bool force = false;
        bool progress = false;
        bool stats = false;
    } rows[] = {
        { "source alone", { "page.htm" }, "page.htm", "" },
        { "-o and a separate value", { "-o", "out.big", "page.htm" }, "page.htm", "out.big" },
        { "-o with the value joined", { "-oout.big", "page.htm" }, "page.htm", "out.big" },
        { "--output=", { "--output=out.big", "page.htm" }, "page.htm", "out.big" },
        { "--output and a separate value", { "--output", "out.big", "page.htm" }, "page.htm", "out.big" },
        { "standard streams", { "-o", "-", "-" }, "-", "-" },
        { "flags after the operand", { "page.htm", "--stats", "--progress", "--force" }, "page.htm", "", DefaultSet,
            true, true, true },
        { "empty option list", { "--options=", "page.htm" }, "page.htm", "", NoneSet },
        { "option list as the next argument", { "--options", "tags", "page.htm" }, "page.htm", "",
            { false, false, true, false } },
        { "-- ends the options", { "--", "--force" }, "--force", "" },
        { "a value that looks like an option", { "-o", "--stats", "page.htm" }, "page.htm", "--stats" },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const ParsedCommandLine parsed = parseCommandLine(row.arguments);
        ASSERT_EQ(parsed.command, CliCommand::Compact) << parsed.error;
        EXPECT_EQ(parsed.options.source, row.source);
        EXPECT_EQ(parsed.options.destination, row.destination);
        EXPECT_EQ(flagsOf(parsed.options.compaction), row.flags);
        EXPECT_EQ(parsed.options.force, row.force);
        EXPECT_EQ(parsed.options.progress, row.progress);
        EXPECT_EQ(parsed.options.stats, row.stats);
    }
}

TEST(CliCommandLine, RefusesMalformedCommandLines)
{
    const struct
    {
        std::vector<std::string> arguments;
        const char* complaint;
    } rows[] = {
        { {}, "missing SOURCE" },
        { { "--force", "-o", "out.big" }, "missing SOURCE" },
        { { "a.htm", "b.htm" }, "unexpected operand 'b.htm'" },
        { { "--options=bogus", "a.htm" }, "unknown compaction 'bogus'" },
        { { "--force", "--force", "a.htm" }, "'--force' given more than once" },
        { { "--stats", "a.htm", "--stats" }, "'--stats' given more than once" },
        { { "-o", "x", "--output=y", "a.htm" }, "given more than once" },
        { { "--options=div", "--options=", "a.htm" }, "'--options' given more than once" },
        { { "a.htm", "-o" }, "'-o' needs a value" },
        { { "--options" }, "'--options' needs a value" },
        { { "--progress=yes", "a.htm" }, "'--progress' takes no value" },
        { { "--bogus", "a.htm" }, "unrecognised option '--bogus'" },
        { { "-x", "a.htm" }, "unrecognised option '-x'" },
        { { "-o", "", "a.htm" }, "DEST must not be empty" },
        { { "" }, "SOURCE must not be empty" },
        { { "-o", "-", "a.htm", "b.htm" }, "unexpected operand 'b.htm'" },
        { { "-r", "site" }, "-r needs -o DEST_FOLDER" },
        { { "-r", "site", "-o", "-" }, "-r needs -o DEST_FOLDER" },
        { { "-r", "site", "more", "-o", "out" }, "unexpected operand 'more'" },
        { { "-r", "--recursive", "site", "-o", "out" }, "given more than once" },
        { { "--match=*.htm", "-o", "out/", "a.htm" }, "'--match' needs -r" },
        { { "--copy-others", "-o", "out/", "a.htm" }, "'--copy-others' needs -r" },
        { { "--match=", "-r", "site", "-o", "out" }, "MASKS must name at least one mask" },
        { { "--match= ; ", "-r", "site", "-o", "out" }, "MASKS must name at least one mask" },
        { { "--jobs=0", "a.htm" }, "--jobs needs a whole number from 1 to 1024, not '0'" },
        { { "--jobs=1025", "a.htm" }, "not '1025'" },
        { { "--jobs=99999999999999999999", "a.htm" }, "not '99999999999999999999'" },
        { { "--jobs=-2", "a.htm" }, "not '-2'" },
        { { "--jobs=", "a.htm" }, "not ''" },
        { { "-o", "out/", "-" }, "SOURCE '-' cannot be written into a folder" },
        { { "-o", "out/", "a.htm", "-" }, "SOURCE '-' cannot be written into a folder" },
        { { "-r", "-", "-o", "out" }, "SOURCE '-' cannot be written into a folder" },
        { { "-rx", "site", "-o", "out" }, "'-r' takes no value" },
        { { "--safe", "--options=tags", "a.htm" }, "--safe and --options cannot be given together" },
        { { "--options=", "-r", "site", "-o", "out", "--safe" }, "--safe and --options cannot be given together" },
        { { "--safe=yes", "a.htm" }, "'--safe' takes no value" },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.arguments));
        const ParsedCommandLine parsed = parseCommandLine(row.arguments);
        EXPECT_EQ(parsed.command, CliCommand::UsageError);
        EXPECT_NE(parsed.error.find(row.complaint), std::string::npos) << parsed.error;
    }
}

TEST(CliCommandLine, ReadsFolderRuns)
{
    const struct
    {
        const char* name;
        std::vector<std::string> arguments;
        std::vector<std::string> sources;
        bool recursive = false;
        unsigned jobs = 0;
        std::string match = CliOptions::DefaultMatch;
        bool copyOthers = false;
        bool intoFolder = true;
    } rows[] = {
        { "one file", { "-o", "out.big", "a.htm" }, { "a.htm" }, false, 0, CliOptions::DefaultMatch, false, false },
        { "one file, --jobs", { "--jobs=3", "-o", "out.big", "a.htm" }, { "a.htm" }, false, 3,
            CliOptions::DefaultMatch, false, false },
        { "one file into a folder", { "-o", "out/", "a.htm" }, { "a.htm" } },
        { "several files", { "a.htm", "-o", "out", "b.htm", "c.htm" }, { "a.htm", "b.htm", "c.htm" } },
        { "a site", { "-r", "site", "-o", "out" }, { "site" }, true },
        { "a site, every option", { "--recursive", "--jobs", "12", "--match", "*.*", "--copy-others", "site", "-o", "out" },
            { "site" }, true, 12, "*.*", true },
        { "a site, -- before it", { "-r", "-o", "out", "--", "-site" }, { "-site" }, true },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const ParsedCommandLine parsed = parseCommandLine(row.arguments);
        ASSERT_EQ(parsed.command, CliCommand::Compact) << parsed.error;
        std::vector<std::string> sources { parsed.options.source };
        sources.insert(sources.end(), parsed.options.moreSources.begin(), parsed.options.moreSources.end());
        EXPECT_EQ(sources, row.sources);
        EXPECT_EQ(parsed.options.recursive, row.recursive);
        EXPECT_EQ(parsed.options.jobs, row.jobs);
        EXPECT_EQ(parsed.options.match, row.match);
        EXPECT_EQ(parsed.options.copyOthers, row.copyOthers);
        EXPECT_EQ(writesIntoFolder(parsed.options), row.intoFolder);
    }
}

TEST(NameMasks, MatchAsTheDesktopFilterDoes)
{
    const struct
    {
        const char* masks;
        const char* name;
        bool matches;
    } rows[] = {
        { "*.htm", "index.htm", true },
        { "*.htm", "INDEX.HTM", true },
        { "*.htm", "index.html", false },
        { "*.htm", "index.htm.bak", false },
        { "*.htm", ".htm", true },
        { "*.HTM", "a.htm", true },
        { "*.htm;*.html", "a.html", true },
        { " *.js ; *.vbs ", "x.vbs", true },
        { "*.js;;", "x.js", true },
        { "*.*", "README", true },
        { "*.*", "a.b.c", true },
        { "*.*", ".hidden", true },
        { "page.*", "page", true },
        { "page.*", "page.htm", true },
        { "page.*", "pages.htm", false },
        { "*.", "README", true },
        { "*.", "a.htm", false },
        { "?.htm", "a.htm", true },
        { "?.htm", "ab.htm", false },
        { "?.htm", "\xff.htm", true }, // one byte that is no text, shown as one character
        { "a*b*c", "aXbYbZc", true },
        { "a*b*c", "aXbYbZ", false },
        { "*", "caf\xe9.htm", true },
        { "caf\xc9.htm", "caf\xe9.htm", false }, // only ASCII letters are compared without case
        { "\xff*", "\xff.htm", true },
        { "*a*a*a*a*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.masks) + " / " + row.name);
        EXPECT_EQ(NameMasks(row.masks).matches(row.name), row.matches);
    }
}

TEST(CliCommandLine, HelpAndVersionAnswerWhateverFollowsThem)
{
    const struct
    {
        std::vector<std::string> arguments;
        CliCommand expected;
    } rows[] = {
        { { "--help" }, CliCommand::Help },
        { { "--help", "--bogus", "a.htm", "b.htm" }, CliCommand::Help },
        { { "page.htm", "--version" }, CliCommand::Version },
        { { "--help=all" }, CliCommand::UsageError },
        { { "--bogus", "--help" }, CliCommand::UsageError },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.arguments));
        EXPECT_EQ(parseCommandLine(row.arguments).command, row.expected);
    }
}

} // namespace
