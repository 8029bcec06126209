// File list of one folder: the regular files matching a set of wildcard masks, sorted ignoring case.
#include "file_list_box.h"

#include "folder_paths.h"

#include <QDir>
#include <QRegularExpression>

#include <algorithm>
#include <utility>

namespace {

// Windows wildcard rules: "*" any run, "?" one character, case ignored; a trailing ".*" also takes names
// without an extension (so "*.*" takes every name) and a trailing "." takes only names without one.
QRegularExpression wildcardPattern(QString mask)
{
    QString head;
    QString tail;
    if (mask.endsWith(QLatin1String(".*"))) {
        mask.chop(2);
        tail = QStringLiteral("(?:\\..*)?");
    } else if (mask.endsWith(u'.')) {
        mask.chop(1);
        head = QStringLiteral("(?!.*\\.)");
    }
    QString body;
    for (const QChar c : std::as_const(mask)) {
        if (c == u'*')
            body += QLatin1String(".*");
        else if (c == u'?')
            body += u'.';
        else
            body += QRegularExpression::escape(QString(c));
    }
    return QRegularExpression(QRegularExpression::anchoredPattern(head + body + tail),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
}

// A name matching several masks is listed once: a second item would be compacted twice.
QStringList matchingFiles(const QString& folder, const QString& masks)
{
    QList<QRegularExpression> patterns;
    for (const QString& mask : masks.split(u';', Qt::SkipEmptyParts)) {
        if (!mask.trimmed().isEmpty())
            patterns << wildcardPattern(mask.trimmed());
    }
    QStringList names;
    // Without QDir::Hidden and QDir::System, hidden files, devices, sockets and broken links stay out.
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Unsorted)) {
        const auto matches = [&name](const QRegularExpression& p) { return p.match(name).hasMatch(); };
        if (std::any_of(patterns.cbegin(), patterns.cend(), matches))
            names << name;
    }
    return names;
}

} // namespace

FileListBox::FileListBox(QWidget* parent)
    : QListWidget(parent)
    , m_directory(folders::absoluteFolder(QDir::currentPath()))
{
    setSortingEnabled(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setUniformItemSizes(true);
    connect(this, &QListWidget::itemSelectionChanged, this, [this] {
        if (m_inputDepth > 0)
            m_selectionTouched = true;
    });
    read();
}

QString FileListBox::directory() const
{
    return folders::nativeFolder(m_directory);
}

void FileListBox::setDirectory(const QString& path)
{
    const QString folder = folders::absoluteFolder(path);
    if (folders::sameFolder(folder, m_directory))
        return;
    m_directory = folder;
    read();
}

QString FileListBox::mask() const
{
    return m_mask;
}

void FileListBox::setMask(const QString& mask)
{
    if (mask == m_mask)
        return;
    m_mask = mask;
    read();
}

bool FileListBox::read()
{
    const bool entered = folders::enterFolder(m_directory);
    clear();
    if (!entered)
        return false;
    QStringList names = matchingFiles(m_directory, m_mask);
    folders::sortIgnoringCase(names);
    addItems(names);
    return true;
}

QString FileListBox::itemText(int row) const
{
    const QListWidgetItem* it = item(row);
    return it ? it->text() : QString();
}

bool FileListBox::isSelected(int row) const
{
    const QListWidgetItem* it = item(row);
    return it && it->isSelected();
}

void FileListBox::replaceItemText(int row, const QString& text)
{
    QListWidgetItem* it = item(row);
    if (!it)
        return;
    // Callers replace texts from inside their selection handler; a signal here would re-enter it.
    const QSignalBlocker blocker(this);
    it->setText(text);
    it->setSelected(false);
}

// Qt changes the selection in the middle of its input handlers; the signal waits until the event is done,
// so a handler that replaces items never runs under a half-finished mouse or key action.
void FileListBox::handleUserInput(const std::function<void()>& handle)
{
    ++m_inputDepth;
    handle();
    if (--m_inputDepth == 0 && std::exchange(m_selectionTouched, false))
        emit userSelectionChanged();
}

void FileListBox::mousePressEvent(QMouseEvent* event)
{
    handleUserInput([&] { QListWidget::mousePressEvent(event); });
}

void FileListBox::mouseMoveEvent(QMouseEvent* event)
{
    handleUserInput([&] { QListWidget::mouseMoveEvent(event); });
}

void FileListBox::mouseReleaseEvent(QMouseEvent* event)
{
    handleUserInput([&] { QListWidget::mouseReleaseEvent(event); });
}

void FileListBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    handleUserInput([&] { QListWidget::mouseDoubleClickEvent(event); });
}

void FileListBox::keyPressEvent(QKeyEvent* event)
{
    handleUserInput([&] { QListWidget::keyPressEvent(event); });
}
