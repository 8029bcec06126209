// The Win32 file layer on real files: sharing, identity, names, temporary and staged files, pipes.
#include <tests/support/held_file.h>
#include <tests/support/staged_end.h>
#include <tests/support/temp_folder.h>

#include <platform/byte_file.h>
#include <platform/directory.h>
#include <platform/file_facts.h>
#include <platform/io_error.h>
#include <platform/temporary_files.h>
#include <platform/win32_system.h>

#include <gtest/gtest.h>

#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cstring>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

std::wstring wide(const std::string& utf8)
{
    std::wstring text(utf8.size(), L'\0');
    text.resize(static_cast<std::size_t>(::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                                               text.data(), static_cast<int>(text.size()))));
    return text;
}

std::unique_ptr<SystemFile> fileOfHandle(HANDLE handle)
{
    return std::make_unique<SystemFile>(handle);
}

// Points %TMP% and %TEMP%, where GetTempPathW looks first, at a folder for a scope.
class TemporaryFolderSetting
{
public:
    explicit TemporaryFolderSetting(const std::string& folder)
    {
        for (const wchar_t* name : {L"TMP", L"TEMP"}) {
            wchar_t value[MAX_PATH + 1];
            const DWORD length = ::GetEnvironmentVariableW(name, value, MAX_PATH + 1);
            m_saved.push_back(length > 0 && length <= MAX_PATH ? std::wstring(value, length) : std::wstring());
            ::SetEnvironmentVariableW(name, wide(folder).c_str());
        }
    }
    ~TemporaryFolderSetting()
    {
        ::SetEnvironmentVariableW(L"TMP", m_saved[0].empty() ? nullptr : m_saved[0].c_str());
        ::SetEnvironmentVariableW(L"TEMP", m_saved[1].empty() ? nullptr : m_saved[1].c_str());
    }
    TemporaryFolderSetting(const TemporaryFolderSetting&) = delete;
    TemporaryFolderSetting& operator=(const TemporaryFolderSetting&) = delete;

private:
    std::vector<std::wstring> m_saved;
};

class WindowsPlatformTest : public ::testing::Test
{
protected:
    std::string path(const std::string& name) const { return m_dir / name; }
    std::string nativePath(const std::string& name) const
    {
        std::string native = path(name);
        std::replace(native.begin(), native.end(), '/', '\\');
        return native;
    }
    // Each row starts from an empty folder; a read-only file left by a row is removed too.
    void emptyFolder() const
    {
        for (const std::string& name : namesIn(m_dir.path())) {
            ::SetFileAttributesW(wide(path(name)).c_str(), FILE_ATTRIBUTE_NORMAL);
            std::filesystem::remove(path(name));
        }
    }

    TempFolder m_dir;
};

// The system's codes pass as they are, except those that mean what Linux's ENOSPC, EDQUOT and EEXIST mean.
TEST(SystemCodes, MappedOnlyWhereLinuxMapsTheSameFailure)
{
    const struct
    {
        const char* name;
        DWORD error;
        int code;
    } rows[] = {
        {"file not found", ERROR_FILE_NOT_FOUND, 2},
        {"path not found", ERROR_PATH_NOT_FOUND, 3},
        {"access denied", ERROR_ACCESS_DENIED, 5},
        {"sharing violation", ERROR_SHARING_VIOLATION, 32},
        {"device I/O error", ERROR_IO_DEVICE, 1117},
        {"file exists", ERROR_FILE_EXISTS, 80},
        {"already exists", ERROR_ALREADY_EXISTS, 80},
        {"disk full", ERROR_DISK_FULL, 101},
        {"handle disk full", ERROR_HANDLE_DISK_FULL, 101},
        {"quota exceeded", 1295, 101}, // ERROR_DISK_QUOTA_EXCEEDED
        {"failure without a code", ERROR_SUCCESS, 31},
    };
    for (const auto& row : rows)
        EXPECT_EQ(win32::ioCodeFromSystem(row.error), row.code) << row.name;
}

