// Drive selector: a drop-down list of the mounted volumes that leads a folder list to the chosen one.
#pragma once

#include <QComboBox>
#include <QPointer>
#include <QStyle>

class DirectoryListBox;

class DriveComboBox : public QComboBox
{
    Q_OBJECT

public:
    // One entry of the list.
    struct Volume
    {
        QString root; // "/" separators
        QString label;
        QStyle::StandardPixmap picture;
        QString remote = {}; // a network drive's share (\\server\share), shown in place of the label
    };

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

    // What the closed selector shows: the entry's text or, when that is too wide, its end, which tells mount
    // points apart where their beginnings are alike. The whole text is the tooltip.
    QString shownText() const;

signals:
    void driveChanged(const QString& root);

protected:
    void showPopup() override;
    void paintEvent(QPaintEvent* event) override;
    // The mounted volumes a user works on, in path order.
    virtual QList<Volume> volumes() const;

private:
    void chooseDrive(int index);
    void showRoot(const QString& root);

    QString m_root;
    QPointer<DirectoryListBox> m_dirList;
};
