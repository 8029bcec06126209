// The batch run of the main window: marks, path joining, the overwrite guard and the compaction of each marked file.
#pragma once

#include <engine/compaction.h>

#include <QString>

#include <string>

class DirectoryListBox;
class FileListBox;
class TDiredit;
class TForm1;
class Tstat;

// The list keeps each mark beside the file's name and shows it as a "*" after the name, so any name, one that
// holds a "*" too, is marked and compacted as itself.
// Toggles the mark of every selected item, each in its own direction; the toggled items end unselected.
void toggleSelectedMarks(FileListBox& list);
bool anyMarked(const FileListBox& list);

// folder + name with one native separator between them, and none added after a root ("/", "C:\").
std::string joinPath(const std::string& folder, const std::string& name);
// The same, with the folder the list shows at this moment.
std::string joinPath(const DirectoryListBox& folder, const std::string& name);

// The two uses of the name prompt; each sets every control the dialog shows.
void prepareRenamePrompt(TDiredit& dialog, const std::string& destinationName);
void prepareFolderPrompt(TDiredit& dialog);

// The guard's operations on its test file; a test replaces them to make one fail.
struct GuardFileOperations
{
    // Creates and closes a file that does not exist yet; never touches an existing one.
    int (*createNew)(const std::string& path);
    int (*remove)(const std::string& path);
};
const GuardFileOperations& platformGuardFiles();

// Asks for another name while the destination name is taken, so that no existing file is ever written over.
// True: compact into name (the last one typed); false: the user skipped the file. keptOwnTestFile tells that
// the name holds the guard's own empty test file, which could not be deleted and may be replaced.
bool guardDestination(TDiredit& dialog, const DirectoryListBox& destinationFolder, std::string& name,
    bool& keptOwnTestFile, const GuardFileOperations& files = platformGuardFiles());

// One press of ">>": compacts every marked file of the source list into the destination folder.
class BatchRun
{
public:
    BatchRun(TForm1& window, TDiredit& prompt, Tstat& statistics);

    // Walks the list once; an I/O error of a compaction leaves at once, with the later marks kept.
    void compactMarked();
    // Compacts the file of one marked item, removes its mark and adds its statistics row; false when skipped.
    bool compactItem(int row);

private:
    // The compaction the window is set to: the safe one while its menu item is checked, else the four options.
    CompactionResult compactFile(
        const std::string& sourcePath, const std::string& destinationPath, DestinationCreation creation) const;

    TForm1& m_window;
    TDiredit& m_prompt;
    Tstat& m_statistics;
};
