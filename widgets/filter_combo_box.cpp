// Filter selector: a drop-down list of file kinds whose choice sets the mask of a file list.
#include <widgets/filter_combo_box.h>

#include <widgets/file_list_box.h>

namespace {

const QString EveryFileMask = QStringLiteral("*.*");

} // namespace

FilterComboBox::FilterComboBox(QWidget* parent)
    : QComboBox(parent)
{
    setEditable(false);
    connect(this, &QComboBox::currentIndexChanged, this, &FilterComboBox::applyMask);
    setFilter(QStringLiteral("All files (*.*)|*.*"));
}

QString FilterComboBox::filter() const
{
    return m_filter;
}

void FilterComboBox::setFilter(const QString& filter)
{
    m_filter = filter;
    const QStringList parts = filter.split(u'|');
    {
        const QSignalBlocker blocker(this);
        clear();
        // A description left without a mask at the end is dropped.
        for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
            addItem(parts.at(i), parts.at(i + 1));
        setCurrentIndex(count() > 0 ? 0 : -1);
    }
    applyMask();
}

QString FilterComboBox::mask() const
{
    return currentIndex() >= 0 ? currentData().toString() : EveryFileMask;
}

FileListBox* FilterComboBox::fileList() const
{
    return m_fileList;
}

void FilterComboBox::setFileList(FileListBox* list)
{
    m_fileList = list;
    applyMask();
}

void FilterComboBox::applyMask()
{
    if (m_fileList)
        m_fileList->setMask(mask());
}
