// The I/O codes each system gives for the same failures, produced on real files and printed as measured.
#include <tests/support/read_only_file.h>
#include <tests/support/small_disk.h>
#include <tests/support/temp_folder.h>

#include <platform/byte_file.h>
#include <platform/io_error.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

constexpr int NotOnThisSystem = -1;

// What producing a failure gave: the code of the operation, or why the failure could not be produced here.
struct Measured
{
    int code = 0;
    std::string skipped {};
};

int openFile(const std::string& path, FileAccess access)
{
    std::unique_ptr<SystemFile> file;
    return platform::openExisting(path, access, file);
}

Measured readOnlyFileForWriting(const TempFolder& dir)
{
    const std::string path = dir / "readonly.htm";
    writeFileBytes(path, "x");
    ReadOnlyFile readOnly(path);
    if (!readOnly.active())
        return {0, ReadOnlyFile::SkipReason};
    return {openFile(path, FileAccess::ReadWrite), {}};
}

// Writes into a new file on a disk with little room until the disk refuses.
Measured fullDisk(const TempFolder& dir)
{
    SmallDisk disk(dir / "small");
    if (!disk.mounted())
        return {0, disk.skipReason()};
    std::unique_ptr<SystemFile> file;
    if (const int code = platform::createAlways(disk.folder() + "/filler", file))
        return {code, {}};
    const std::vector<unsigned char> block(1 << 20, 'x');
    std::size_t stored = 0;
    int code = 0;
    for (int i = 0; i < 64 && code == 0; ++i)
        code = file->write(block.data(), block.size(), stored);
    file->close();
    return {code, code == 0 ? "64 MiB fitted on the small disk" : ""};
}

#ifdef _WIN32

// Another handle holds the file and shares nothing.
Measured fileInUse(const TempFolder& dir)
{
    const std::string path = dir / "held.htm";
    writeFileBytes(path, "x");
    const HANDLE held = ::CreateFileW(std::filesystem::path(path).wstring().c_str(), GENERIC_READ, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (held == INVALID_HANDLE_VALUE)
        return {0, "cannot hold the file"};
    const int code = openFile(path, FileAccess::ReadOnly);
    ::CloseHandle(held);
    return {code, {}};
}

Measured missingDrive(const TempFolder&)
{
    const DWORD present = ::GetLogicalDrives();
    for (int letter = 'Z'; letter >= 'D'; --letter) {
        if (!(present & (1u << (letter - 'A'))))
            return {openFile(std::string(1, static_cast<char>(letter)) + ":\\web\\page.htm", FileAccess::ReadOnly), {}};
    }
    return {0, "every drive letter is taken"};
}

#else

// Linux locks no file against other programs, except a program file while it runs: this very test.
Measured fileInUse(const TempFolder&)
{
    return {openFile("/proc/self/exe", FileAccess::ReadWrite), {}};
}

Measured missingDrive(const TempFolder&)
{
    return {0, {}};
}

#endif

struct FailureCase
{
    const char* name;
    const char* failure;
    std::function<Measured(const TempFolder&)> produce;
    int linuxCode;
    int windowsCode;
};

const FailureCase FailureCases[] = {
    {"MissingFile", "missing file",
     [](const TempFolder& d) { return Measured {openFile(d / "missing.htm", FileAccess::ReadOnly)}; }, 2, 2},
    {"MissingFolder", "missing folder",
     [](const TempFolder& d) { return Measured {openFile(d / "nofolder/page.htm", FileAccess::ReadOnly)}; }, 3, 3},
    {"MissingDrive", "missing drive", missingDrive, NotOnThisSystem, 3},
    {"AccessDenied", "read-only file opened for writing", readOnlyFileForWriting, 5, 5},
    {"FolderAsFile", "folder opened as a file",
     [](const TempFolder& d) {
         std::filesystem::create_directory(d / "folder");
         return Measured {openFile(d / "folder", FileAccess::ReadWrite)};
     },
     5, 5},
    {"FileInUse", "file in use", fileInUse, 32, 32},
    {"FullDisk", "full disk", fullDisk, 101, 101},
    // Linux names are bytes; Windows names are UTF-16, which a byte that is not UTF-8 cannot become.
    {"NameNotUtf8", "name that is not UTF-8",
     [](const TempFolder& d) { return Measured {platform::createNewTestFile(d / "\xff.htm")}; }, 0, 123},
};

class IoCodeTest : public ::testing::TestWithParam<FailureCase>
{
};

// Each row prints what it measured, so that a run shows the codes of the system it ran on.
TEST_P(IoCodeTest, SameFailureOnEachSystem)
{
#ifdef _WIN32
    const int expected = GetParam().windowsCode;
#else
    const int expected = GetParam().linuxCode;
#endif
    if (expected == NotOnThisSystem)
        GTEST_SKIP() << "no such failure on this system";
    TempFolder dir;
    const Measured measured = GetParam().produce(dir);
    if (!measured.skipped.empty())
        GTEST_SKIP() << measured.skipped;
    std::cout << "[ measured ] " << GetParam().failure << ": " << measured.code << " ("
              << (measured.code == 0 ? "no failure" : ioErrorText(measured.code)) << ")" << std::endl;
    EXPECT_EQ(measured.code, expected);
}

INSTANTIATE_TEST_SUITE_P(IoCodes, IoCodeTest, ::testing::ValuesIn(FailureCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
