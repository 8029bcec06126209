// CompactFile and CanOpenFile on real files in a fresh temporary folder: results, refusals and their codes, full disks.
#include <tests/support/held_file.h>
#include <tests/support/naive_compactor.h>
#include <tests/support/progress_recorder.h>
#include <tests/support/read_only_file.h>
#include <tests/support/small_disk.h>
#include <tests/support/temp_folder.h>
#include <tests/support/umask_scope.h>

#include <engine/compaction.h>
#include <platform/io_error.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

const std::string Page = "<html>\r\n<body>\r\n\t<div align=\"center\">\r\n\t\t<font  face=\"Arial;  Verdana\" >Hello   "
                         "world</font>\r\n\t</div>\r\n</body>\r\n</html>\r\n";
const std::string PageAllFour =
    "<html><body><center>\n<font  face=\"Arial;Verdana\">Hello world</font></center>\n</body></html>";
const CompactionOptions AllFour {true, true, true, true};
const std::string SameFileText = "Source and destination are the same file";

struct Failure
{
    int code = 0;
    std::string text;
};

// Runs a compaction that must fail and tells how.
Failure compactionFailure(const std::string& source, const std::string& destination, ProgressRecorder& progress,
                          const CompactionOptions& options = AllFour)
{
    try {
        CompactFile(source, destination, options, progress);
    } catch (const EInOutError& e) {
        return {e.code(), e.what()};
    }
    ADD_FAILURE() << "no error raised for " << source << " -> " << destination;
    return {};
}

void expectGaugeHidden(const ProgressRecorder& progress)
{
    EXPECT_FALSE(progress.visible);
    EXPECT_EQ(progress.progress, 0);
}

std::filesystem::file_time_type modificationTime(const std::string& path)
{
    std::error_code error;
    const auto time = std::filesystem::last_write_time(path, error);
    EXPECT_FALSE(error) << path;
    return time;
}

class CompactFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        writeFileBytes(m_dir / "page.htm", Page);
        std::filesystem::create_directory(m_dir / "folder");
    }

    std::string path(const std::string& name) const { return m_dir / name; }

    TempFolder m_dir;
};

TEST_F(CompactFileTest, ExistingDestinationIsTruncatedAndRewritten)
{
    writeFileBytes(path("out.htm"), std::string(4000, 'z'));
    ProgressRecorder progress;
    const CompactionResult result = CompactFile(path("page.htm"), path("out.htm"), AllFour, progress);
    EXPECT_EQ(result.sourceSize, 121);
    EXPECT_EQ(result.written, 91);
    EXPECT_EQ(readFileBytes(path("out.htm")), PageAllFour);
    EXPECT_EQ(readFileBytes(path("page.htm")), Page);
    std::vector<std::string> calls {"show"};
    for (int percent : naiveCompact(Page, AllFour).progress)
        calls.push_back(std::to_string(percent));
    calls.insert(calls.end(), {"hide", "0"});
    EXPECT_EQ(progress.calls, calls);
}

// A caller that has checked the name is free asks for a new file: one that appeared since is kept as it is.
TEST_F(CompactFileTest, NewDestinationOnlyWhenAskedFor)
{
    NullProgress progress;
    CompactFile(path("page.htm"), path("new.htm"), AllFour, progress, DestinationCreation::MustNotExist);
    EXPECT_EQ(readFileBytes(path("new.htm")), PageAllFour);

    writeFileBytes(path("out.htm"), "appeared meanwhile");
    try {
        CompactFile(path("page.htm"), path("out.htm"), AllFour, progress, DestinationCreation::MustNotExist);
        FAIL() << "an existing destination was accepted";
    } catch (const EInOutError& error) {
        EXPECT_EQ(error.code(), 80);
    }
    EXPECT_EQ(readFileBytes(path("out.htm")), "appeared meanwhile");
}

TEST_F(CompactFileTest, EmptySourceGivesEmptyDestination)
{
    writeFileBytes(path("empty.htm"), "");
    ProgressRecorder progress;
    const CompactionResult result = CompactFile(path("empty.htm"), path("out.htm"), AllFour, progress);
    EXPECT_EQ(result.sourceSize, 0);
    EXPECT_EQ(result.written, 0);
    ASSERT_TRUE(pathExists(path("out.htm")));
    EXPECT_EQ(readFileBytes(path("out.htm")), "");
    EXPECT_EQ(progress.calls, (std::vector<std::string> {"show", "hide", "0"}));
}

