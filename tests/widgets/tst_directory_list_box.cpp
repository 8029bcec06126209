// Tests of DirectoryListBox: the items for a folder, opening items, and rebuilding from disk.
#include <tests/widgets/pane_helpers.h>
#include <widgets/directory_list_box.h>
#include <widgets/file_list_box.h>

#include <QApplication>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>

namespace {

// The width the main window gives its folder lists.
int scaledWidth()
{
    return qRound(145 * QApplication::primaryScreen()->logicalDotsPerInchX() / 120.0);
}

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
    void indentStepIsSmallAndScaled_data();
    void indentStepIsSmallAndScaled();
    void currentFolderInView_data();
    void currentFolderInView();
    void focusedRowFramed_data();
    void focusedRowFramed();

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
    // Every row tells its whole path.
    QString level;
    for (int row = 0; row < m_list->count(); ++row) {
        const QString text = m_list->item(row)->text();
        level = row == 0 ? text : QDir(row <= current ? level : m_list->directory()).filePath(text);
        QCOMPARE(m_list->item(row)->toolTip(), level);
    }
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

void TestDirectoryListBox::indentStepIsSmallAndScaled_data()
{
    QTest::addColumn<int>("dpi");
    QTest::addColumn<int>("step");

    QTest::newRow("96 dpi") << 96 << 5;
    QTest::newRow("120 dpi") << 120 << 6;
    QTest::newRow("144 dpi") << 144 << 8;
    QTest::newRow("192 dpi") << 192 << 10;
}

void TestDirectoryListBox::indentStepIsSmallAndScaled()
{
    QFETCH(int, dpi);
    QFETCH(int, step);
    QCOMPARE(DirectoryListBox::indentStep(dpi), step);
}

void TestDirectoryListBox::currentFolderInView_data()
{
    QTest::addColumn<QString>("below"); // folders below the temporary one; the last is opened
    QTest::addColumn<int>("height"); // of the list, in rows

    QTest::newRow("deep, in a short list") << "a/bb/ccc/dddd/out2" << 4;
    QTest::newRow("deeper, the name fits once scrolled") << "a/b/c/d/e/f/g/h/i/j/k/l/folder-name" << 30;
    QTest::newRow("name wider than the list") << "x/current-folder-name-wider-than-the-list" << 30;
}

// The folder just opened is in view with its name readable, in a list as narrow as the window's.
void TestDirectoryListBox::currentFolderInView()
{
    QFETCH(QString, below);
    QFETCH(int, height);
    const QString folder = m_dir->filePath(below);
    makeEntries(folder, { "sub1/", "sub2/", "sub3/", "sub4/", "sub5/", "sub6/", "sub7/", "sub8/" });
    m_list->resize(scaledWidth(), 20);
    QVERIFY(m_list->setDirectory(folder));
    m_list->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_list.get()));
    m_list->resize(scaledWidth(), height * m_list->visualItemRect(m_list->item(0)).height() + 2 * m_list->frameWidth());

    const QModelIndex current = m_list->currentIndex();
    const QRect row = m_list->visualRect(current);
    QVERIFY(row.top() >= 0 && row.bottom() < m_list->viewport()->height());
    // The row's picture and name end where the list's own item options put them.
    QStyleOptionViewItem option;
    option.initFrom(m_list.get());
    option.widget = m_list.get();
    const int icon = m_list->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, m_list.get());
    option.decorationSize = QSize(icon, icon);
    const int nameEnd = row.left() + m_list->itemDelegate()->sizeHint(option, current).width();
    const int indent = m_list->currentRow() * DirectoryListBox::indentStep(m_list->logicalDpiX());
    QVERIFY2(row.left() + indent >= 0, "the folder's picture is scrolled out on the left");
    if (nameEnd - (row.left() + indent) <= m_list->viewport()->width())
        QVERIFY2(nameEnd <= m_list->viewport()->width(), "the name is cut on the right");
    QCOMPARE(m_list->currentItem()->text(), QFileInfo(folder).fileName());
}

void TestDirectoryListBox::focusedRowFramed_data()
{
    QTest::addColumn<bool>("focused");
    QTest::addColumn<bool>("selected");
    QTest::addColumn<int>("frame"); // the colour role of the row's top edge, inside the cell

    QTest::newRow("focused current folder") << true << true << int(QPalette::HighlightedText);
    QTest::newRow("focused row not selected") << true << false << int(QPalette::Highlight);
    QTest::newRow("current folder without focus") << false << true << int(QPalette::Highlight);
}

// The row that has the keyboard focus stands out from the highlighted current folder by a plain frame.
void TestDirectoryListBox::focusedRowFramed()
{
    QFETCH(bool, focused);
    QFETCH(bool, selected);
    QFETCH(int, frame);
    m_list->resize(scaledWidth(), 300);
    m_list->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_list.get()));
    QApplication::setActiveWindow(m_list.get());
    QVERIFY(QTest::qWaitForWindowActive(m_list.get()));
    if (focused)
        m_list->setFocus();
    else
        m_list->clearFocus();
    QTRY_COMPARE(m_list->hasFocus(), focused);
    const int row = selected ? m_list->currentRow() : m_list->currentRow() - 1;
    if (!selected)
        m_list->setCurrentRow(row, QItemSelectionModel::Deselect);

    const QImage image = m_list->viewport()->grab().toImage();
    const QRect rect = m_list->visualItemRect(m_list->item(row));
    const QPoint onTopEdge(std::min(rect.right(), image.width() - 1) - 4, rect.top() + 1);
    QCOMPARE(image.pixelColor(onTopEdge), m_list->palette().color(QPalette::Active, QPalette::ColorRole(frame)));
}

QTEST_MAIN(TestDirectoryListBox)
#include "tst_directory_list_box.moc"
