// Filter selector: a drop-down list of file kinds whose choice sets the mask of a file list.
#pragma once

#include <QComboBox>
#include <QPointer>

class FileListBox;

class FilterComboBox : public QComboBox
{
    Q_OBJECT

public:
    explicit FilterComboBox(QWidget* parent = nullptr);

    QString filter() const;
    // Pairs of a description and a mask separated by "|", e.g. "All files (*.*)|*.*|htm|*.htm";
    // shows the descriptions and chooses the first.
    void setFilter(const QString& filter);
    // Mask of the item shown.
    QString mask() const;

    FileListBox* fileList() const;
    void setFileList(FileListBox* list);

private:
    void applyMask();

    QString m_filter;
    QPointer<FileListBox> m_fileList;
};
