// Tests of FileListBox: which files are listed and in what order, and how the selection and item texts behave.
#include <tests/widgets/pane_helpers.h>
#include <widgets/file_list_box.h>

#include <QSignalSpy>
#include <QTemporaryDir>
#include <tests/support/temp_folder.h>

namespace {

struct Step
{
    int row; // a click on this row, or with -1 a press of the key
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
};

Step click(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    return { row, Qt::Key_unknown, modifiers };
}

Step press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    return { -1, key, modifiers };
}

} // namespace

Q_DECLARE_METATYPE(QList<Step>)

class TestFileListBox : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void listing_data();
    void listing();
    void listingBytes_data();
    void listingBytes();
    void setMarkedKeepsPlaceAndIsSilent();
    void userSelectionTogglesMarks_data();
    void userSelectionTogglesMarks();
    void rereadOnlyOnRealChange_data();
    void rereadOnlyOnRealChange();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FileListBox> m_list; // over a.htm b.htm c.htm d.htm
};

void TestFileListBox::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    makeEntries(m_dir->path(), { "a.htm", "b.htm", "c.htm", "d.htm" });
    m_list = std::make_unique<FileListBox>();
    m_list->setDirectory(m_dir->path());
}

void TestFileListBox::listing_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("sorted ignoring case")
        << QStringList { "b.htm", "A.htm", "c.htm" } << "*.*" << QStringList { "A.htm", "b.htm", "c.htm" };
    QTest::newRow("*.* takes names without a dot")
        << QStringList { "README", "a.htm" } << "*.*" << QStringList { "a.htm", "README" };
    QTest::newRow("extension matched whole")
        << QStringList { "x.htm", "x.html", "xhtm" } << "*.htm" << QStringList { "x.htm" };
    QTest::newRow("mask ignores case") << QStringList { "X.HTM", "y.htm", "z.js" } << "*.HTM"
                                       << QStringList { "X.HTM", "y.htm" };
    QTest::newRow("? is one character") << QStringList { "a.htm", "a1.htm", "a12.htm" } << "a?.htm"
                                        << QStringList { "a1.htm" };
    QTest::newRow("several masks, each name once")
        << QStringList { "a.htm", "b.js", "c.css" } << "*.htm; *.js;a.*" << QStringList { "a.htm", "b.js" };
    QTest::newRow("regex characters literal") << QStringList { "a+b.htm", "aab.htm", "a(1).htm" } << "a+b.*;a(?).htm"
                                              << QStringList { "a(1).htm", "a+b.htm" };
    QTest::newRow("hidden files and folders left out")
        << QStringList { ".hidden.htm", "shown.htm", "dir.htm/" } << "*.*" << QStringList { "shown.htm" };
    QTest::newRow("no match, empty list") << QStringList { "a.htm" } << "*.js" << QStringList {};
}

void TestFileListBox::listing()
{
    QFETCH(QStringList, entries);
    QFETCH(QString, mask);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    makeEntries(dir.path(), entries);

    m_list->setMask(mask);
    m_list->setDirectory(dir.path());

    QCOMPARE(texts(*m_list), expected);
    QCOMPARE(QDir::currentPath(), dir.path());
}

void TestFileListBox::listingBytes_data()
{
    QTest::addColumn<QList<QByteArray>>("entries"); // "name>target" makes a symbolic link
    QTest::addColumn<QList<QByteArray>>("expected");

    QTest::newRow("undecodable and starred names, not the folder")
        << QList<QByteArray> { "\xff.htm", "a*b.htm", "x*", "\xfe" "D/" }
        << QList<QByteArray> { "a*b.htm", "x*", "\xff.htm" };
    QTest::newRow("names shown alike, in a fixed order")
        << QList<QByteArray> { "\xff.htm", "\xfe.htm" } << QList<QByteArray> { "\xfe.htm", "\xff.htm" };
    QTest::newRow("links to files, not broken or hidden ones")
        << QList<QByteArray> { "a.htm", "b.htm>a.htm", "c.htm>missing", ".d.htm>a.htm" }
        << QList<QByteArray> { "a.htm", "b.htm" };
}

// Names are listed with the bytes the folder holds; the text only shows them.
void TestFileListBox::listingBytes()
{
    QFETCH(QList<QByteArray>, entries);
    QFETCH(QList<QByteArray>, expected);
    TempFolder dir;
    for (const QByteArray& entry : entries) {
        const QList<QByteArray> link = entry.split('>');
        if (link.size() == 2)
            std::filesystem::create_symlink(link.at(1).toStdString(), dir / link.at(0).toStdString());
        else
            makeByteEntries(QString::fromStdString(dir.path()), { entry });
    }

    m_list->setDirectory(QString::fromStdString(dir.path()));

    QList<QByteArray> names;
    for (int row = 0; row < m_list->count(); ++row) {
        names << m_list->fileName(row);
        QCOMPARE(m_list->itemText(row), QFile::decodeName(names.back()));
    }
    QCOMPARE(names, expected);
}

