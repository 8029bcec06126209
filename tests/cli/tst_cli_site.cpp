// End-to-end tests of snellitore-cli on whole folders: the built program run on a fresh tree of files.
#include <tests/support/cli_launcher.h>
#include <tests/support/umask_scope.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

using cli_test::Outcome;
using cli_test::Page;
using cli_test::PageDefaultApiciDiv;
using cli_test::readAll;

const std::string InvalidUtf8 = "caf\xe9 \xff.htm"; // Latin-1 bytes: no valid UTF-8

void writeAll(const fs::path& path, const std::string& contents)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << contents;
}

// Every path below folder, relative, sorted; folders end with "/", links with "@" and their target.
std::vector<std::string> treeOf(const fs::path& folder)
{
    std::vector<std::string> names;
    if (!fs::exists(folder))
        return names;
    for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator(); ++it) {
        std::string name = it->path().lexically_relative(folder).string();
        if (it->is_symlink())
            name += "@" + fs::read_symlink(it->path()).string();
        else if (it->is_directory())
            name += "/";
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The shared fixture's work folder, less its page, is where every test builds its site.
class CliSiteTest : public cli_test::CliTest
{
protected:
    void SetUp() override
    {
        CliTest::SetUp();
        fs::remove(work("page.htm"));
    }

    fs::path at(const std::string& name) const { return work(name); }

    // A small site: nested and empty folders, a space, a "*", bytes that are no UTF-8, files that do not match.
    void makeSite(const std::string& folder = "site")
    {
        writeAll(at(folder + "/index.htm"), Page);
        writeAll(at(folder + "/about us.html"), Page + "<!-- about -->\r\n");
        writeAll(at(folder + "/star*.htm"), "<p>\t*\t</p>\r\n");
        writeAll(at(folder + "/" + InvalidUtf8), "<b>  \xe9  </b>\r\n");
        writeAll(at(folder + "/js/app.js"), "if (a  >  b)\r\n\tx = 1;\r\n");
        writeAll(at(folder + "/js/old/legacy.VBS"), "msgbox  \"hi\"\r\n");
        writeAll(at(folder + "/img/logo.png"), std::string("\x89PNG\r\n\x1a\n\t\t", 10));
        writeAll(at(folder + "/notes.txt"), "two  spaces\r\n");
        fs::create_directories(at(folder + "/empty/deeper"));
    }

    Outcome run(const std::vector<std::string>& args, const std::function<void(pid_t)>& whileRunning = {})
    {
        cli_test::Launch launch { args };
        launch.whileRunning = whileRunning;
        return CliTest::run(launch);
    }

    // What the single-file run makes of source with the options given.
    std::string singleRun(const std::string& source, const std::vector<std::string>& options = {})
    {
        std::vector<std::string> args = options;
        args.insert(args.end(), { "-o", "single.out", "--", source });
        fs::remove(at("single.out"));
        const Outcome outcome = run(args);
        EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
        const std::string bytes = readAll(at("single.out"));
        fs::remove(at("single.out"));
        return bytes;
    }

};

TEST_F(CliSiteTest, MirrorsTheMatchingFilesAsSingleRunsWould)
{
    const struct
    {
        const char* name;
        std::vector<std::string> options;
        std::vector<std::string> compacted; // the files compacted, relative to the site
        std::vector<std::string> copied; // the files copied as they are
    } rows[] = {
        { "default masks and options", {},
            { "about us.html", InvalidUtf8, "index.htm", "js/app.js", "js/old/legacy.VBS", "star*.htm" }, {} },
        { "default,tags on one worker", { "--options=default,tags", "--jobs=1" },
            { "about us.html", InvalidUtf8, "index.htm", "js/app.js", "js/old/legacy.VBS", "star*.htm" }, {} },
        { "one mask", { "--match=*.HTM" }, { InvalidUtf8, "index.htm", "star*.htm" }, {} },
        { "masks with blanks and a ?", { "--match= ??ar*.htm ; *.txt" }, { "notes.txt", "star*.htm" }, {} },
        { "every name", { "--match=*.*" },
            { "about us.html", InvalidUtf8, "img/logo.png", "index.htm", "js/app.js", "js/old/legacy.VBS",
                "notes.txt", "star*.htm" },
            {} },
        { "copy the others", { "--copy-others", "--match=*.js" }, { "js/app.js" },
            { "about us.html", InvalidUtf8, "img/logo.png", "index.htm", "js/old/legacy.VBS", "notes.txt",
                "star*.htm" } },
    };
    makeSite();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(at("out"));
        std::vector<std::string> args = row.options;
        args.insert(args.end(), { "-r", "site", "-o", "out" });
        const Outcome outcome = run(args);
        EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
        EXPECT_EQ(outcome.err, "");
        // Every folder is mirrored, the empty ones too; only the files chosen appear.
        std::vector<std::string> expected { "empty/", "empty/deeper/", "img/", "js/", "js/old/" };
        expected.insert(expected.end(), row.compacted.begin(), row.compacted.end());
        expected.insert(expected.end(), row.copied.begin(), row.copied.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(treeOf(at("out")), expected);
        std::vector<std::string> compactionOptions;
        for (const std::string& option : row.options)
            if (option.rfind("--options=", 0) == 0)
                compactionOptions.push_back(option);
        for (const std::string& file : row.compacted)
            EXPECT_EQ(readAll(at("out/" + file)), singleRun("site/" + file, compactionOptions)) << file;
        for (const std::string& file : row.copied)
            EXPECT_EQ(readAll(at("out/" + file)), readAll(at("site/" + file))) << file;
    }
}

// New files and folders get their source's permission bits less the umask, as copies made with cp do; a folder
// that DEST needs besides keeps the default, a replaced file keeps its own bits, and a copy keeps its source's time.
TEST_F(CliSiteTest, NewFilesAndFoldersTakeTheirSourcesBits)
{
    struct Source
    {
        std::string path; // a folder ends with "/"
        mode_t mode;
    };
    struct Expected
    {
        std::string path;
        mode_t mode;
        const char* timeOf = nullptr; // the source whose time of last change it shows; else a time of its own
    };
    const struct
    {
        const char* name;
        mode_t umask;
        std::vector<Source> sources;
        std::vector<std::string> args;
        std::vector<Expected> expected;
        std::function<void()> prepare = {};
    } rows[] = {
        { "0600 draft, one file", 022, { { "draft.htm", 0600 } }, { "-o", "out.htm", "draft.htm" },
            { { "out.htm", 0600 } } },
        { "0755 script under umask 027", 027, { { "tool.js", 0755 } }, { "--options=", "-o", "tool.out", "tool.js" },
            { { "tool.out", 0750 } } },
        { "0700 file into a new folder", 022, { { "notes.htm", 0700 } }, { "-o", "into/", "notes.htm" },
            { { "into", 0755 }, { "into/notes.htm", 0700 } } },
        { "folder run with --copy-others", 022,
            { { "site/", 0750 }, { "site/index.htm", 0600 }, { "site/run.sh", 0755 }, { "site/priv/", 0700 },
                { "site/priv/key.txt", 0600 }, { "site/ro/", 0555 }, { "site/ro/data.txt", 0444 } },
            { "-r", "--copy-others", "site", "-o", "deep/out" },
            { { "deep", 0755 }, { "deep/out", 0750 }, { "deep/out/index.htm", 0600 },
                { "deep/out/run.sh", 0755, "site/run.sh" }, { "deep/out/priv", 0700 },
                { "deep/out/priv/key.txt", 0600, "site/priv/key.txt" }, { "deep/out/ro", 0555 },
                { "deep/out/ro/data.txt", 0444, "site/ro/data.txt" } } },
        { "--force over a 0640 copy", 022, { { "site/", 0755 }, { "site/run.sh", 0755 } },
            { "-r", "--copy-others", "--force", "site", "-o", "out" },
            { { "out/run.sh", 0640, "site/run.sh" } },
            [this] {
                writeAll(at("out/run.sh"), "older copy");
                fs::permissions(at("out/run.sh"), fs::perms(0640));
            } },
    };
    // Without root's overrides a folder without the owner's write bit really keeps files out while it is filled.
    const bool asUser = CliTest::run({ .args = { "-c", "true" }, .program = "/bin/sh", .withoutDacOverride = true })
                            .exitCode
        == 0;
    const struct timespec old[2] = { { 1000000000, 123456789 }, { 1000000000, 123456789 } };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        for (const Source& source : row.sources) {
            if (source.path.back() == '/')
                fs::create_directories(at(source.path));
            else
                writeAll(at(source.path), "<p>  text  </p>\n");
        }
        if (row.prepare)
            row.prepare();
        // Bits and times are set last, innermost first, so that writing the tree changes neither.
        for (auto source = row.sources.rbegin(); source != row.sources.rend(); ++source) {
            ASSERT_EQ(::utimensat(AT_FDCWD, at(source->path).c_str(), old, 0), 0);
            ASSERT_EQ(::chmod(at(source->path).c_str(), source->mode), 0);
        }
        Outcome outcome;
        {
            UmaskScope mask(row.umask);
            outcome = CliTest::run({ .args = row.args, .withoutDacOverride = asUser });
        }
        EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
        for (const Expected& expected : row.expected) {
            struct stat made {};
            ASSERT_EQ(::lstat(at(expected.path).c_str(), &made), 0) << expected.path;
            EXPECT_EQ(made.st_mode & 07777, expected.mode) << expected.path;
            if (expected.timeOf) {
                struct stat source {};
                ASSERT_EQ(::stat(at(expected.timeOf).c_str(), &source), 0);
                EXPECT_EQ(made.st_mtim.tv_sec, source.st_mtim.tv_sec) << expected.path;
                EXPECT_EQ(made.st_mtim.tv_nsec, source.st_mtim.tv_nsec) << expected.path;
            } else {
                EXPECT_NE(made.st_mtim.tv_sec, old[1].tv_sec) << expected.path << " has a time of its own";
            }
        }
        for (const auto& entry : fs::recursive_directory_iterator(at("")))
            fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add);
        for (const auto& entry : fs::directory_iterator(at("")))
            fs::remove_all(entry.path());
    }
}

