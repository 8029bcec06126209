// The stylesheets of a page on disk.
#include <engine/safe_compaction.h>

#include <platform/byte_file.h>
#include <platform/directory.h>
#include <platform/file_facts.h>
#include <platform/io_error.h>

FolderStylesheets::FolderStylesheets(std::string pagePath, std::string siteRoot, StylesheetMemo* memo)
    : m_pageFolder(platform::folderOf(pagePath))
    , m_siteRoot(siteRoot.empty() ? m_pageFolder : std::move(siteRoot))
    , m_memo(memo)
{
}

bool FolderStylesheets::locate(std::string_view href, const std::string* importedFrom, std::string& name)
{
    std::string note;
    return stylesheetPath(href, m_pageFolder, m_siteRoot, importedFrom, name, note);
}

std::unique_ptr<ByteFile> FolderStylesheets::open(std::string_view href, const std::string* importedFrom,
                                                  std::string& name, std::string& note)
{
    if (!stylesheetPath(href, m_pageFolder, m_siteRoot, importedFrom, name, note))
        return nullptr;
    // Only a file is read: a FIFO would wait for a writer for ever, and a folder holds no stylesheet.
    NameContents contents = NameContents::Nothing;
    int code = platform::contentsOfName(name, contents);
    if (code == IoCode::Ok && contents != NameContents::RegularFile && contents != NameContents::Link) {
        note = contents == NameContents::Nothing ? "not found" : "no file";
        return nullptr;
    }
    std::unique_ptr<SystemFile> file;
    if (code == IoCode::Ok)
        code = platform::openExisting(name, FileAccess::ReadOnly, file);
    platform::FileFacts facts;
    if (code == IoCode::Ok && (platform::factsOf(*file, facts) != IoCode::Ok || !facts.regular))
        code = IoCode::AccessDenied;
    if (code != IoCode::Ok) {
        note = code == IoCode::FileNotFound || code == IoCode::PathNotFound ? "not found" : ioErrorText(code);
        return nullptr;
    }
    return file;
}
