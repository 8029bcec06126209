// The batch run: toggling marks, joining paths, the overwrite guard and the per-file compaction step.
#include <forms/batch_run.h>

#include <forms/comp.h>
#include <forms/diredit2.h>
#include <forms/form_texts.h>
#include <forms/path_text.h>
#include <forms/stati.h>

#include <engine/compaction.h>
#include <engine/safe_compaction.h>
#include <platform/byte_file.h>
#include <platform/io_error.h>
#include <shell/messages.h>
#include <widgets/directory_list_box.h>
#include <widgets/file_list_box.h>
#include <widgets/folder_paths.h>

#include <QDir>
#include <QLabel>
#include <QLineEdit>

#include <filesystem>
#include <system_error>

namespace {

const QString FileNamePrompt = QStringLiteral("Digitare nome file:");

// Any entry under the name, also one that cannot be opened (write-only, a folder, a dangling link), is
// taken: the compaction creates its destination truncating, so only a free name may reach it.
bool nameTaken(const std::string& path)
{
    std::error_code ignored;
    return CanOpenFile(path) || std::filesystem::exists(std::filesystem::symlink_status(path, ignored));
}

bool namesFolder(const std::string& path)
{
    std::error_code ignored;
    return std::filesystem::is_directory(path, ignored);
}

void setPromptLine(TDiredit& dialog, const QString& text)
{
    dialog.Label1->setText(text);
    // The prompt line is as wide as its text.
    dialog.Label1->resize(dialog.Label1->sizeHint().width(), dialog.Label1->height());
}

} // namespace

void toggleSelectedMarks(FileListBox& list)
{
    QList<FileListBox::MarkChange> changes;
    for (const int row : list.selectedRows())
        changes.push_back({ row, !list.isMarked(row) });
    list.setMarks(changes);
}

bool anyMarked(const FileListBox& list)
{
    bool marked = false;
    const int count = list.count();
    for (int row = 0; row < count; ++row)
        marked = list.isMarked(row) || marked;
    return marked;
}

std::string joinPath(const std::string& folder, const std::string& name)
{
    const char separator = QDir::separator().toLatin1();
    if (!folder.empty() && folder.back() == separator)
        return folder + name;
    return folder + separator + name;
}

std::string joinPath(const DirectoryListBox& folder, const std::string& name)
{
    return joinPath(folder.directoryBytes().toStdString(), name);
}

void prepareRenamePrompt(TDiredit& dialog, const std::string& destinationName)
{
    dialog.Label2->show();
    setPromptLine(dialog, FileNamePrompt);
    dialog.Edit1->setText(textFromPath(destinationName));
}

void prepareFolderPrompt(TDiredit& dialog)
{
    dialog.Edit1->clear();
    dialog.Label2->hide();
    setPromptLine(dialog, QString::fromLatin1(FormText::FolderNamePrompt));
}

const GuardFileOperations& platformGuardFiles()
{
    static const GuardFileOperations files { platform::createNewTestFile, platform::deleteFile };
    return files;
}

bool guardDestination(TDiredit& dialog, const DirectoryListBox& destinationFolder, std::string& name,
    bool& ownTestFileKept, const GuardFileOperations& files)
{
    bool retry = false;
    // Set when the guard's own test file could not be deleted: the name then holds only that empty file,
    // which the compaction may replace, so the name is accepted instead of being shown as taken again.
    ownTestFileKept = false;
    // A Cancel left over from an earlier use of the dialog must not skip this file.
    dialog.setModalResult(TDiredit::Ok);
    std::string path = joinPath(destinationFolder, name);
    while ((!ownTestFileKept && nameTaken(path) && dialog.modalResult() != TDiredit::Cancel) || retry) {
        retry = false;
        prepareRenamePrompt(dialog, name);
        dialog.exec();
        // A name left as shown keeps its exact bytes, also those the field can only show as replacement characters.
        if (dialog.Edit1->text() != textFromPath(name))
            name = pathFromText(dialog.Edit1->text());
        path = joinPath(destinationFolder, name);
        // A folder (an empty name names the destination folder itself) is no file that could be overwritten:
        // like any name that cannot be created, it gets the warning below and the prompt again.
        if (nameTaken(path) && !namesFolder(path))
            continue;
        // Exclusive creation: a file that appeared meanwhile is refused, never emptied.
        if (files.createNew(path) != IoCode::Ok) {
            ShowMessageBox(QString::fromLatin1(FormText::CannotCreateFile), MessageKind::Warning);
            retry = true;
        } else {
            ownTestFileKept = files.remove(path) != IoCode::Ok;
        }
    }
    return dialog.modalResult() != TDiredit::Cancel;
}

BatchRun::BatchRun(TForm1& window, TDiredit& prompt, Tstat& statistics)
    : m_window(window)
    , m_prompt(prompt)
    , m_statistics(statistics)
{
}

void BatchRun::compactMarked()
{
    const FileListBox& list = *m_window.FileListBox1;
    // Positions are plain ints and the count is read before each one, so a list of any length is done whole.
    for (int row = 0; row < list.count(); ++row)
        if (list.isMarked(row))
            compactItem(row);
}

bool BatchRun::compactItem(int row)
{
    FileListBox& list = *m_window.FileListBox1;
    const QString sourceText = list.shownName(row);
    const std::string sourceName = list.fileName(row).toStdString();
    std::string destinationName = sourceName;
    const std::string sourcePath = joinPath(*m_window.DirectoryListBox1, sourceName);
    bool ownTestFileKept = false;
    if (!guardDestination(m_prompt, *m_window.DirectoryListBox2, destinationName, ownTestFileKept))
        return false;
    const std::string destinationPath = joinPath(*m_window.DirectoryListBox2, destinationName);
    // The guard found the name free; a file that another program puts there meanwhile is refused, not emptied.
    const DestinationCreation creation
        = ownTestFileKept ? DestinationCreation::ReplaceExisting : DestinationCreation::MustNotExist;
    const CompactionResult result = compactFile(sourcePath, destinationPath, creation);
    list.setMarked(row, false);
    const QString destinationText = folders::visibleName(QByteArray::fromStdString(destinationName));
    m_statistics.appendRow(sourceText, result.sourceSize, destinationText, result.written);
    return true;
}

CompactionResult BatchRun::compactFile(
    const std::string& sourcePath, const std::string& destinationPath, DestinationCreation creation) const
{
    if (!m_window.safeCompaction())
        return CompactFile(sourcePath, destinationPath, m_window.options(), m_window.progressSink(), creation);
    // The source folder is the site: a stylesheet linked as "/..." is read from it. The notes on stylesheets
    // that could not be read are not asked for, as the window has no place to show them.
    const std::string siteRoot = m_window.DirectoryListBox1->directoryBytes().toStdString();
    return CompactFileSafe(sourcePath, destinationPath, m_window.progressSink(), creation, nullptr, siteRoot);
}