// Links are never followed; --copy-others makes them again as links. Other kinds of file are passed over.
TEST_F(CliSiteTest, NeverFollowsLinksAndSkipsWhatIsNoFile)
{
    writeAll(at("site/page.htm"), Page);
    writeAll(at("outside/secret.htm"), Page);
    fs::create_symlink("page.htm", at("site/alias.htm"));
    fs::create_symlink("../outside", at("site/elsewhere"));
    fs::create_symlink("missing.htm", at("site/dangling.htm"));
    ASSERT_EQ(::mkfifo(at("site/pipe.htm").c_str(), 0600), 0);
    const struct
    {
        const char* name;
        std::vector<std::string> options;
        std::vector<std::string> tree;
        const char* err;
    } rows[] = {
        { "without --copy-others", {}, { "page.htm" },
            "snellitore-cli: site/alias.htm: symbolic link skipped (--copy-others recreates it)\n"
            "snellitore-cli: site/dangling.htm: symbolic link skipped (--copy-others recreates it)\n"
            "snellitore-cli: site/elsewhere: symbolic link to a folder not followed\n"
            "snellitore-cli: site/pipe.htm: skipped: no regular file\n" },
        { "with --copy-others", { "--copy-others" },
            { "alias.htm@page.htm", "dangling.htm@missing.htm", "elsewhere@../outside", "page.htm" },
            "snellitore-cli: site/pipe.htm: skipped: no regular file\n" },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(at("out"));
        std::vector<std::string> args = row.options;
        args.insert(args.end(), { "-r", "site", "-o", "out" });
        const Outcome outcome = run(args);
        EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
        EXPECT_EQ(outcome.err, row.err);
        EXPECT_EQ(treeOf(at("out")), row.tree);
        EXPECT_EQ(readAll(at("out/page.htm")), PageDefaultApiciDiv);
    }
}