struct OpenFailureCase
{
    const char* name;
    const char* source;      // inside the temporary folder, which holds page.htm and folder/
    const char* destination;
    int code;
    const char* text;
};

class OpenFailureTest : public CompactFileTest, public ::testing::WithParamInterface<OpenFailureCase>
{
};

TEST_P(OpenFailureTest, RaisesAndLeavesFilesAlone)
{
    const OpenFailureCase& c = GetParam();
    const bool destinationExisted = pathExists(path(c.destination));
    ProgressRecorder progress;
    const Failure failure = compactionFailure(path(c.source), path(c.destination), progress);
    EXPECT_EQ(failure.code, c.code);
    EXPECT_EQ(failure.text, c.text);
    if (!destinationExisted) {
        EXPECT_FALSE(pathExists(path(c.destination))) << "no destination may be created";
    }
    EXPECT_EQ(readFileBytes(path("page.htm")), Page);
    expectGaugeHidden(progress);
}

const OpenFailureCase OpenFailureCases[] = {
    {"MissingSource", "missing.htm", "out.htm", 2, "File not found"},
    {"SourceInMissingFolder", "nofolder/page.htm", "out.htm", 3, "Invalid filename"},
    {"SourceThroughAFile", "page.htm/page.htm", "out.htm", 3, "Invalid filename"},
    {"SourceIsAFolder", "folder", "out.htm", 5, "File access denied"},
    {"DestinationInMissingFolder", "page.htm", "nofolder/out.htm", 3, "Invalid filename"},
    {"DestinationIsAFolder", "page.htm", "folder", 5, "File access denied"},
};