// Only a symbolic link and a junction are links; a reparse point of any other tag (a deduplicated file, a cloud
// placeholder, an app alias) is the file or the folder its other attributes say.
TEST(ReparsePoints, OnlyLinksAndJunctionsAreLinks)
{
    constexpr DWORD Reparse = FILE_ATTRIBUTE_REPARSE_POINT;
    constexpr DWORD Folder = FILE_ATTRIBUTE_DIRECTORY;
    constexpr DWORD Dedup = 0x80000013; // IO_REPARSE_TAG_DEDUP
    constexpr DWORD CloudFile = 0x9000601A; // IO_REPARSE_TAG_CLOUD_6, a OneDrive placeholder
    constexpr DWORD CloudFolder = 0x9000001A; // IO_REPARSE_TAG_CLOUD
    constexpr DWORD AppAlias = 0x8000001B; // IO_REPARSE_TAG_APPEXECLINK
    const struct
    {
        const char* name;
        DWORD attributes;
        DWORD tag;
        EntryKind kind;
        NameContents contents;
    } rows[] = {
        {"plain file", FILE_ATTRIBUTE_ARCHIVE, 0, EntryKind::File, NameContents::RegularFile},
        {"plain folder", Folder, 0, EntryKind::Folder, NameContents::Folder},
        {"symbolic link to a file", Reparse, IO_REPARSE_TAG_SYMLINK, EntryKind::Link, NameContents::Link},
        {"symbolic link to a folder", Reparse | Folder, IO_REPARSE_TAG_SYMLINK, EntryKind::Link, NameContents::Link},
        {"junction", Reparse | Folder, IO_REPARSE_TAG_MOUNT_POINT, EntryKind::Link, NameContents::Link},
        {"deduplicated file", Reparse | FILE_ATTRIBUTE_ARCHIVE, Dedup, EntryKind::File, NameContents::RegularFile},
        {"cloud placeholder file", Reparse | FILE_ATTRIBUTE_OFFLINE, CloudFile, EntryKind::File,
         NameContents::RegularFile},
        {"cloud placeholder folder", Reparse | Folder, CloudFolder, EntryKind::Folder, NameContents::Folder},
        {"app alias", Reparse, AppAlias, EntryKind::File, NameContents::RegularFile},
        {"device", FILE_ATTRIBUTE_DEVICE, 0, EntryKind::Other, NameContents::Stream},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(win32::entryKindOfAttributes(row.attributes, row.tag), row.kind);
        EXPECT_EQ(win32::contentsOfAttributes(row.attributes, row.tag), row.contents);
    }
}

// A file given a reparse point of another tag is still listed and looked at as a file; only where the system
// lets a program set such a tag (Windows, with the rights; not every Wine) can this be seen on a real file.
TEST_F(WindowsPlatformTest, AReparsePointOfAnotherTagIsAFile)
{
    const std::string file = path("dedup.htm");
    HANDLE created = ::CreateFileW(wide(file).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    ASSERT_NE(created, INVALID_HANDLE_VALUE);
    // A Microsoft tag needs no GUID: the tag, the length of the data, a reserved word, then the data.
    const unsigned char data[] = {'d', 'a', 't', 'a'};
    unsigned char buffer[8 + sizeof data] = {};
    const DWORD tag = 0x80000013; // IO_REPARSE_TAG_DEDUP
    std::memcpy(buffer, &tag, 4);
    const WORD length = sizeof data;
    std::memcpy(buffer + 4, &length, 2);
    std::memcpy(buffer + 8, data, sizeof data);
    DWORD returned = 0;
    const BOOL set = ::DeviceIoControl(created, FSCTL_SET_REPARSE_POINT, buffer, sizeof buffer, nullptr, 0,
                                       &returned, nullptr);
    const DWORD error = ::GetLastError();
    ::CloseHandle(created);
    if (!set)
        GTEST_SKIP() << "a reparse point of tag 0x80000013 cannot be set here (error " << error
                     << "); the classification is checked by ReparsePoints.OnlyLinksAndJunctionsAreLinks";
    DWORD attributes = 0;
    DWORD readTag = 0;
    ASSERT_EQ(win32::attributesOfName(file, attributes, readTag), IoCode::Ok);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    EXPECT_EQ(readTag, tag);
    std::vector<FolderEntry> entries;
    ASSERT_EQ(platform::listFolder(m_dir.path(), entries), IoCode::Ok);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].kind, EntryKind::File);
    EntryKind kind = EntryKind::Other;
    ASSERT_EQ(platform::entryKindOf(file, kind), IoCode::Ok);
    EXPECT_EQ(kind, EntryKind::File);
    NameContents contents = NameContents::Nothing;
    ASSERT_EQ(platform::contentsOfName(file, contents), IoCode::Ok);
    EXPECT_EQ(contents, NameContents::RegularFile);
}