// A destination folder inside the source folder, by any spelling or link, is refused before anything is written.
TEST_F(CliSiteTest, RefusesADestinationInsideTheSource)
{
    makeSite();
    fs::create_symlink("site", at("link-to-site"));
    fs::create_symlink("site/js", at("link-to-js"));
    fs::create_directories(at("other"));
    const struct
    {
        std::vector<std::string> args;
        const char* err;
    } rows[] = {
        { { "-r", "site", "-o", "site" }, "snellitore-cli: site: Destination folder lies inside the source folder\n" },
        { { "-r", "site/", "-o", "./site/." },
            "snellitore-cli: ./site/.: Destination folder lies inside the source folder\n" },
        { { "-r", "site", "-o", "site/new/deeper" },
            "snellitore-cli: site/new/deeper: Destination folder lies inside the source folder\n" },
        { { "-r", "site", "-o", "link-to-site/new" },
            "snellitore-cli: link-to-site/new: Destination folder lies inside the source folder\n" },
        { { "-r", "link-to-site", "-o", "link-to-js" },
            "snellitore-cli: link-to-js: Destination folder lies inside the source folder\n" },
        { { "-r", "site", "-o", "other/../site/js/x" },
            "snellitore-cli: other/../site/js/x: Destination folder lies inside the source folder\n" },
        { { "-r", "site", "-o", "other/new/../../site" },
            "snellitore-cli: other/new/../../site: '..' after the part of the path that exists\n" },
        { { "-r", "site/index.htm", "-o", "out" }, "snellitore-cli: site/index.htm: Not a folder\n" },
        { { "-r", "missing", "-o", "out" }, "snellitore-cli: missing: File not found\n" },
        { { "-r", "site", "-o", "site/index.htm/x" }, "snellitore-cli: site/index.htm: Not a folder\n" },
    };
    const std::vector<std::string> before = treeOf(at("site"));
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.args));
        const Outcome outcome = run(row.args);
        EXPECT_EQ(outcome.exitCode, 1);
        EXPECT_EQ(outcome.err, row.err);
        EXPECT_EQ(treeOf(at("site")), before);
        EXPECT_FALSE(fs::exists(at("out")));
        EXPECT_TRUE(fs::is_empty(at("other")));
    }
}

