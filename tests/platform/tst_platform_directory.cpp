// The platform's folders: listings that keep names' bytes and never follow links, containment by identity,
// and links copied as links.
#include <tests/support/temp_folder.h>

#include <platform/directory.h>
#include <platform/io_error.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <functional>
#include <vector>

namespace fs = std::filesystem;

namespace {

TEST(ListFolder, NamesEveryEntryByItsBytesAndKind)
{
    TempFolder folder;
    writeFileBytes(folder / "page.htm", "x");
    writeFileBytes(folder / "caf\xe9 \xff*.htm", "x");
    fs::create_directory(folder / "sub");
    fs::create_symlink("sub", folder / "link-to-folder");
    fs::create_symlink("page.htm", folder / "link-to-file");
    ASSERT_EQ(::mkfifo((folder / "pipe").c_str(), 0600), 0);
    std::vector<FolderEntry> entries { { "stale", EntryKind::File } };
    ASSERT_EQ(platform::listFolder(folder.path(), entries), IoCode::Ok);
    std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    const struct
    {
        std::string name;
        EntryKind kind;
    } rows[] = {
        { "caf\xe9 \xff*.htm", EntryKind::File },
        { "link-to-file", EntryKind::Link },
        { "link-to-folder", EntryKind::Link },
        { "page.htm", EntryKind::File },
        { "pipe", EntryKind::Other },
        { "sub", EntryKind::Folder },
    };
    ASSERT_EQ(entries.size(), std::size(rows));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        SCOPED_TRACE(rows[i].name);
        EXPECT_EQ(entries[i].name, rows[i].name);
        EXPECT_EQ(entries[i].kind, rows[i].kind);
    }
}

TEST(ListFolder, ReportsWhatCannotBeListed)
{
    TempFolder folder;
    writeFileBytes(folder / "file", "x");
    const struct
    {
        const char* name;
        int code;
    } rows[] = { { "missing", IoCode::FileNotFound }, { "missing/deeper", IoCode::PathNotFound },
                 { "file", IoCode::PathNotFound } };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<FolderEntry> entries;
        EXPECT_EQ(platform::listFolder(folder / row.name, entries), row.code);
        EXPECT_TRUE(entries.empty());
    }
}

TEST(FolderIsWithin, DecidesByIdentityWhateverTheSpelling)
{
    TempFolder folder;
    fs::create_directories(folder / "site/a/b");
    fs::create_directories(folder / "other");
    fs::create_directories(folder / "site-2");
    fs::create_directory_symlink("site/a", folder / "link-into-site");
    fs::create_directory_symlink("../site/a/b", folder / "other/link-deeper");
    FileIdentity site;
    ASSERT_EQ(platform::identityOf(folder / "site", site), IoCode::Ok);
    const struct
    {
        std::string path;
        bool within;
    } rows[] = {
        { "site", true },
        { "site/.", true },
        { "site/a/b", true },
        { "site/a/b/../..", true },
        { "link-into-site", true },
        { "other/link-deeper", true },
        { "other", false },
        { "site-2", false },
        { ".", false },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        bool within = !row.within;
        ASSERT_EQ(platform::folderIsWithin(folder / row.path, site, within), IoCode::Ok);
        EXPECT_EQ(within, row.within);
    }
    bool within = true;
    EXPECT_EQ(platform::folderIsWithin("/", site, within), IoCode::Ok);
    EXPECT_FALSE(within);
    EXPECT_EQ(platform::folderIsWithin(folder / "missing", site, within), IoCode::FileNotFound);
}

TEST(CopyLink, MakesTheSameLinkAndReplacesOnlyWhenAsked)
{
    TempFolder folder;
    fs::create_symlink("../target.htm", folder / "link");
    const struct
    {
        const char* name;
        bool replace;
        std::function<void(const std::string& to)> prepare;
        int code;
        bool linkAfter; // the name holds a copy of the link afterwards
    } rows[] = {
        { "free name", false, [](const std::string&) {}, IoCode::Ok, true },
        { "taken by a file", false, [](const std::string& to) { writeFileBytes(to, "keep"); }, IoCode::FileExists,
            false },
        { "taken by a file, replaced", true, [](const std::string& to) { writeFileBytes(to, "old"); }, IoCode::Ok,
            true },
        { "taken by a link, replaced", true,
            [](const std::string& to) { fs::create_symlink("elsewhere", to); }, IoCode::Ok, true },
        { "taken by a folder, replaced", true, [](const std::string& to) { fs::create_directory(to); },
            IoCode::AccessDenied, false },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string to = folder / "copy";
        fs::remove_all(to);
        row.prepare(to);
        EXPECT_EQ(platform::copyLink(folder / "link", to, row.replace), row.code);
        EXPECT_EQ(fs::is_symlink(to) && fs::read_symlink(to) == "../target.htm", row.linkAfter);
        std::vector<FolderEntry> entries;
        ASSERT_EQ(platform::listFolder(folder.path(), entries), IoCode::Ok);
        EXPECT_EQ(entries.size(), 2u) << "a temporary name was left behind";
    }
}

} // namespace