// Source and destination are opened sharing reading and writing: another program may read and write them during
// a run but not delete them, and a file another program holds without sharing is refused with 32.
TEST_F(WindowsPlatformTest, SharingOfAnOpenFile)
{
    const struct
    {
        const char* name;
        DWORD otherAccess;
        DWORD otherShare;
        FileAccess access;
        int code;
    } heldByAnother[] = {
        {"held for reading, sharing everything", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
         FileAccess::ReadWrite, 0},
        {"held for writing, sharing reading and writing", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
         FileAccess::ReadWrite, 0},
        {"held sharing nothing", GENERIC_READ, 0, FileAccess::ReadOnly, 32},
        {"held sharing reading only, opened for writing", GENERIC_READ, FILE_SHARE_READ, FileAccess::ReadWrite, 32},
        {"held sharing reading only, opened for reading", GENERIC_READ, FILE_SHARE_READ, FileAccess::ReadOnly, 0},
        {"held for writing, sharing reading only", GENERIC_WRITE, FILE_SHARE_READ, FileAccess::ReadOnly, 0},
    };
    writeFileBytes(path("page.htm"), "<p>x</p>");
    for (const auto& row : heldByAnother) {
        SCOPED_TRACE(row.name);
        HeldFile other(wide(path("page.htm")), row.otherShare, row.otherAccess);
        ASSERT_TRUE(other.held());
        std::unique_ptr<SystemFile> file;
        EXPECT_EQ(platform::openExisting(path("page.htm"), row.access, file), row.code);
    }

    // What others may do while the program holds the file.
    std::unique_ptr<SystemFile> file;
    ASSERT_EQ(platform::openExisting(path("page.htm"), FileAccess::ReadWrite, file), 0);
    EXPECT_TRUE(
        HeldFile(wide(path("page.htm")), FILE_SHARE_READ | FILE_SHARE_WRITE, GENERIC_READ | GENERIC_WRITE).held());
    EXPECT_FALSE(HeldFile(wide(path("page.htm")), FILE_SHARE_READ).held()) << "it would deny us writing";
    EXPECT_FALSE(::DeleteFileW(wide(path("page.htm")).c_str())) << "deleting a file in use";
    EXPECT_EQ(file->close(), 0);
}

