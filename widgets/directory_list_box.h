// Folder list: the levels of the current folder's path from the root down, then its subfolders.
#pragma once

#include <QIcon>
#include <QListWidget>
#include <QPointer>

class FileListBox;

class DirectoryListBox : public QListWidget
{
    Q_OBJECT

public:
    explicit DirectoryListBox(QWidget* parent = nullptr);

    // Native separators, with a trailing separator only at a root ("/", "C:\"); undecodable bytes show as
    // replacement characters.
    QString directory() const;
    // The folder's exact bytes, for file operations.
    QByteArray directoryBytes() const;
    // Makes the folder current, shows it and passes it on to the file list; false, changing nothing,
    // when the folder cannot be entered.
    bool setDirectory(const QString& path);
    bool setDirectoryBytes(const QByteArray& path);
    // Reads the path and the subfolders again from disk and passes the folder on to the file list.
    void rebuild();

    FileListBox* fileList() const;
    void setFileList(FileListBox* list);

    // How far each level is indented: a few pixels, so that names stay readable in a narrow list.
    static int indentStep(int logicalDpi);

signals:
    void directoryChanged(const QString& path);

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void openItem(const QListWidgetItem* item);
    void fill();
    void appendFolder(const QString& text, const QByteArray& path, int level, const QIcon& icon);
    // Scrolls the current folder's row into view, with as much of its name as the width allows.
    void showCurrentFolder();

    QByteArray m_directory;
    QPointer<FileListBox> m_fileList;
    QIcon m_openIcon;
    QIcon m_currentIcon;
    QIcon m_closedIcon;
};