// A taken name fails for its file alone: the others are done and the exit code says that one failed.
TEST_F(CliSiteTest, AFailedFileLeavesTheOthersDone)
{
    const struct
    {
        const char* name;
        std::vector<std::string> options;
        std::function<void(const fs::path& out)> prepare;
        std::vector<std::string> failed; // destinations, in order of the messages
        const char* text; // the message after the destination's path
        int exitCode;
        std::map<std::string, std::string> expected; // destination files and their contents afterwards
    } rows[] = {
        { "existing file kept without --force", {}, [](const fs::path& out) { writeAll(out / "b.htm", "keep"); },
            { "out/b.htm" }, "File exists (use --force to replace it)", 1,
            { { "a.htm", PageDefaultApiciDiv }, { "b.htm", "keep" }, { "sub/c.htm", PageDefaultApiciDiv } } },
        { "existing file replaced with --force", { "--force" },
            [](const fs::path& out) { writeAll(out / "b.htm", "replace me"); }, {}, "", 0,
            { { "a.htm", PageDefaultApiciDiv }, { "b.htm", PageDefaultApiciDiv }, { "sub/c.htm", PageDefaultApiciDiv } } },
        // Without --force the name is looked at once the file is complete: every kind of taken name is still
        // refused as it is by a run on that file alone, and left as it was.
        { "a folder under a file's name", {}, [](const fs::path& out) { fs::create_directories(out / "b.htm"); },
            { "out/b.htm" }, "is a folder", 1,
            { { "a.htm", PageDefaultApiciDiv }, { "sub/c.htm", PageDefaultApiciDiv } } },
        { "a dangling link under a file's name", {},
            [](const fs::path& out) { fs::create_symlink("missing.htm", out / "b.htm"); }, { "out/b.htm" },
            "File exists (use --force to replace it)", 1,
            { { "a.htm", PageDefaultApiciDiv }, { "sub/c.htm", PageDefaultApiciDiv } } },
        { "a FIFO under a file's name", {},
            [](const fs::path& out) { ASSERT_EQ(::mkfifo((out / "b.htm").c_str(), 0600), 0); }, { "out/b.htm" },
            "File exists (use --force to replace it)", 1,
            { { "a.htm", PageDefaultApiciDiv }, { "sub/c.htm", PageDefaultApiciDiv } } },
        { "a link to the source under a file's name", {},
            [this](const fs::path& out) { fs::create_symlink(at("site/b.htm"), out / "b.htm"); }, { "out/b.htm" },
            "Source and destination are the same file", 1,
            { { "a.htm", PageDefaultApiciDiv }, { "b.htm", Page }, { "sub/c.htm", PageDefaultApiciDiv } } },
        { "a folder under a file's name, --force", { "--force" },
            [](const fs::path& out) { fs::create_directories(out / "b.htm"); }, { "out/b.htm" }, "is a folder", 1,
            { { "a.htm", PageDefaultApiciDiv }, { "sub/c.htm", PageDefaultApiciDiv } } },
        { "a file under a folder's name", {}, [](const fs::path& out) { writeAll(out / "sub", "a file"); },
            { "out/sub" }, "File exists, and is no folder", 1,
            { { "a.htm", PageDefaultApiciDiv }, { "b.htm", PageDefaultApiciDiv }, { "sub", "a file" } } },
        { "a link under a folder's name, --force", { "--force" },
            [this](const fs::path& out) {
                fs::create_directories(at("elsewhere"));
                fs::create_directories(out);
                fs::create_directory_symlink(at("elsewhere"), out / "sub");
            },
            { "out/sub" }, "File exists, and is no folder", 1,
            { { "a.htm", PageDefaultApiciDiv }, { "b.htm", PageDefaultApiciDiv } } },
    };
    writeAll(at("site/a.htm"), Page);
    writeAll(at("site/b.htm"), Page);
    writeAll(at("site/sub/c.htm"), Page);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(at("out"));
        fs::remove_all(at("elsewhere"));
        fs::create_directories(at("out"));
        row.prepare(at("out"));
        std::vector<std::string> args = row.options;
        args.insert(args.end(), { "--jobs=3", "-r", "site", "-o", "out" });
        const Outcome outcome = run(args);
        EXPECT_EQ(outcome.exitCode, row.exitCode);
        std::string err;
        for (const std::string& path : row.failed)
            err += "snellitore-cli: " + path + ": " + row.text + "\n";
        EXPECT_EQ(outcome.err, err);
        for (const auto& [name, contents] : row.expected)
            EXPECT_EQ(readAll(at("out/" + name)), contents) << name;
        if (fs::exists(at("elsewhere"))) {
            EXPECT_TRUE(fs::is_empty(at("elsewhere"))) << "written through a link";
        }
        for (const std::string& name : treeOf(at("out")))
            EXPECT_EQ(name.find(".snellitore-"), std::string::npos) << "temporary file left: " << name;
    }
}