void TestFileListBox::setMarkedKeepsPlaceAndIsSilent()
{
    m_list->setCurrentRow(0, QItemSelectionModel::Select);
    m_list->setCurrentRow(2, QItemSelectionModel::Select);
    QSignalSpy userSpy(m_list.get(), &FileListBox::userSelectionChanged);
    QSignalSpy selectionSpy(m_list.get(), &QListWidget::itemSelectionChanged);

    m_list->setMarked(2, true);

    QCOMPARE(texts(*m_list), (QStringList { "a.htm", "b.htm", "c.htm*", "d.htm" }));
    QCOMPARE(m_list->selectedItems(), QList<QListWidgetItem*> { m_list->item(0) });
    QCOMPARE(m_list->currentRow(), 2);
    QCOMPARE(userSpy.count() + selectionSpy.count(), 0);
}

void TestFileListBox::userSelectionTogglesMarks_data()
{
    QTest::addColumn<QList<Step>>("steps");
    QTest::addColumn<QString>("marked"); // first letters of the marked names
    QTest::addColumn<int>("emitted");

    QTest::newRow("click marks") << QList<Step> { click(1) } << "b" << 1;
    QTest::newRow("second click unmarks") << QList<Step> { click(1), click(1) } << "" << 2;
    QTest::newRow("plain clicks mark both") << QList<Step> { click(0), click(2) } << "ac" << 2;
    QTest::newRow("ctrl click") << QList<Step> { click(0), click(2, Qt::ControlModifier) } << "ac" << 2;
    QTest::newRow("shift click toggles the range")
        << QList<Step> { click(0), click(2, Qt::ShiftModifier) } << "bc" << 2;
    QTest::newRow("arrow key") << QList<Step> { click(0), press(Qt::Key_Down) } << "ab" << 2;
    QTest::newRow("shift arrow") << QList<Step> { click(0), press(Qt::Key_Down, Qt::ShiftModifier) } << "b" << 2;
}

// The window's handler rewrites the selected items, so the signal must come once the selection has settled.
void TestFileListBox::userSelectionTogglesMarks()
{
    QFETCH(QList<Step>, steps);
    QFETCH(QString, marked);
    QFETCH(int, emitted);
    m_list->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_list.get()));
    QSignalSpy spy(m_list.get(), &FileListBox::userSelectionChanged);
    connect(m_list.get(), &FileListBox::userSelectionChanged, this, [this] {
        QList<FileListBox::MarkChange> changes;
        for (const int row : m_list->selectedRows())
            changes.push_back({ row, !m_list->isMarked(row) });
        m_list->setMarks(changes);
    });

    for (const Step& step : steps) {
        const QPoint at = m_list->visualItemRect(m_list->item(std::max(step.row, 0))).center();
        if (step.row >= 0)
            QTest::mouseClick(m_list->viewport(), Qt::LeftButton, step.modifiers, at);
        else
            QTest::keyClick(m_list.get(), step.key, step.modifiers);
    }

    QString actual;
    for (const QString& text : texts(*m_list)) {
        if (text.endsWith(u'*'))
            actual += text.front();
    }
    QCOMPARE(actual, marked);
    QCOMPARE(spy.count(), emitted);
}

void TestFileListBox::rereadOnlyOnRealChange_data()
{
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("folder"); // relative to the folder shown
    QTest::addColumn<bool>("reread");

    QTest::newRow("same mask") << "*.*"
                               << "." << false;
    QTest::newRow("other mask") << "*.htm"
                                << "." << true;
    QTest::newRow("same folder, trailing separator") << "*.*"
                                                     << "./" << false;
    QTest::newRow("other folder") << "*.*"
                                  << "sub" << true;
}

void TestFileListBox::rereadOnlyOnRealChange()
{
    QFETCH(QString, mask);
    QFETCH(QString, folder);
    QFETCH(bool, reread);
    makeEntries(m_dir->path(), { "sub/", "sub/a.htm" });
    m_list->setMarked(0, true);

    m_list->setMask(mask);
    m_list->setDirectory(m_dir->path() + "/" + folder);

    QCOMPARE(m_list->itemText(0), reread ? "a.htm" : "a.htm*");
}

QTEST_MAIN(TestFileListBox)
#include "tst_file_list_box.moc"
