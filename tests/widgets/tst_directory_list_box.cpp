// Tests of DirectoryListBox: the items for a folder, opening items, and rebuilding from disk.
#include "directory_list_box.h"
#include "file_list_box.h"
#include "pane_helpers.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>

namespace {

QStringList levelsOf(const QString& folder)
{
    return QStringList { "/" } + folder.split(u'/', Qt::SkipEmptyParts);
}

} // namespace

class TestDirectoryListBox : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void items_data();
    void items();
    void opening_data();
    void opening();
    void rebuildReadsDiskButKeepsFileList();
    void missingFolders();
    void currentFolderDeleted();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_site; // subfolders Beta, alpha, .hidden; file index.htm
    std::unique_ptr<DirectoryListBox> m_list;
    FileListBox* m_files = nullptr; // linked to m_list and owned by it
};

void TestDirectoryListBox::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_site = m_dir->filePath("site");
    makeEntries(m_site, { "Beta/", "alpha/", ".hidden/", "index.htm" });
    m_list = std::make_unique<DirectoryListBox>();
    m_files = new FileListBox(m_list.get());
    m_list->setFileList(m_files);
    QVERIFY(m_list->setDirectory(m_site));
}

void TestDirectoryListBox::cleanup()
{
    QDir::setCurrent(QDir::tempPath());
    removeContents(m_dir->path());
}

void TestDirectoryListBox::items_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("atRoot");

    QTest::newRow("root") << "/" << true;
    QTest::newRow("below root, given with a trailing separator") << "site/" << false;
}

void TestDirectoryListBox::items()
{
    QFETCH(QString, path);
    QFETCH(bool, atRoot);
    const QStringList levels = atRoot ? QStringList { "/" } : levelsOf(m_site);
    const QStringList head = atRoot ? levels : levels + QStringList { "alpha", "Beta" };
    const int current = levels.size() - 1;

    QVERIFY(m_list->setDirectory(atRoot ? path : m_dir->filePath(path)));

    QCOMPARE(m_list->directory(), atRoot ? "/" : m_site);
    QCOMPARE(texts(*m_list).mid(0, head.size()), head);
    QVERIFY(texts(*m_list).filter(QRegularExpression("^\\.")).isEmpty());
    QCOMPARE(m_list->selectedItems(), QList<QListWidgetItem*> { m_list->item(current) });
    QCOMPARE(m_list->currentRow(), current);
}

void TestDirectoryListBox::opening_data()
{
    QTest::addColumn<QString>("target"); // text of the item acted on; "" for the parent of site
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("expected"); // relative to the temporary folder, or "/"

    QTest::newRow("subfolder by double-click") << "alpha"
                                               << "double-click"
                                               << "site/alpha";
    QTest::newRow("subfolder by Enter") << "Beta"
                                        << "Enter"
                                        << "site/Beta";
    QTest::newRow("level above by double-click") << ""
                                                 << "double-click"
                                                 << ".";
    QTest::newRow("root by Enter") << "/"
                                   << "Enter"
                                   << "/";
    QTest::newRow("single click only selects") << "alpha"
                                               << "click"
                                               << "site";
}

void TestDirectoryListBox::opening()
{
    QFETCH(QString, target);
    QFETCH(QString, action);
    QFETCH(QString, expected);
    const QString expectedPath = expected == "/" ? expected : QDir::cleanPath(m_dir->filePath(expected));
    m_list->resize(200, 800);
    m_list->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_list.get()));
    QSignalSpy spy(m_list.get(), &DirectoryListBox::directoryChanged);
    QListWidgetItem* item
        = m_list->findItems(target.isEmpty() ? QFileInfo(m_dir->path()).fileName() : target, Qt::MatchExactly).value(0);
    QVERIFY(item);
    m_list->scrollToItem(item);
    const QPoint at = m_list->visualItemRect(item).center();

    if (action == "Enter") {
        m_list->setCurrentItem(item);
        QTest::keyClick(m_list.get(), Qt::Key_Return);
    } else if (action == "click") {
        QTest::mouseClick(m_list->viewport(), Qt::LeftButton, {}, at);
    } else {
        QTest::mouseDClick(m_list->viewport(), Qt::LeftButton, {}, at);
    }

    QCOMPARE(m_list->directory(), expectedPath);
    QCOMPARE(QDir::currentPath(), expectedPath);
    QCOMPARE(m_files->directory(), expectedPath);
    const QString opened = expected == "/" ? expected : QFileInfo(expectedPath).fileName();
    QCOMPARE(m_list->currentItem()->text(), action == "click" ? target : opened);
    QCOMPARE(spy.count(), action == "click" ? 0 : 1);
}

// A refresh shows new folders but leaves a file list on the same folder alone: a re-read would drop its marks.
void TestDirectoryListBox::rebuildReadsDiskButKeepsFileList()
{
    m_files->setMarked(0, true);
    QVERIFY(QDir(m_site).mkdir("gamma"));

    m_list->rebuild();

    QCOMPARE(texts(*m_list).mid(levelsOf(m_site).size()), (QStringList { "alpha", "Beta", "gamma" }));
    QCOMPARE(m_files->itemText(0), "index.htm*");
}

// A folder that cannot be entered is refused; one removed while shown gives way to the nearest level left.
void TestDirectoryListBox::missingFolders()
{
    QVERIFY(m_list->setDirectory(m_site + "/alpha"));
    QSignalSpy spy(m_list.get(), &DirectoryListBox::directoryChanged);

    QVERIFY(!m_list->setDirectory(m_site + "/missing"));
    QCOMPARE(m_list->directory(), m_site + "/alpha");
    QCOMPARE(spy.count(), 0);

    QVERIFY(QDir(m_site + "/alpha").removeRecursively());
    m_list->rebuild();
    QCOMPARE(m_list->directory(), m_site);
    QCOMPARE(QDir::currentPath(), m_site);
    QCOMPARE(texts(*m_files), QStringList { "index.htm" });
}

// With the process's current folder deleted Qt names it by an empty path; the list must still settle on a
// folder that exists rather than walk up from it forever.
void TestDirectoryListBox::currentFolderDeleted()
{
    const QString gone = m_dir->filePath("gone");
    QVERIFY(QDir().mkpath(gone));
    QVERIFY(QDir::setCurrent(gone));
    QVERIFY(QDir(gone).removeRecursively());
    DirectoryListBox list;
    list.setDirectory(QDir::currentPath());
    list.rebuild();
    QVERIFY(QFileInfo(list.directory()).isDir());
    QDir::setCurrent(m_dir->path());
}

QTEST_MAIN(TestDirectoryListBox)
#include "tst_directory_list_box.moc"
