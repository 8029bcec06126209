// File list of one folder: the regular files matching a set of wildcard masks, sorted ignoring case.
#include <widgets/file_list_box.h>

#include <widgets/folder_paths.h>

#include <QMouseEvent>
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
QList<QByteArray> matchingFiles(const QByteArray& folder, const QString& masks)
{
    QList<QRegularExpression> patterns;
    for (const QString& mask : masks.split(u';', Qt::SkipEmptyParts)) {
        if (!mask.trimmed().isEmpty())
            patterns << wildcardPattern(mask.trimmed());
    }
    QList<QByteArray> names;
    for (const QByteArray& name : folders::folderEntries(folder, folders::EntryKind::Files)) {
        const QString shown = folders::shownName(name);
        const auto matches = [&shown](const QRegularExpression& p) { return p.match(shown).hasMatch(); };
        if (std::any_of(patterns.cbegin(), patterns.cend(), matches))
            names << name;
    }
    return names;
}

const QChar Mark = u'*';
// The name's bytes, kept only where the text would not give them back; and the mark.
constexpr int NameRole = Qt::UserRole;
constexpr int MarkRole = Qt::UserRole + 1;

} // namespace

FileListBox::FileListBox(QWidget* parent)
    : QListWidget(parent)
    , m_directory(folders::absoluteFolder(folders::currentFolder()))
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
    return folders::shownFolder(m_directory);
}

QByteArray FileListBox::directoryBytes() const
{
    return m_directory;
}

void FileListBox::setDirectory(const QString& path)
{
    setDirectoryBytes(folders::localPath(path));
}

void FileListBox::setDirectoryBytes(const QByteArray& path)
{
    const QByteArray folder = folders::absoluteFolder(path);
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
    if (!folders::enterFolder(m_directory)) {
        clear();
        return false;
    }
    QList<QByteArray> names = matchingFiles(m_directory, m_mask);
    folders::sortIgnoringCase(names);
    showNames(names);
    return true;
}

void FileListBox::showNames(const QList<QByteArray>& names)
{
    clear();
    QStringList shown;
    shown.reserve(names.size());
    for (const QByteArray& name : names)
        shown << folders::visibleName(name);
    addItems(shown);
    // Most names come back unchanged from their text; only the others (undecodable bytes, escaped controls) need
    // their bytes kept.
    for (qsizetype row = 0; row < names.size(); ++row) {
        if (folders::localPath(shown.at(row)) != names.at(row))
            item(int(row))->setData(NameRole, names.at(row));
    }
}

QString FileListBox::itemText(int row) const
{
    const QListWidgetItem* it = item(row);
    return it ? it->text() : QString();
}

QByteArray FileListBox::fileName(int row) const
{
    const QListWidgetItem* it = item(row);
    if (!it)
        return {};
    const QVariant stored = it->data(NameRole);
    return stored.isValid() ? stored.toByteArray() : folders::localPath(shownName(row));
}

QString FileListBox::shownName(int row) const
{
    const QString text = itemText(row);
    return isMarked(row) ? text.chopped(1) : text;
}

bool FileListBox::isSelected(int row) const
{
    const QListWidgetItem* it = item(row);
    return it && it->isSelected();
}

QList<int> FileListBox::selectedRows() const
{
    QList<int> rows;
    for (const QItemSelectionRange& range : selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row)
            rows << row;
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

bool FileListBox::isMarked(int row) const
{
    const QListWidgetItem* it = item(row);
    return it && it->data(MarkRole).toBool();
}

void FileListBox::setMarks(const QList<MarkChange>& changes)
{
    // Callers change marks from inside their selection handler; a signal here would re-enter it.
    const QSignalBlocker blocker(this);
    QList<int> changed;
    changed.reserve(changes.size());
    for (const MarkChange& change : changes) {
        QListWidgetItem* it = item(change.row);
        if (!it)
            continue;
        const QString name = shownName(change.row);
        it->setData(MarkRole, change.marked);
        it->setText(change.marked ? name + Mark : name);
        changed << change.row;
    }
    deselectRows(changed);
}

// One change of the selection for all the rows: the view lays its items out again after each change, and the
// selection model compares range with range, so a change per row would cost the square of the rows.
void FileListBox::deselectRows(QList<int> rows)
{
    std::sort(rows.begin(), rows.end());
    QList<int> kept;
    bool touched = false;
    for (const int row : selectedRows()) {
        const bool deselected = std::binary_search(rows.cbegin(), rows.cend(), row);
        touched = touched || deselected;
        if (!deselected)
            kept << row;
    }
    if (!touched)
        return;
    QItemSelection selection;
    for (qsizetype first = 0, last = 0; first < kept.size(); first = last) {
        for (last = first + 1; last < kept.size() && kept.at(last) == kept.at(last - 1) + 1;)
            ++last;
        selection.select(model()->index(kept.at(first), 0), model()->index(kept.at(last - 1), 0));
    }
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

void FileListBox::setMarked(int row, bool marked)
{
    setMarks({ { row, marked } });
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

// Qt's views select with any button; here a selection change toggles marks, so only the left button selects.
// The other buttons' presses, releases and double clicks are left to the parent, as a view without them does.
void FileListBox::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return event->ignore();
    handleUserInput([&] { QListWidget::mousePressEvent(event); });
}

void FileListBox::mouseMoveEvent(QMouseEvent* event)
{
    handleUserInput([&] { QListWidget::mouseMoveEvent(event); });
}

void FileListBox::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return event->ignore();
    handleUserInput([&] { QListWidget::mouseReleaseEvent(event); });
}

void FileListBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return event->ignore();
    handleUserInput([&] { QListWidget::mouseDoubleClickEvent(event); });
}

void FileListBox::keyPressEvent(QKeyEvent* event)
{
    handleUserInput([&] { QListWidget::keyPressEvent(event); });
}