TEST_F(WindowsPlatformTest, IdentityIsVolumeAndFileIndex)
{
    writeFileBytes(path("a.htm"), "x");
    writeFileBytes(path("b.htm"), "x");
    std::filesystem::create_directory(path("sub"));
    FileIdentity a;
    ASSERT_EQ(platform::identityOf(path("a.htm"), a), 0);
    ASSERT_TRUE(::CreateHardLinkW(wide(path("hard.htm")).c_str(), wide(path("a.htm")).c_str(), nullptr));
    const struct
    {
        const char* name;
        std::string path;
        bool same;
    } rows[] = {
        {"same spelling", path("a.htm"), true},
        {"backslashes", nativePath("a.htm"), true},
        {"through a folder and back", path("sub/../a.htm"), true},
        {"other case", path("A.HTM"), true},
        {"another file", path("b.htm"), false},
        {"a folder", path("sub"), false},
        {"a hard link", path("hard.htm"), true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FileIdentity other;
        ASSERT_EQ(platform::identityOf(row.path, other), 0);
        EXPECT_EQ(other == a, row.same);
    }
    std::unique_ptr<SystemFile> open;
    ASSERT_EQ(platform::openExisting(path("a.htm"), FileAccess::ReadOnly, open), 0);
    FileIdentity byHandle;
    ASSERT_EQ(platform::identityOf(*open, byHandle), 0);
    EXPECT_EQ(byHandle, a);
    EXPECT_EQ(open->close(), 0);
    EXPECT_NE(a.inode, 0u) << "the file index is part of the identity";
    EXPECT_EQ(platform::identityOf(path("missing.htm"), byHandle), 2);
    // A file held without sharing still tells who it is, so the same-file check cannot be dodged that way.
    HeldFile held(wide(path("a.htm")), 0);
    ASSERT_TRUE(held.held());
    EXPECT_EQ(platform::identityOf(path("a.htm"), byHandle), 0);
    EXPECT_EQ(byHandle, a);
}

TEST_F(WindowsPlatformTest, NamesAreUtf8)
{
    const std::string name = "p\xc3\xa4gina \xe2\x82\xac \xe6\x97\xa5\xe6\x9c\xac.htm"; // "pägina € 日本.htm"
    EXPECT_EQ(platform::createNewTestFile(path(name)), 0);
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(wide(path(name)))));
    EXPECT_EQ(namesIn(m_dir.path()), std::vector<std::string> {std::filesystem::path(wide(name)).string()});
    EXPECT_EQ(platform::createNewTestFile(path(name)), 80);
    EXPECT_EQ(platform::deleteFile(path(name)), 0);
    const struct
    {
        const char* name;
        std::string path;
        int code;
    } refused[] = {
        {"a byte that is not UTF-8", path("\xff.htm"), 123},
        {"a cut sequence", path("p\xc3.htm"), 123},
        {"an encoded surrogate", path("\xed\xa0\x80.htm"), 123},
        {"a character Windows forbids", path("a?.htm"), 123},
    };
    for (const auto& row : refused) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(platform::createNewTestFile(row.path), row.code);
    }
}

// Windows needs the "\\?\" form for a path of MAX_PATH characters or more; the layer adds it.
TEST_F(WindowsPlatformTest, PathsLongerThanMaxPath)
{
    std::string folder = m_dir.path();
    for (int level = 0; folder.size() < 400; ++level) {
        folder += "/" + std::string(60, static_cast<char>('a' + level));
        ASSERT_EQ(platform::createFolder(folder), 0) << folder.size() << " characters";
    }
    const std::string file = folder + "/page.htm";
    std::unique_ptr<SystemFile> created;
    ASSERT_EQ(platform::createNew(file, created), 0);
    std::size_t stored = 0;
    EXPECT_EQ(created->write(reinterpret_cast<const unsigned char*>("abc"), 3, stored), 0);
    EXPECT_EQ(created->close(), 0);
    std::unique_ptr<SystemFile> opened;
    ASSERT_EQ(platform::openExisting(file, FileAccess::ReadOnly, opened), 0);
    std::int64_t size = 0;
    EXPECT_EQ(opened->size(size), 0);
    EXPECT_EQ(size, 3);
    EXPECT_EQ(opened->close(), 0);
    FileIdentity identity;
    EXPECT_EQ(platform::identityOf(file, identity), 0);
    EXPECT_EQ(platform::deleteFile(file), 0);
}

