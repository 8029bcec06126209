// Folder path helpers shared by the pane widgets, and the process-wide memory of visited folders per volume.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace folders {

// Paths and names are kept as the exact bytes the system stores, which need not be valid UTF-8; a QString is
// only for showing them. Folders are absolute, cleaned, with "/" separators and a trailing "/" only at a root.
QByteArray absoluteFolder(const QByteArray& path);
// The same for a path given as text, as the drive selector reads it.
QString absoluteFolder(const QString& path);
QByteArray currentFolder();
bool sameFolder(const QByteArray& a, const QByteArray& b);
bool isRootFolder(const QByteArray& folder);
QByteArray parentFolder(const QByteArray& folder);
QByteArray childFolder(const QByteArray& folder, const QByteArray& name);
QByteArray folderName(const QByteArray& folder);
bool isFolder(const QByteArray& path);

// Bytes that are not valid UTF-8 show as replacement characters.
QString shownName(const QByteArray& name);
// The same for a list row, which has one line: characters that would break it, hide what follows (a mark) or
// reorder it show escaped, as \n, \t, \r, \x1b or \u2028; any other name is shown as shownName shows it.
QString visibleName(const QByteArray& name);
// Native separators.
QString shownFolder(const QByteArray& folder);
QByteArray localPath(const QString& text);

enum class EntryKind
{
    Files,
    Folders
};
// Regular files (or folders), also through links; hidden entries, devices, sockets and broken links stay out.
QList<QByteArray> folderEntries(const QByteArray& folder, EntryKind kind);
// Locale order of the shown names ignoring case; names shown alike keep a fixed order.
void sortIgnoringCase(QList<QByteArray>& names);

// Makes the folder the process's current folder and remembers it as the last one visited on its volume.
bool enterFolder(const QByteArray& folder);
// The last folder entered on the volume with that root, or the root itself.
QByteArray lastVisitedFolder(const QString& volumeRoot);

} // namespace folders
