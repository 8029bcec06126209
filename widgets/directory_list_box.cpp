// Folder list: the levels of the current folder's path from the root down, then its subfolders.
#include "directory_list_box.h"

#include "file_list_box.h"
#include "folder_paths.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QStyle>
#include <QStyleOption>
#include <QStyledItemDelegate>

namespace {

constexpr int PathRole = Qt::UserRole;
constexpr int LevelRole = Qt::UserRole + 1;

// Shifts each row right by its level, so the path reads as a tree.
class IndentDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem shifted(option);
        shifted.rect.setLeft(option.rect.left() + indent(option, index));
        QStyledItemDelegate::paint(painter, shifted, index);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        return QStyledItemDelegate::sizeHint(option, index) + QSize(indent(option, index), 0);
    }

private:
    static int indent(const QStyleOptionViewItem& option, const QModelIndex& index)
    {
        return index.data(LevelRole).toInt() * option.decorationSize.width() * 3 / 4;
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
QStringList pathLevels(const QString& folder)
{
    QStringList levels { folder };
    for (QString up = folders::parentFolder(folder); up != levels.front(); up = folders::parentFolder(up))
        levels.prepend(up);
    return levels;
}

QStringList subfolders(const QString& folder)
{
    QStringList names = QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Unsorted);
    folders::sortIgnoringCase(names);
    return names;
}

} // namespace

DirectoryListBox::DirectoryListBox(QWidget* parent)
    : QListWidget(parent)
    , m_directory(folders::absoluteFolder(QDir::currentPath()))
    , m_openIcon(style()->standardIcon(QStyle::SP_DirOpenIcon, nullptr, this))
    , m_currentIcon(currentFolderIcon(style(), m_openIcon, this))
    , m_closedIcon(style()->standardIcon(QStyle::SP_DirClosedIcon, nullptr, this))
{
    setItemDelegate(new IndentDelegate(this));
    setSortingEnabled(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    fill();
}

QString DirectoryListBox::directory() const
{
    return folders::nativeFolder(m_directory);
}

bool DirectoryListBox::setDirectory(const QString& path)
{
    const QString folder = folders::absoluteFolder(path);
    if (!folders::enterFolder(folder))
        return false;
    const bool changed = !folders::sameFolder(folder, m_directory);
    m_directory = folder;
    fill();
    if (m_fileList)
        m_fileList->setDirectory(folder);
    if (changed)
        emit directoryChanged(directory());
    return true;
}

void DirectoryListBox::rebuild()
{
    // The folder may have gone since it was shown; the nearest level still there takes its place.
    QString folder = m_directory;
    while (!QFileInfo(folder).isDir() && !folders::isRootFolder(folder)) {
        const QString above = folders::parentFolder(folder);
        if (above == folder) { // an empty or relative path (the current folder was deleted) has no level above
            folder = QDir::rootPath();
            break;
        }
        folder = above;
    }
    if (!folders::sameFolder(folder, m_directory) && setDirectory(folder))
        return;
    fill();
    if (m_fileList)
        m_fileList->setDirectory(m_directory);
}

FileListBox* DirectoryListBox::fileList() const
{
    return m_fileList;
}

void DirectoryListBox::setFileList(FileListBox* list)
{
    m_fileList = list;
    if (m_fileList)
        m_fileList->setDirectory(m_directory);
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

void DirectoryListBox::openItem(const QListWidgetItem* item)
{
    setDirectory(item->data(PathRole).toString());
}

void DirectoryListBox::fill()
{
    clear();
    const QStringList levels = pathLevels(m_directory);
    for (int level = 0; level < levels.size(); ++level) {
        const QString& path = levels.at(level);
        const bool current = level == levels.size() - 1;
        const QString text = level == 0 ? folders::nativeFolder(path) : QFileInfo(path).fileName();
        appendFolder(text, path, level, current ? m_currentIcon : m_openIcon);
    }
    const int currentRow = count() - 1;
    for (const QString& name : subfolders(m_directory))
        appendFolder(name, folders::childFolder(m_directory, name), levels.size(), m_closedIcon);
    setCurrentRow(currentRow, QItemSelectionModel::ClearAndSelect);
}

void DirectoryListBox::appendFolder(const QString& text, const QString& path, int level, const QIcon& icon)
{
    auto* item = new QListWidgetItem(icon, text, this);
    item->setData(PathRole, path);
    item->setData(LevelRole, level);
}
