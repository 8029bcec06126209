// Tests of FilterComboBox: choosing a kind of file sets the mask of its file list.
#include <tests/widgets/pane_helpers.h>
#include <widgets/file_list_box.h>
#include <widgets/filter_combo_box.h>

#include <QTemporaryDir>

class TestFilterComboBox : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void choosing_data();
    void choosing();
    void choosingTheSameMaskKeepsTexts();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestFilterComboBox::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    makeEntries(m_dir->path(), { "a.htm", "b.html", "c.js", "d.vbs", "e.txt" });
}

void TestFilterComboBox::choosing_data()
{
    QTest::addColumn<int>("downPresses");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QStringList>("files");

    QTest::newRow("All files (*.*)") << 0 << "*.*" << QStringList { "a.htm", "b.html", "c.js", "d.vbs", "e.txt" };
    QTest::newRow("htm") << 1 << "*.htm" << QStringList { "a.htm" };
    QTest::newRow("html") << 2 << "*.html" << QStringList { "b.html" };
    QTest::newRow("script") << 3 << "*.js" << QStringList { "c.js" };
    QTest::newRow("vbs") << 4 << "*.vbs" << QStringList { "d.vbs" };
}

void TestFilterComboBox::choosing()
{
    QFETCH(int, downPresses);
    QFETCH(QString, mask);
    QFETCH(QStringList, files);
    FileListBox source;
    FileListBox target;
    source.setDirectory(m_dir->path());
    target.setDirectory(m_dir->path());
    FilterComboBox box;
    box.setFilter("All files (*.*)|*.*|htm|*.htm|html|*.html|script|*.js|vbs|*.vbs");
    box.setFileList(&source);

    for (int i = 0; i < downPresses; ++i)
        QTest::keyClick(&box, Qt::Key_Down);

    QCOMPARE(box.currentText(), QString(QTest::currentDataTag()));
    QCOMPARE(box.mask(), mask);
    QCOMPARE(texts(source), files);
    QCOMPARE(texts(target).size(), 5);
}

// Another item with the mask already in use must not re-read the list: that would drop the marks in it.
void TestFilterComboBox::choosingTheSameMaskKeepsTexts()
{
    FileListBox files;
    files.setDirectory(m_dir->path());
    FilterComboBox box;
    box.setFilter("htm|*.htm|pages|*.htm|all|*.*");
    box.setFileList(&files);
    files.setMarked(0, true);

    QTest::keyClick(&box, Qt::Key_Down);
    QCOMPARE(files.itemText(0), "a.htm*");
    QTest::keyClick(&box, Qt::Key_Down);
    QCOMPARE(files.itemText(0), "a.htm");
}

QTEST_MAIN(TestFilterComboBox)
#include "tst_filter_combo_box.moc"
