// Drive selector: a drop-down list of the mounted volumes that leads a folder list to the chosen one.
#pragma once

#include <QComboBox>
#include <QPointer>

class DirectoryListBox;

class DriveComboBox : public QComboBox
{
    Q_OBJECT

public:
    explicit DriveComboBox(QWidget* parent = nullptr);

    // Root of the volume shown, native separators.
    QString drive() const;
    // Shows the volume that holds the folder, without moving the folder list.
    void setDrive(const QString& folderPath);
    // Reads the mounted volumes again, keeping the one shown.
    void refresh();

    DirectoryListBox* dirList() const;
    // The selector then follows the list's folder, and choosing a volume moves the list.
    void setDirList(DirectoryListBox* list);

signals:
    void driveChanged(const QString& root);
    // The chosen volume could not be entered; the selector went back to the volume shown before.
    void driveNotReady(const QString& root);

protected:
    void showPopup() override;

private:
    void chooseDrive(int index);
    void showRoot(const QString& root);

    QString m_root;
    QPointer<DirectoryListBox> m_dirList;
};
