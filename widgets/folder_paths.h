// Folder path helpers shared by the pane widgets, and the process-wide memory of visited folders per volume.
#pragma once

#include <QString>
#include <QStringList>

namespace folders {

// Absolute, cleaned, with "/" separators; a trailing "/" only at a root.
QString absoluteFolder(const QString& path);
QString nativeFolder(const QString& folder);
bool sameFolder(const QString& a, const QString& b);
bool isRootFolder(const QString& folder);
QString parentFolder(const QString& folder);
QString childFolder(const QString& folder, const QString& name);

// Locale order ignoring case; names equal but for case keep a fixed order.
void sortIgnoringCase(QStringList& names);

// Makes the folder the process's current folder and remembers it as the last one visited on its volume.
bool enterFolder(const QString& folder);
// The last folder entered on the volume with that root, or the root itself.
QString lastVisitedFolder(const QString& volumeRoot);

} // namespace folders
