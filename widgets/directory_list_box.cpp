// Folder list: the levels of the current folder's path from the root down, then its subfolders.
#include <widgets/directory_list_box.h>

#include <widgets/file_list_box.h>
#include <widgets/folder_paths.h>

#include <QDir>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOption>
#include <QStyledItemDelegate>

#include <algorithm>

namespace {

constexpr int PathRole = Qt::UserRole; // the folder's exact bytes
constexpr int LevelRole = Qt::UserRole + 1;
// Pixels per level at 96 dpi: enough to read the path as a tree, small enough to leave the names room.
constexpr int IndentAt96Dpi = 5;

// Shifts each row right by its level, so the path reads as a tree, and frames the focused row plainly.
class FolderDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem shifted(option);
        shifted.rect.setLeft(option.rect.left() + indent(option, index));
        // The style's own focus mark is a faint line on the highlighted current folder; it gives way to a frame.
        const bool focused = option.state.testFlag(QStyle::State_HasFocus);
        shifted.state.setFlag(QStyle::State_HasFocus, false);
        QStyledItemDelegate::paint(painter, shifted, index);
        if (focused)
            drawFocusFrame(painter, shifted);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        return QStyledItemDelegate::sizeHint(option, index) + QSize(indent(option, index), 0);
    }

    static int indent(const QStyleOptionViewItem& option, const QModelIndex& index)
    {
        const int dpi = option.widget ? option.widget->logicalDpiX() : 96;
        return index.data(LevelRole).toInt() * DirectoryListBox::indentStep(dpi);
    }

private:
    // Drawn in the colour that stands out on the row: the highlighted text on the highlight, else the highlight.
    static void drawFocusFrame(QPainter* painter, const QStyleOptionViewItem& option)
    {
        const bool selected = option.state.testFlag(QStyle::State_Selected);
        const int width = std::max(1, option.widget ? option.widget->logicalDpiX() / 96 : 1);
        const QColor colour = option.palette.color(selected ? QPalette::HighlightedText : QPalette::Highlight);
        painter->save();
        painter->setPen(QPen(colour, width, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        painter->setBrush(Qt::NoBrush);
        const qreal inset = width / 2.0 + 1;
        painter->drawRect(QRectF(option.rect).adjusted(inset, inset, -inset, -inset));
        painter->restore();
    }
};

// The current folder gets the open folder in the highlighted look, so it stands apart from the levels above.
QIcon currentFolderIcon(const QStyle* style, const QIcon& openIcon, const QWidget* widget)
{
    QStyleOption option;
    option.initFrom(widget);
    const int size = style->pixelMetric(QStyle::PM_SmallIconSize, nullptr, widget);
    const QPixmap marked = style->generatedIconPixmap(QIcon::Selected, openIcon.pixmap(size), &option);
    QIcon icon;
    icon.addPixmap(marked, QIcon::Normal);
    icon.addPixmap(marked, QIcon::Selected);
    return icon;
}

// Every level from the root down to the folder itself.
QList<QByteArray> pathLevels(const QByteArray& folder)
{
    QList<QByteArray> levels { folder };
    for (QByteArray up = folders::parentFolder(folder); up != levels.front(); up = folders::parentFolder(up))
        levels.prepend(up);
    return levels;
}

QList<QByteArray> subfolders(const QByteArray& folder)
{
    QList<QByteArray> names = folders::folderEntries(folder, folders::EntryKind::Folders);
    folders::sortIgnoringCase(names);
    return names;
}

} // namespace