// The copy of a pipe lies in %TEMP% under a name of its own while it is open, and is gone once closed.
TEST_F(WindowsPlatformTest, SpoolGoesToTheTemporaryFolderAndVanishes)
{
    std::filesystem::create_directory(path("temp"));
    const struct
    {
        const char* name;
        std::string folder;
        int code;
    } rows[] = {
        {"%TEMP% exists", path("temp"), 0},
        {"%TEMP% is missing", path("missing"), 3},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TemporaryFolderSetting setting(row.folder);
        HANDLE readEnd, writeEnd;
        ASSERT_TRUE(::CreatePipe(&readEnd, &writeEnd, nullptr, 0));
        DWORD written = 0;
        ASSERT_TRUE(::WriteFile(writeEnd, "<p>piped</p>\r\n", 14, &written, nullptr));
        ::CloseHandle(writeEnd);
        std::unique_ptr<SystemFile> pipe = fileOfHandle(readEnd);
        std::unique_ptr<SystemFile> spooled;
        bool inTemporary = false;
        EXPECT_EQ(platform::spoolToTemporaryFile(*pipe, spooled, inTemporary), row.code);
        EXPECT_TRUE(inTemporary);
        if (row.code != 0)
            continue;
        EXPECT_EQ(platform::temporaryFolder(), std::filesystem::path(row.folder).make_preferred().string());
        const std::vector<std::string> names = namesIn(row.folder);
        ASSERT_EQ(names.size(), 1u);
        EXPECT_EQ(names[0].rfind("snellitore-", 0), 0u) << names[0];
        std::int64_t size = 0;
        EXPECT_EQ(spooled->size(size), 0);
        EXPECT_EQ(size, 14);
        unsigned char buffer[32];
        std::size_t got = 0;
        EXPECT_EQ(spooled->read(buffer, sizeof buffer, got), 0);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), got), "<p>piped</p>\r\n") << "no CR added or lost";
        EXPECT_EQ(spooled->close(), 0);
        EXPECT_EQ(namesIn(row.folder), std::vector<std::string> {});
    }
}

// A pipe has no size and no position; its end reads as an end, not as an error.
TEST_F(WindowsPlatformTest, PipeEndsAndHasNoSize)
{
    HANDLE readEnd, writeEnd;
    ASSERT_TRUE(::CreatePipe(&readEnd, &writeEnd, nullptr, 0));
    std::unique_ptr<SystemFile> reader = fileOfHandle(readEnd);
    std::unique_ptr<SystemFile> writer = fileOfHandle(writeEnd);
    std::size_t stored = 0;
    EXPECT_EQ(writer->write(reinterpret_cast<const unsigned char*>("ab"), 2, stored), 0);
    std::int64_t size = 0;
    EXPECT_EQ(reader->size(size), 132);
    EXPECT_EQ(reader->seek(0), 132);
    platform::FileFacts facts;
    EXPECT_EQ(platform::factsOf(*reader, facts), 0);
    EXPECT_FALSE(facts.regular);
    EXPECT_FALSE(facts.reliableSize);
    EXPECT_EQ(writer->close(), 0);
    unsigned char buffer[8];
    std::size_t got = 0;
    EXPECT_EQ(reader->read(buffer, sizeof buffer, got), 0);
    EXPECT_EQ(got, 2u);
    EXPECT_EQ(reader->read(buffer, sizeof buffer, got), 0);
    EXPECT_EQ(got, 0u) << "the writer has gone: the end";
}

