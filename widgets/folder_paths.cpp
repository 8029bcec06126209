// Folder path helpers shared by the pane widgets, and the process-wide memory of visited folders per volume.
#include <widgets/folder_paths.h>

#include <platform/shown_text.h>

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStorageInfo>

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace folders {
namespace {

QHash<QString, QByteArray>& visitedByVolume()
{
    static QHash<QString, QByteArray> visited;
    return visited;
}

// Latin-1 turns each byte into one character and back, so Qt's path rules, which look only at separators,
// dots and drive letters, work on any bytes without changing the others.
QString byteText(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes);
}

QByteArray textBytes(const QString& text)
{
    return text.toLatin1();
}

std::filesystem::path fsPath(const QByteArray& path)
{
    return std::filesystem::path(path.toStdString());
}

// QStorageInfo takes text; a folder whose name does not survive the round trip is looked up by the nearest
// level above it that does, which lies on the same volume unless a mount point itself has such a name.
QStorageInfo volumeOf(const QByteArray& folder)
{
    QByteArray level = folder;
    while (QFile::encodeName(QFile::decodeName(level)) != level && !isRootFolder(level))
        level = parentFolder(level);
    return QStorageInfo(QFile::decodeName(level));
}

} // namespace

QByteArray absoluteFolder(const QByteArray& path)
{
    QString text = QDir::fromNativeSeparators(byteText(path));
    if (fsPath(path).is_relative())
        text = byteText(currentFolder()) + u'/' + text;
    return textBytes(QDir::cleanPath(text));
}

QString absoluteFolder(const QString& path)
{
    return QDir::cleanPath(QDir(QDir::fromNativeSeparators(path)).absolutePath());
}

QByteArray currentFolder()
{
    std::error_code error;
    const std::filesystem::path current = std::filesystem::current_path(error);
    return error ? QByteArray() : QByteArray::fromStdString(current.string());
}

bool sameFolder(const QByteArray& a, const QByteArray& b)
{
#ifdef Q_OS_WIN
    return shownName(a).compare(shownName(b), Qt::CaseInsensitive) == 0;
#else
    return a == b;
#endif
}

bool isRootFolder(const QByteArray& folder)
{
    return QDir(byteText(folder)).isRoot();
}

QByteArray parentFolder(const QByteArray& folder)
{
    return isRootFolder(folder) ? folder : textBytes(QFileInfo(byteText(folder)).path());
}

QByteArray childFolder(const QByteArray& folder, const QByteArray& name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

QByteArray folderName(const QByteArray& folder)
{
    return textBytes(QFileInfo(byteText(folder)).fileName());
}

bool isFolder(const QByteArray& path)
{
    std::error_code ignored;
    return std::filesystem::is_directory(fsPath(path), ignored);
}

QString shownName(const QByteArray& name)
{
    return QFile::decodeName(name);
}

QString visibleName(const QByteArray& name)
{
    // Every character that hides something lies in the 16-bit range, so the UTF-16 units are looked at alone.
    const QString shown = shownName(name);
    const auto hidden = [](QChar c) { return platform::hidesSomething(c.unicode()); };
    if (std::none_of(shown.cbegin(), shown.cend(), hidden))
        return shown;
    QString visible;
    visible.reserve(shown.size() + 8);
    for (const QChar c : shown) {
        if (!hidden(c)) {
            visible += c;
            continue;
        }
        std::string escape;
        platform::appendEscaped(escape, c.unicode());
        visible += QLatin1String(escape.data(), static_cast<qsizetype>(escape.size()));
    }
    return visible;
}

QString shownFolder(const QByteArray& folder)
{
    return QDir::toNativeSeparators(shownName(folder));
}

QByteArray localPath(const QString& text)
{
    return QFile::encodeName(text);
}

QList<QByteArray> folderEntries(const QByteArray& folder, EntryKind kind)
{
    QList<QByteArray> names;
    std::error_code error;
    for (std::filesystem::directory_iterator it(fsPath(folder), error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.empty() || name.front() == '.')
            continue;
        // Both follow links, as a listing by type does; a broken link is neither.
        std::error_code ignored;
        if (kind == EntryKind::Files ? it->is_regular_file(ignored) : it->is_directory(ignored))
            names << QByteArray::fromStdString(name);
    }
    return names;
}

void sortIgnoringCase(QList<QByteArray>& names)
{
    struct Shown
    {
        QString text;
        QByteArray name;
    };
    std::vector<Shown> shown;
    shown.reserve(std::size_t(names.size()));
    for (const QByteArray& name : std::as_const(names))
        shown.push_back({ shownName(name), name });
    QCollator collator { QLocale() };
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(shown.begin(), shown.end(), [&collator](const Shown& a, const Shown& b) {
        const int order = collator.compare(a.text, b.text);
        if (order != 0)
            return order < 0;
        return a.text != b.text ? a.text < b.text : a.name < b.name;
    });
    for (std::size_t i = 0; i < shown.size(); ++i)
        names[qsizetype(i)] = shown[i].name;
}

bool enterFolder(const QByteArray& folder)
{
    if (folder.isEmpty())
        return false;
    std::error_code error;
    std::filesystem::current_path(fsPath(folder), error);
    if (error)
        return false;
    const QStorageInfo volume = volumeOf(folder);
    if (volume.isValid())
        visitedByVolume().insert(volume.rootPath(), folder);
    return true;
}

QByteArray lastVisitedFolder(const QString& volumeRoot)
{
    return visitedByVolume().value(volumeRoot, localPath(volumeRoot));
}

} // namespace folders