DirectoryListBox::DirectoryListBox(QWidget* parent)
    : QListWidget(parent)
    , m_directory(folders::absoluteFolder(folders::currentFolder()))
    , m_openIcon(style()->standardIcon(QStyle::SP_DirOpenIcon, nullptr, this))
    , m_currentIcon(currentFolderIcon(style(), m_openIcon, this))
    , m_closedIcon(style()->standardIcon(QStyle::SP_DirClosedIcon, nullptr, this))
{
    setItemDelegate(new FolderDelegate(this));
    setSortingEnabled(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    fill();
}

QString DirectoryListBox::directory() const
{
    return folders::shownFolder(m_directory);
}

QByteArray DirectoryListBox::directoryBytes() const
{
    return m_directory;
}

bool DirectoryListBox::setDirectory(const QString& path)
{
    return setDirectoryBytes(folders::localPath(path));
}

bool DirectoryListBox::setDirectoryBytes(const QByteArray& path)
{
    const QByteArray folder = folders::absoluteFolder(path);
    if (!folders::enterFolder(folder))
        return false;
    const bool changed = !folders::sameFolder(folder, m_directory);
    m_directory = folder;
    fill();
    if (m_fileList)
        m_fileList->setDirectoryBytes(folder);
    if (changed)
        emit directoryChanged(directory());
    return true;
}

void DirectoryListBox::rebuild()
{
    // The folder may have gone since it was shown; the nearest level still there takes its place.
    QByteArray folder = m_directory;
    while (!folders::isFolder(folder) && !folders::isRootFolder(folder)) {
        const QByteArray above = folders::parentFolder(folder);
        if (above == folder) { // an empty or relative path (the current folder was deleted) has no level above
            folder = folders::localPath(QDir::rootPath());
            break;
        }
        folder = above;
    }
    if (!folders::sameFolder(folder, m_directory) && setDirectoryBytes(folder))
        return;
    fill();
    if (m_fileList)
        m_fileList->setDirectoryBytes(m_directory);
}

FileListBox* DirectoryListBox::fileList() const
{
    return m_fileList;
}

void DirectoryListBox::setFileList(FileListBox* list)
{
    m_fileList = list;
    if (m_fileList)
        m_fileList->setDirectoryBytes(m_directory);
}

int DirectoryListBox::indentStep(int logicalDpi)
{
    return qRound(IndentAt96Dpi * logicalDpi / 96.0);
}

void DirectoryListBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QListWidgetItem* target = event->button() == Qt::LeftButton ? itemAt(event->position().toPoint()) : nullptr;
    if (target)
        openItem(target);
    else
        QListWidget::mouseDoubleClickEvent(event);
}

void DirectoryListBox::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentItem()) {
        openItem(currentItem());
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

void DirectoryListBox::showEvent(QShowEvent* event)
{
    QListWidget::showEvent(event);
    showCurrentFolder();
}

void DirectoryListBox::resizeEvent(QResizeEvent* event)
{
    QListWidget::resizeEvent(event);
    showCurrentFolder();
}

void DirectoryListBox::openItem(const QListWidgetItem* item)
{
    setDirectoryBytes(item->data(PathRole).toByteArray());
}

void DirectoryListBox::fill()
{
    clear();
    const QList<QByteArray> levels = pathLevels(m_directory);
    for (int level = 0; level < levels.size(); ++level) {
        const QByteArray& path = levels.at(level);
        const bool current = level == levels.size() - 1;
        const QString text = level == 0 ? folders::shownFolder(path) : folders::shownName(folders::folderName(path));
        appendFolder(text, path, level, current ? m_currentIcon : m_openIcon);
    }
    const int currentRow = count() - 1;
    for (const QByteArray& name : subfolders(m_directory))
        appendFolder(
            folders::shownName(name), folders::childFolder(m_directory, name), int(levels.size()), m_closedIcon);
    setCurrentRow(currentRow, QItemSelectionModel::ClearAndSelect);
    showCurrentFolder();
}

void DirectoryListBox::appendFolder(const QString& text, const QByteArray& path, int level, const QIcon& icon)
{
    auto* item = new QListWidgetItem(icon, text, this);
    item->setData(PathRole, path);
    item->setData(LevelRole, level);
    // Deep or long names may not fit the narrow list; the whole path is always one hover away.
    item->setToolTip(folders::shownFolder(path));
}

void DirectoryListBox::showCurrentFolder()
{
    // A hidden list has no final size yet, and measuring its names would load the fonts even where no window
    // is ever shown; showing it comes back here.
    const QModelIndex current = currentIndex();
    if (!isVisible() || !current.isValid())
        return;
    scrollTo(current, QAbstractItemView::EnsureVisible);
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const int indent = FolderDelegate::indent(option, current);
    const int overflow = itemDelegate()->sizeHint(option, current).width() - viewport()->width();
    // The name's end is brought in, but never so far that its picture leaves on the left.
    horizontalScrollBar()->setValue(std::clamp(overflow, 0, indent));
}