// The summary lines come sorted by path, byte by byte, whatever the order the workers finish in, and the
// files are the same for one worker and for several.
TEST_F(CliSiteTest, SameOutputInPathOrderForAnyNumberOfWorkers)
{
    // Sizes differ so that the workers finish out of order; the names test the order of "/" among bytes.
    const std::vector<std::string> names
        = { "a-b.htm", "a.htm", "a/b.htm", "a/z/y.htm", "a0.htm", "B.htm", "b.htm", "\xc3\xa9.htm", "\xff.htm" };
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::string page;
        for (std::size_t repeat = 0; repeat < (names.size() - i) * 2000; ++repeat)
            page += "<p>  row\t" + std::to_string(repeat) + "  </p>\r\n";
        writeAll(at("site/" + names[i]), page);
    }
    std::map<std::string, Outcome> outcomes;
    for (const std::string jobs : { "1", "4" }) {
        SCOPED_TRACE("--jobs=" + jobs);
        const Outcome outcome = run({ "--stats", "--jobs=" + jobs, "-r", "site", "-o", "out" + jobs });
        EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
        outcomes[jobs] = outcome;
        std::istringstream lines(outcome.err);
        std::vector<std::string> sources;
        for (std::string line; std::getline(lines, line);)
            sources.push_back(line.substr(0, line.find(' ')));
        ASSERT_EQ(sources.size(), names.size() + 1) << outcome.err;
        EXPECT_EQ(sources.back(), "total");
        sources.pop_back();
        std::vector<std::string> expected;
        for (const std::string& name : names)
            expected.push_back("site/" + name);
        std::sort(expected.begin(), expected.end()); // std::string compares bytes as unsigned
        expected.back() = "site/\\xff.htm"; // shown escaped, as it is no UTF-8
        EXPECT_EQ(sources, expected);
    }
    std::string one = outcomes["1"].err;
    std::string four = outcomes["4"].err;
    for (std::string* text : { &one, &four })
        for (std::size_t at; (at = text->find(" out")) != std::string::npos;)
            text->replace(at, 5, " OUT"); // "out1" and "out4" differ by name only
    EXPECT_EQ(one, four);
    EXPECT_EQ(treeOf(at("out1")), treeOf(at("out4")));
    for (const std::string& name : names)
        EXPECT_TRUE(readAll(at("out1/" + name)) == readAll(at("out4/" + name))) << name;
}

TEST_F(CliSiteTest, PrintsTheTotalAndTheProgress)
{
    writeAll(at("site/a.htm"), std::string(300, 'a'));
    writeAll(at("site/b/c.htm"), "x  y\r\n");
    writeAll(at("site/d.htm"), std::string(100, 'd'));
    const struct
    {
        std::vector<std::string> args;
        const char* err;
    } rows[] = {
        { { "--stats", "-r", "site", "-o", "out" },
            "site/a.htm 300 byte  ==> out/a.htm 300 byte 0%\n"
            "site/b/c.htm 6 byte  ==> out/b/c.htm 4 byte -33%\n"
            "site/d.htm 100 byte  ==> out/d.htm 100 byte 0%\n"
            "total 3 files 406 byte  ==> 404 byte 0%\n" },
        // Standard error is no terminal here: whole percentages of the bytes, one per line.
        { { "--progress", "-r", "site", "-o", "out" }, "74%\n75%\n100%\n" },
        { { "--stats", "--force", "-o", "out/", "site/a.htm", "site/b/c.htm", "site/b/../a.htm" },
            "site/a.htm 300 byte  ==> out/a.htm 300 byte 0%\n"
            "site/b/c.htm 6 byte  ==> out/c.htm 4 byte -33%\n"
            "snellitore-cli: site/b/../a.htm: skipped: an earlier SOURCE has the same name\n"
            "total 2 files 306 byte  ==> 304 byte -1%, 1 failed\n" },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.args));
        fs::remove_all(at("out"));
        const Outcome outcome = run(row.args);
        EXPECT_EQ(outcome.err, row.err);
    }
}

