// File list of one folder: the regular files matching a set of wildcard masks, sorted ignoring case.
#pragma once

#include <QByteArray>
#include <QListWidget>

#include <functional>

class FileListBox : public QListWidget
{
    Q_OBJECT

public:
    explicit FileListBox(QWidget* parent = nullptr);

    // Native separators; undecodable bytes show as replacement characters.
    QString directory() const;
    // The folder's exact bytes, for file operations.
    QByteArray directoryBytes() const;
    // Re-read only when the folder differs from the one shown.
    void setDirectory(const QString& path);
    void setDirectoryBytes(const QByteArray& path);
    QString mask() const;
    // Masks are separated by ";". Re-reads only when the mask differs, so the marks survive a repeated choice.
    void setMask(const QString& mask);
    // Makes the folder current and lists its files anew; false, with an empty list, when it cannot be entered.
    bool read();
    // Replaces every item by these file names, in this order, unmarked: what read() does with the folder's files.
    void showNames(const QList<QByteArray>& names);

    // The text shown: the name, followed by "*" when the item is marked.
    QString itemText(int row) const;
    // The name exactly as the folder stores it.
    QByteArray fileName(int row) const;
    // The name as shown, without the mark.
    QString shownName(int row) const;
    bool isSelected(int row) const;
    // Ascending.
    QList<int> selectedRows() const;

    // The mark is kept beside the name, so that any name, one holding "*" too, can be marked.
    bool isMarked(int row) const;
    struct MarkChange
    {
        int row;
        bool marked;
    };
    // Each changed item keeps its position and ends unselected; the current item stays and nothing is emitted.
    // The whole set is one change of the view, so its cost grows with the number of items, not its square.
    void setMarks(const QList<MarkChange>& changes);
    void setMarked(int row, bool marked);

signals:
    // The user changed the selection with the mouse or the keyboard.
    void userSelectionChanged();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void handleUserInput(const std::function<void()>& handle);
    void deselectRows(QList<int> rows);

    QByteArray m_directory;
    QString m_mask = QStringLiteral("*.*");
    int m_inputDepth = 0;
    bool m_selectionTouched = false;
};