TEST_F(WindowsPlatformTest, ReliableSizeOnlyForFilesWithContents)
{
    writeFileBytes(path("page.htm"), "<p>x</p>");
    writeFileBytes(path("empty.htm"), "");
    const struct
    {
        const char* name;
        std::string path;
        bool regular;
        bool reliable;
        std::int64_t size;
    } rows[] = {
        {"file with contents", path("page.htm"), true, true, 8},
        {"empty file", path("empty.htm"), true, false, 0},
        {"the NUL device", "NUL", false, false, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::unique_ptr<SystemFile> file;
        ASSERT_EQ(platform::openExisting(row.path, FileAccess::ReadOnly, file), 0);
        platform::FileFacts facts;
        ASSERT_EQ(platform::factsOf(*file, facts), 0);
        EXPECT_EQ(facts.regular, row.regular);
        EXPECT_EQ(facts.reliableSize, row.reliable);
        EXPECT_EQ(facts.size, row.size);
        FileIdentity identity;
        if (row.regular && platform::identityOf(row.path, identity) == 0) {
            EXPECT_EQ(facts.identity, identity);
        }
    }
}

// Replacing goes through one MoveFileExW; without replacing, a taken name is refused with 80.
TEST_F(WindowsPlatformTest, StagedFileOnWindows)
{
    const struct
    {
        const char* name;
        const char* before; // what out.htm holds first; nullptr: nothing
        DWORD attributes;   // of out.htm before
        bool replace;
        int code;
        const char* after;
        DWORD attributesAfter;
    } rows[] = {
        {"new name", nullptr, 0, false, 0, "new", FILE_ATTRIBUTE_ARCHIVE},
        {"taken name kept", "old", FILE_ATTRIBUTE_NORMAL, false, 80, "old", 0},
        {"taken name replaced", "old", FILE_ATTRIBUTE_NORMAL, true, 0, "new", 0},
        {"hidden file replaced, stays hidden", "old", FILE_ATTRIBUTE_HIDDEN, true, 0, "new", FILE_ATTRIBUTE_HIDDEN},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        emptyFolder();
        if (row.before) {
            writeFileBytes(path("out.htm"), row.before);
            ::SetFileAttributesW(wide(path("out.htm")).c_str(), row.attributes);
        }
        std::unique_ptr<StagedFile> staged;
        ASSERT_EQ(platform::createStaged(nativePath("out.htm"), staged), 0);
        EXPECT_EQ(staged->temporaryPath().rfind(nativePath(".snellitore-"), 0), 0u) << staged->temporaryPath();
        if (row.before) {
            EXPECT_EQ(staged->adoptOwnerAndMode(path("out.htm")), 0);
        }
        std::size_t stored = 0;
        EXPECT_EQ(staged->write(reinterpret_cast<const unsigned char*>("new"), 3, stored), 0);
        EXPECT_EQ(staged->close(), 0);
        EXPECT_EQ(staged->commit(row.replace), row.code);
        staged.reset();
        EXPECT_EQ(readFileBytes(path("out.htm")), row.after);
        if (row.attributesAfter) {
            EXPECT_TRUE(::GetFileAttributesW(wide(path("out.htm")).c_str()) & row.attributesAfter);
        }
        EXPECT_EQ(namesIn(m_dir.path()), std::vector<std::string> {"out.htm"}) << "a temporary file was left";
    }
}

// A staged file made for a read-only source is read-only from its creation on and still written through its
// handle; a --force replacement takes the replaced file's attributes instead, and one discarded leaves nothing.
TEST_F(WindowsPlatformTest, StagedFileForAReadOnlySource)
{
    const struct
    {
        const char* name;
        bool replacing;  // out.htm holds a hidden file, whose attributes the staged file adopts
        StagedEnd end;
        bool readOnly;   // what out.htm is afterwards
    } rows[] = {
        {"new name", false, StagedEnd::Commit, true},
        {"hidden file replaced", true, StagedEnd::Commit, false},
        {"discarded", false, StagedEnd::Discard, false},
        {"destroyed before being put in place", false, StagedEnd::Destroy, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        emptyFolder();
        if (row.replacing) {
            writeFileBytes(path("out.htm"), "old");
            ::SetFileAttributesW(wide(path("out.htm")).c_str(), FILE_ATTRIBUTE_HIDDEN);
        }
        std::unique_ptr<StagedFile> staged;
        ASSERT_EQ(platform::createStaged(nativePath("out.htm"), staged, 0444), 0);
        EXPECT_TRUE(::GetFileAttributesW(wide(staged->temporaryPath()).c_str()) & FILE_ATTRIBUTE_READONLY);
        if (row.replacing) {
            EXPECT_EQ(staged->adoptOwnerAndMode(path("out.htm")), 0);
        }
        std::size_t stored = 0;
        EXPECT_EQ(staged->write(reinterpret_cast<const unsigned char*>("new"), 3, stored), 0);
        endStaged(*staged, row.end, row.replacing, 0);
        staged.reset();
        const bool committed = row.end == StagedEnd::Commit;
        EXPECT_EQ(namesIn(m_dir.path()), committed || row.replacing ? std::vector<std::string> {"out.htm"}
                                                                     : std::vector<std::string> {})
            << "a temporary file was left";
        if (committed) {
            EXPECT_EQ(readFileBytes(path("out.htm")), "new");
            const DWORD attributes = ::GetFileAttributesW(wide(path("out.htm")).c_str());
            EXPECT_EQ((attributes & FILE_ATTRIBUTE_READONLY) != 0, row.readOnly);
            EXPECT_EQ((attributes & FILE_ATTRIBUTE_HIDDEN) != 0, row.replacing);
        }
    }
}

// The checks made before a file is replaced: whether it may be written at all.
TEST_F(WindowsPlatformTest, CheckWritable)
{
    writeFileBytes(path("page.htm"), "x");
    writeFileBytes(path("readonly.htm"), "x");
    ::SetFileAttributesW(wide(path("readonly.htm")).c_str(), FILE_ATTRIBUTE_READONLY);
    writeFileBytes(path("held.htm"), "x");
    HeldFile held(wide(path("held.htm")), FILE_SHARE_READ);
    ASSERT_TRUE(held.held());
    const struct
    {
        const char* name;
        std::string path;
        int code;
    } rows[] = {
        {"plain file", path("page.htm"), 0},
        {"read-only attribute", path("readonly.htm"), 5},
        {"held by another program that shares only reading", path("held.htm"), 32},
        {"missing", path("missing.htm"), 2},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(platform::checkWritable(row.path), row.code);
    }
    ::SetFileAttributesW(wide(path("readonly.htm")).c_str(), FILE_ATTRIBUTE_NORMAL);
}

// A test file replaces what the name held without writing through it.
TEST_F(WindowsPlatformTest, ReplaceWithTestFile)
{
    writeFileBytes(path("page.htm"), "contents");
    std::filesystem::create_directory(path("folder"));
    writeFileBytes(path("a.htm"), "shared");
    ASSERT_TRUE(::CreateHardLinkW(wide(path("hard.htm")).c_str(), wide(path("a.htm")).c_str(), nullptr));
    EXPECT_EQ(platform::replaceWithTestFile(path("page.htm")), 0);
    EXPECT_EQ(readFileBytes(path("page.htm")), "");
    EXPECT_EQ(platform::replaceWithTestFile(path("new.htm")), 0);
    EXPECT_EQ(readFileBytes(path("new.htm")), "");
    EXPECT_EQ(platform::replaceWithTestFile(path("folder")), 5);
    EXPECT_TRUE(std::filesystem::is_directory(path("folder")));
    EXPECT_EQ(platform::replaceWithTestFile(path("hard.htm")), 0);
    EXPECT_EQ(readFileBytes(path("hard.htm")), "");
    EXPECT_EQ(readFileBytes(path("a.htm")), "shared") << "the other name keeps its contents";
}

TEST_F(WindowsPlatformTest, DiskFull)
{
    const char* folder = std::getenv("SNELLITORE_SMALL_DISK");
    if (!folder || !*folder)
        GTEST_SKIP() << "SNELLITORE_SMALL_DISK names no small disk (scripts/test-windows.sh sets it when run as root)";
    const std::string file = std::string(folder) + "\\full.htm";
    std::unique_ptr<SystemFile> created;
    ASSERT_EQ(platform::createAlways(file, created), 0);
    const std::vector<unsigned char> block(1 << 20, 'x');
    std::size_t stored = 0;
    EXPECT_EQ(created->write(block.data(), block.size(), stored), 101);
    EXPECT_LT(stored, block.size());
    EXPECT_EQ(created->close(), 0);
    EXPECT_EQ(platform::deleteFile(file), 0);
}

} // namespace