INSTANTIATE_TEST_SUITE_P(Open, OpenFailureTest, ::testing::ValuesIn(OpenFailureCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The desktop program's runs: a new destination gets the source's permission bits less the umask, as a copy does;
// a file emptied in place keeps its own.
TEST_F(CompactFileTest, NewDestinationTakesTheSourcesBits)
{
#ifdef _WIN32
    GTEST_SKIP() << "permission bits are POSIX's; the read-only attribute is tested with the platform on Windows";
#else
    const struct
    {
        const char* name;
        mode_t umask;
        mode_t source;
        mode_t existing; // of a destination there before; 0: none
        DestinationCreation creation;
        mode_t bits;
    } rows[] = {
        {"new file from a 0600 source", 022, 0600, 0, DestinationCreation::MustNotExist, 0600},
        {"new file from a 0755 source under umask 027", 027, 0755, 0, DestinationCreation::MustNotExist, 0750},
        {"free name, replacing allowed, from a 0700 source", 022, 0700, 0, DestinationCreation::ReplaceExisting, 0700},
        {"file emptied in place keeps its 0640", 022, 0755, 0640, DestinationCreation::ReplaceExisting, 0640},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::filesystem::remove(path("out.htm"));
        if (row.existing) {
            writeFileBytes(path("out.htm"), "old");
            ASSERT_EQ(::chmod(path("out.htm").c_str(), row.existing), 0);
        }
        ASSERT_EQ(::chmod(path("page.htm").c_str(), row.source), 0);
        ProgressRecorder progress;
        {
            UmaskScope mask(row.umask);
            CompactFile(path("page.htm"), path("out.htm"), AllFour, progress, row.creation);
        }
        EXPECT_EQ(readFileBytes(path("out.htm")), PageAllFour);
        struct stat info {};
        ASSERT_EQ(::stat(path("out.htm").c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, row.bits);
    }
#endif
}

TEST_F(CompactFileTest, ReadOnlyDestinationIsRefusedAndKept)
{
    writeFileBytes(path("out.htm"), "keep me");
    ReadOnlyFile readOnly(path("out.htm"));
    if (!readOnly.active())
        GTEST_SKIP() << ReadOnlyFile::SkipReason;
    ProgressRecorder progress;
    const Failure failure = compactionFailure(path("page.htm"), path("out.htm"), progress);
    EXPECT_EQ(failure.code, 5);
    EXPECT_EQ(failure.text, "File access denied");
    EXPECT_EQ(readFileBytes(path("out.htm")), "keep me");
    EXPECT_EQ(readFileBytes(path("page.htm")), Page);
    expectGaugeHidden(progress);
}

// The source is opened for writing as well, so a read-only one is refused like a read-only destination.
TEST_F(CompactFileTest, ReadOnlySourceIsRefused)
{
    ReadOnlyFile readOnly(path("page.htm"));
    if (!readOnly.active())
        GTEST_SKIP() << ReadOnlyFile::SkipReason;
    ProgressRecorder progress;
    const Failure failure = compactionFailure(path("page.htm"), path("out.htm"), progress);
    EXPECT_EQ(failure.code, 5);
    EXPECT_EQ(failure.text, "File access denied");
    EXPECT_FALSE(pathExists(path("out.htm")));
}

struct SameFileCase
{
    const char* name;
    std::function<std::string(const TempFolder&)> destination; // another name for page.htm
};

class SameFileTest : public CompactFileTest, public ::testing::WithParamInterface<SameFileCase>
{
};

// Creating the destination would empty the source before a single character was read.
TEST_P(SameFileTest, RefusedBeforeTheSourceIsTouched)
{
    const std::string destination = GetParam().destination(m_dir);
    const auto before = modificationTime(path("page.htm"));
    ProgressRecorder progress;
    const Failure failure = compactionFailure(path("page.htm"), destination, progress);
    EXPECT_EQ(failure.code, 5);
    EXPECT_EQ(failure.text, SameFileText);
    EXPECT_EQ(readFileBytes(path("page.htm")), Page);
    EXPECT_EQ(modificationTime(path("page.htm")), before);
    expectGaugeHidden(progress);
}

const SameFileCase SameFileCases[] = {
    {"SamePath", [](const TempFolder& dir) { return dir / "page.htm"; }},
    {"DotDotSpelling", [](const TempFolder& dir) { return dir / "folder/../page.htm"; }},
#ifdef _WIN32
    // Wine makes symbolic links it cannot follow; Windows allows them only to administrators by default.
    {"BackslashSpelling",
     [](const TempFolder& dir) { return std::filesystem::path(dir / "page.htm").make_preferred().string(); }},
    {"OtherCase", [](const TempFolder& dir) { return dir / "PAGE.HTM"; }},
#else
    {"SymbolicLink",
     [](const TempFolder& dir) {
         EXPECT_EQ(::symlink((dir / "page.htm").c_str(), (dir / "link.htm").c_str()), 0);
         return dir / "link.htm";
     }},
#endif
    {"HardLink",
     [](const TempFolder& dir) {
         std::error_code error;
         std::filesystem::create_hard_link(dir / "page.htm", dir / "hard.htm", error);
         EXPECT_FALSE(error) << error.message();
         return dir / "hard.htm";
     }},
};

INSTANTIATE_TEST_SUITE_P(SameFile, SameFileTest, ::testing::ValuesIn(SameFileCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CompactFileTest, DeviceThatIsAlwaysFull)
{
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no device that is always full (FullDiskKeepsTheFirstBytesOfTheOutput fills a disk)";
#else
    if (::access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "/dev/full is not available";
#endif
    ProgressRecorder progress;
    const Failure failure = compactionFailure(path("page.htm"), "/dev/full", progress);
    EXPECT_EQ(failure.code, 101);
    EXPECT_EQ(failure.text, "Disk full");
    EXPECT_EQ(readFileBytes(path("page.htm")), Page);
    expectGaugeHidden(progress);
}

TEST_F(CompactFileTest, FullDiskKeepsTheFirstBytesOfTheOutput)
{
    std::string big;
    for (int i = 0; i < 400; ++i)
        big += Page;
    writeFileBytes(path("big.htm"), big);
    const std::string expected = naiveCompact(big, AllFour).output;

    SmallDisk disk(path("small"));
    if (!disk.mounted())
        GTEST_SKIP() << disk.skipReason();
    ProgressRecorder progress;
    const Failure failure = compactionFailure(path("big.htm"), disk.folder() + "/out.htm", progress);
    EXPECT_EQ(failure.code, 101);
    EXPECT_EQ(failure.text, "Disk full");
    const std::string partial = readFileBytes(disk.folder() + "/out.htm");
    ASSERT_GT(partial.size(), 0u);
    ASSERT_LT(partial.size(), expected.size());
    EXPECT_EQ(partial, expected.substr(0, partial.size()));
    EXPECT_EQ(readFileBytes(path("big.htm")), big);
    expectGaugeHidden(progress);
}

// Pseudo-files report a size of 0 (/proc) or a page (/sys) whatever they hold; the copy has what they really read.
// Only those that may be opened for writing as well qualify as a source.
TEST_F(CompactFileTest, PseudoFilesAreCopiedWhole)
{
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no pseudo-files";
#endif
    int tried = 0;
    for (const std::string source : {"/proc/self/comm", "/sys/class/net/lo/mtu"}) {
        SCOPED_TRACE(source);
        if (!CanOpenFile(source))
            continue; // not on this machine, or not writable for this user
        ++tried;
        const std::string expected = readFileBytes(source);
        ASSERT_FALSE(expected.empty());
        NullProgress progress;
        const CompactionResult result = CompactFile(source, path("out.htm"), CompactionOptions {false}, progress);
        EXPECT_EQ(result.sourceSize, static_cast<std::int64_t>(expected.size()));
        EXPECT_EQ(result.written, static_cast<std::int64_t>(expected.size()));
        EXPECT_EQ(readFileBytes(path("out.htm")), expected);
    }
    if (tried == 0)
        GTEST_SKIP() << "no pseudo-file here may be opened for reading and writing";
}

// A pipe opened for writing as well never ends, a device may not end either: neither is read, and no
// destination is created for it.
TEST_F(CompactFileTest, SourceThatIsNoRegularFileIsRefused)
{
#ifdef _WIN32
    const std::vector<std::string> sources {"NUL", "\\\\.\\NUL"};
#else
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
    const std::vector<std::string> sources {path("fifo"), "/dev/zero", "/dev/null"};
#endif
    for (const std::string& source : sources) {
        SCOPED_TRACE(source);
        if (!CanOpenFile(source))
            continue;
        ProgressRecorder progress;
        const Failure failure = compactionFailure(source, path("out.htm"), progress);
        EXPECT_EQ(failure.code, 132);
        EXPECT_EQ(failure.text, "I/O error 132");
        EXPECT_FALSE(pathExists(path("out.htm")));
        expectGaugeHidden(progress);
    }
}

// ---------------------------------------------------------------------------------------------------------------
// CanOpenFile.

struct CanOpenCase
{
    const char* name;
    const char* file; // inside the temporary folder, which holds page.htm and folder/
};

class CannotOpenTest : public CompactFileTest, public ::testing::WithParamInterface<CanOpenCase>
{
};

TEST_P(CannotOpenTest, AnswersFalse)
{
    EXPECT_FALSE(CanOpenFile(path(GetParam().file)));
}

const CanOpenCase CannotOpenCases[] = {
    {"Missing", "missing.htm"},
    {"Folder", "folder"},
    {"ThroughMissingFolder", "nofolder/page.htm"},
    {"ThroughAFile", "page.htm/x"},
    {"EmptyName", ""},
};

INSTANTIATE_TEST_SUITE_P(CanOpenFile, CannotOpenTest, ::testing::ValuesIn(CannotOpenCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CompactFileTest, CanOpenFileRefusesReadOnlyFile)
{
    ReadOnlyFile readOnly(path("page.htm"));
    if (!readOnly.active())
        GTEST_SKIP() << ReadOnlyFile::SkipReason;
    EXPECT_FALSE(CanOpenFile(path("page.htm")));
}

#ifdef _WIN32
// Windows lets a program hold a file without sharing it: neither end of a run may be such a file, and the
// destination keeps what it held.
TEST_F(CompactFileTest, FileHeldWithoutSharingIsRefused)
{
    writeFileBytes(path("out.htm"), "keep me");
    for (const char* held : {"page.htm", "out.htm"}) {
        SCOPED_TRACE(held);
        HeldFile holder(path(held), 0);
        ASSERT_TRUE(holder.held());
        EXPECT_FALSE(CanOpenFile(path(held)));
        ProgressRecorder progress;
        const Failure failure = compactionFailure(path("page.htm"), path("out.htm"), progress);
        EXPECT_EQ(failure.code, 32);
        EXPECT_EQ(failure.text, "I/O error 32");
        expectGaugeHidden(progress);
    }
    EXPECT_EQ(readFileBytes(path("out.htm")), "keep me");
    EXPECT_EQ(readFileBytes(path("page.htm")), Page);
}
#endif

TEST_F(CompactFileTest, CanOpenFileLeavesOrdinaryFileAsItWas)
{
    const auto before = modificationTime(path("page.htm"));
    EXPECT_TRUE(CanOpenFile(path("page.htm")));
    EXPECT_EQ(readFileBytes(path("page.htm")), Page);
    EXPECT_EQ(modificationTime(path("page.htm")), before);

    writeFileBytes(path("empty.htm"), "");
    EXPECT_TRUE(CanOpenFile(path("empty.htm")));
    EXPECT_EQ(readFileBytes(path("empty.htm")), "");
}

} // namespace