// Off a terminal the percentages count every file done: one that failed or was refused too, so the run
// still ends at 100%.
TEST_F(CliSiteTest, ProgressCountsFailedAndRefusedFiles)
{
    writeAll(at("site/a.htm"), std::string(3000, 'a'));
    writeAll(at("site/d.htm"), std::string(1000, 'd'));
    const std::vector<std::string> folderRun { "--progress", "-r", "site", "-o", "out" };
    const std::vector<std::string> severalFiles { "--progress", "-o", "out/", "site/a.htm", "site/d.htm" };
    const std::string tooLarge = "snellitore-cli: out/a.htm: I/O error 223\n75%\n100%\n";
    const std::string refused = "snellitore-cli: out/a.htm: File exists (use --force to replace it)\n75%\n100%\n";
    const struct
    {
        const char* what;
        std::vector<std::string> args;
        bool takenBefore; // out/a.htm is there before the run
        rlim_t fileSizeLimit;
        std::string err;
    } rows[] = {
        { "a large file that cannot be written", folderRun, false, 2048, tooLarge },
        { "a large file that cannot be written", severalFiles, false, 2048, tooLarge },
        { "a large file whose name is taken", folderRun, true, RLIM_INFINITY, refused },
        { "a large file whose name is taken", severalFiles, true, RLIM_INFINITY, refused },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.what) + " " + ::testing::PrintToString(row.args));
        fs::remove_all(at("out"));
        if (row.takenBefore)
            writeAll(at("out/a.htm"), "older");
        cli_test::Launch launch { row.args };
        launch.fileSizeLimit = row.fileSizeLimit;
        const Outcome outcome = CliTest::run(launch);
        EXPECT_EQ(outcome.exitCode, 1);
        EXPECT_EQ(outcome.err, row.err);
        EXPECT_EQ(readAll(at("out/d.htm")), std::string(1000, 'd'));
    }
}

