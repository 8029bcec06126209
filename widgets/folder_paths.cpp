// Folder path helpers shared by the pane widgets, and the process-wide memory of visited folders per volume.
#include "folder_paths.h"

#include <QCollator>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QStorageInfo>

#include <algorithm>

namespace folders {
namespace {

QHash<QString, QString>& visitedByVolume()
{
    static QHash<QString, QString> visited;
    return visited;
}

} // namespace

QString absoluteFolder(const QString& path)
{
    return QDir::cleanPath(QDir(QDir::fromNativeSeparators(path)).absolutePath());
}

QString nativeFolder(const QString& folder)
{
    return QDir::toNativeSeparators(folder);
}

bool sameFolder(const QString& a, const QString& b)
{
#ifdef Q_OS_WIN
    return a.compare(b, Qt::CaseInsensitive) == 0;
#else
    return a == b;
#endif
}

bool isRootFolder(const QString& folder)
{
    return QDir(folder).isRoot();
}

QString parentFolder(const QString& folder)
{
    return isRootFolder(folder) ? folder : QFileInfo(folder).path();
}

QString childFolder(const QString& folder, const QString& name)
{
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

void sortIgnoringCase(QStringList& names)
{
    QCollator collator { QLocale() };
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(names.begin(), names.end(), [&collator](const QString& a, const QString& b) {
        const int order = collator.compare(a, b);
        return order != 0 ? order < 0 : a < b;
    });
}

bool enterFolder(const QString& folder)
{
    if (!QDir::setCurrent(folder))
        return false;
    const QStorageInfo volume(folder);
    if (volume.isValid())
        visitedByVolume().insert(volume.rootPath(), folder);
    return true;
}

QString lastVisitedFolder(const QString& volumeRoot)
{
    return visitedByVolume().value(volumeRoot, volumeRoot);
}

} // namespace folders
