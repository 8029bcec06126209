// File list of one folder: the regular files matching a set of wildcard masks, sorted ignoring case.
#pragma once

#include <QListWidget>

#include <functional>

class FileListBox : public QListWidget
{
    Q_OBJECT

public:
    explicit FileListBox(QWidget* parent = nullptr);

    QString directory() const;
    // Re-reads only when the folder differs from the one shown.
    void setDirectory(const QString& path);
    QString mask() const;
    // Masks are separated by ";". Re-reads only when the mask differs, so item texts survive a repeated choice.
    void setMask(const QString& mask);
    // Makes the folder current and lists its files anew; false, with an empty list, when it cannot be entered.
    bool read();

    QString itemText(int row) const;
    bool isSelected(int row) const;
    // Keeps the item's position and the current item, deselects the item, and emits nothing.
    void replaceItemText(int row, const QString& text);

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

    QString m_directory;
    QString m_mask = QStringLiteral("*.*");
    int m_inputDepth = 0;
    bool m_selectionTouched = false;
};