// Under a limit on processes a worker may fail to start: the run goes on with those that did, or on one thread,
// says so once, and its files, messages and exit code are those of a run without the limit. Root is exempt
// from the limit, so as root the program runs as the unprivileged user, in a work folder anyone may write.
TEST_F(CliSiteTest, GoesOnWithTheWorkersThatCouldStart)
{
    const bool root = ::getuid() == 0;
    const std::string wrapper = root ? "/usr/bin/setpriv" : "/usr/bin/prlimit";
    if (::access("/usr/bin/env", X_OK) != 0 || ::access("/usr/bin/prlimit", X_OK) != 0
        || ::access(wrapper.c_str(), X_OK) != 0)
        GTEST_SKIP() << "needs prlimit" << (root ? " and setpriv" : "") << " to limit the program's processes";
    makeSite();
    writeAll(at("site/taken/index.htm"), Page); // one file fails in every run: the exit code must match
    writeAll(at("out/taken/index.htm"), "older");
    // The mirror opens the folders above DEST, to see that it is not inside SOURCE: the unprivileged user must
    // be able to read them.
    fs::permissions(m_root, fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
    fs::permissions(at(""), fs::perms::all);
    for (auto it = fs::recursive_directory_iterator(at("")); it != fs::recursive_directory_iterator(); ++it)
        if (it->is_directory())
            fs::permissions(it->path(), fs::perms::all);

    const std::vector<std::string> folderRun { "--stats", "-r", "site", "-o", "out" };
    const std::vector<std::string> severalFiles { "--stats", "-o", "out/taken/", "site/index.htm", "site/star*.htm",
                                                  "site/js/app.js" };
    const struct
    {
        const char* what;
        std::vector<std::string> args;
        int processes; // the limit, counting the program itself (and, when not root, the user's other processes)
        int mostStarted; // workers the note may say started
    } rows[] = {
        { "no worker starts", folderRun, 1, 0 },
        { "a few workers start", folderRun, 3, 2 },
        { "no worker starts", severalFiles, 1, 0 },
        { "a few workers start", severalFiles, 3, 2 },
    };
    // The note's first line: "started N of 50 workers (why)", with "; working on one thread" when N is 0.
    const auto startedIn = [](const std::string& line) -> int {
        const std::string head = "snellitore-cli: started ";
        const std::string oneThread = "; working on one thread";
        if (line.rfind(head, 0) != 0 || line.size() <= head.size()
            || !std::isdigit(static_cast<unsigned char>(line[head.size()])))
            return -1;
        const int started = line[head.size()] - '0';
        const bool saysOneThread = line.size() > oneThread.size()
            && line.compare(line.size() - oneThread.size(), oneThread.size(), oneThread) == 0;
        const std::string rest = line.substr(head.size() + 1, line.size() - head.size() - 1
                                                                  - (saysOneThread ? oneThread.size() : 0));
        const bool wellFormed = rest.rfind(" of 50 workers (", 0) == 0 && rest.size() > 17 && rest.back() == ')';
        return wellFormed && saysOneThread == (started == 0) ? started : -1;
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.what) + " " + ::testing::PrintToString(row.args));
        std::vector<std::string> args { "--jobs=50" };
        args.insert(args.end(), row.args.begin(), row.args.end());
        fs::remove_all(at("out"));
        writeAll(at("out/taken/index.htm"), "older");
        const Outcome unlimited = run(args);
        const auto treeUnlimited = treeOf(at("out"));
        std::map<std::string, std::string> filesUnlimited;
        for (const std::string& name : treeUnlimited)
            if (fs::is_regular_file(at("out/" + name)))
                filesUnlimited[name] = readAll(at("out/" + name));

        fs::remove_all(at("out"));
        writeAll(at("out/taken/index.htm"), "older");
        fs::permissions(at("out"), fs::perms::all);
        fs::permissions(at("out/taken"), fs::perms::all);
        cli_test::Launch limited;
        // The leak checker of a sanitized build starts a thread of its own at exit, which the limit refuses too;
        // the run without the limit has checked for leaks already.
        const char* sanitizer = std::getenv("ASAN_OPTIONS");
        limited.program = "/usr/bin/env";
        limited.args = { std::string("ASAN_OPTIONS=") + (sanitizer ? sanitizer : "") + ":detect_leaks=0", wrapper };
        if (root)
            limited.args.insert(limited.args.end(),
                                { "--reuid=65534", "--regid=65534", "--clear-groups", "/usr/bin/prlimit" });
        limited.args.push_back("--nproc=" + std::to_string(row.processes));
        limited.args.push_back(SNELLITORE_CLI);
        limited.args.insert(limited.args.end(), args.begin(), args.end());
        const Outcome outcome = CliTest::run(limited);

        const std::size_t lineEnd = outcome.err.find('\n');
        ASSERT_NE(lineEnd, std::string::npos) << outcome.err;
        const int started = startedIn(outcome.err.substr(0, lineEnd));
        EXPECT_GE(started, 0) << outcome.err;
        EXPECT_LE(started, row.mostStarted) << outcome.err;
        EXPECT_EQ(outcome.err.substr(lineEnd + 1), unlimited.err);
        EXPECT_EQ(outcome.exitCode, unlimited.exitCode);
        EXPECT_EQ(unlimited.exitCode, 1);
        EXPECT_EQ(treeOf(at("out")), treeUnlimited);
        for (const auto& [name, contents] : filesUnlimited)
            EXPECT_TRUE(readAll(at("out/" + name)) == contents) << name;
    }
}

TEST_F(CliSiteTest, WritesSeveralFilesIntoAFolder)
{
    writeAll(at("a.htm"), Page);
    writeAll(at("sub/b.htm"), Page);
    writeAll(at("taken"), "a file");
    fs::create_directories(at("folder"));
    const struct
    {
        std::vector<std::string> args;
        int exitCode;
        const char* folder; // where a.htm and b.htm must be, when the run succeeds
        const char* err;
    } rows[] = {
        { { "-o", "new/deeper/", "a.htm", "sub/b.htm" }, 0, "new/deeper", "" },
        { { "a.htm", "sub/b.htm", "-o", "folder" }, 0, "folder", "" },
        { { "-o", "fresh/", "a.htm" }, 0, nullptr, "" },
        { { "-o", "taken", "a.htm", "sub/b.htm" }, 2, nullptr, "snellitore-cli: unexpected operand 'sub/b.htm'\n" },
        { { "-o", "missing", "a.htm", "sub/b.htm" }, 2, nullptr, "snellitore-cli: unexpected operand 'sub/b.htm'\n" },
        { { "-o", "taken/", "a.htm" }, 1, nullptr, "snellitore-cli: taken: Not a folder\n" },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.args));
        const Outcome outcome = run(row.args);
        EXPECT_EQ(outcome.exitCode, row.exitCode);
        EXPECT_EQ(outcome.err.substr(0, outcome.err.find("usage:")), row.err);
        if (row.folder) {
            EXPECT_EQ(readAll(at(std::string(row.folder) + "/a.htm")), PageDefaultApiciDiv);
            EXPECT_EQ(readAll(at(std::string(row.folder) + "/b.htm")), PageDefaultApiciDiv);
        }
    }
    EXPECT_EQ(readAll(at("fresh/a.htm")), PageDefaultApiciDiv);
    EXPECT_EQ(readAll(at("taken")), "a file");
    EXPECT_FALSE(fs::exists(at("missing")));
}

// An interrupt stops the run: the program ends by the signal, every file under a destination name is complete,
// and no temporary file is left.
// --safe in a folder run: each file by its language, the pages' stylesheets read from the site (a link that
// starts with "/" from SOURCE_FOLDER), one that is missing noted with --stats, in the file's place of the order.
TEST_F(CliSiteTest, SafeRunReadsTheSitesStylesheets)
{
    writeAll(at("site/doc/page.html"), "<link rel=stylesheet href=\"/css/site.css\"><link rel=stylesheet "
                                       "href=\"gone.css\">\r\n<p>  a  </p>\r\n<div class=\"code\">  b  </div>\r\n");
    writeAll(at("site/css/site.css"), ".code {\r\n  white-space: pre;\r\n}\r\n");
    writeAll(at("site/js/app.js"), "if (a  >  b)\r\n\tx = 1;\r\n");
    writeAll(at("site/old.vbs"), "msgbox  \"hi\"\r\n");
    const Outcome outcome = run({ "--safe", "--stats", "--match=*.*", "-r", "site", "-o", "public" });
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(readAll(at("public/doc/page.html")),
              "<link rel=stylesheet href=\"/css/site.css\"><link rel=stylesheet href=\"gone.css\">\n<p> a </p>\n"
              "<div class=\"code\">  b  </div>\n");
    EXPECT_EQ(readAll(at("public/css/site.css")), ".code {\nwhite-space: pre;\n}\n");
    EXPECT_EQ(readAll(at("public/js/app.js")), "if (a  >  b)\n\tx = 1;\n");
    EXPECT_EQ(readAll(at("public/old.vbs")), "msgbox  \"hi\"\r\n");
    const std::string note = "snellitore-cli: site/doc/page.html: stylesheet gone.css: not found\n";
    const std::size_t noted = outcome.err.find(note);
    ASSERT_NE(noted, std::string::npos) << outcome.err;
    EXPECT_EQ(outcome.err.find("site/doc/page.html 1"), noted + note.size()) << "the note comes before its summary";
}

TEST_F(CliSiteTest, AnInterruptLeavesNoPartialFile)
{
    constexpr int Files = 400;
    std::string page;
    while (page.size() < 256 * 1024)
        page += "<tr>\r\n\t<td  class=\"cell\">  " + std::to_string(page.size()) + "  </td>\r\n</tr>\r\n";
    for (int i = 0; i < Files; ++i)
        writeAll(at("site/part" + std::to_string(i / 100) + "/page" + std::to_string(i) + ".htm"), page);
    const std::string expected = singleRun("site/part0/page0.htm");
    const struct
    {
        const char* name;
        int signal;
    } rows[] = { { "Ctrl+C", SIGINT }, { "SIGTERM", SIGTERM } };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(at("out"));
        bool sent = false;
        const auto interrupt = [&](pid_t pid) {
            // Wait for the first complete file, then interrupt the run in the middle.
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            while (!fs::exists(at("out/part0/page0.htm")) && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            sent = ::kill(pid, row.signal) == 0;
        };
        const Outcome outcome = run({ "--jobs=2", "-r", "site", "-o", "out" }, interrupt);
        ASSERT_TRUE(sent);
        int complete = 0;
        for (const std::string& name : treeOf(at("out"))) {
            if (name.back() == '/')
                continue;
            EXPECT_EQ(name.find(".snellitore-"), std::string::npos) << "temporary file left: " << name;
            EXPECT_TRUE(readAll(at("out/" + name)) == expected) << "partial file: " << name;
            ++complete;
        }
        if (complete == Files)
            GTEST_SKIP() << "the run ended before the interrupt reached it";
        EXPECT_EQ(outcome.exitCode, 128 + row.signal) << outcome.err;
        EXPECT_NE(outcome.err.find("snellitore-cli: interrupted\n"), std::string::npos) << outcome.err;
    }
}

} // namespace
