// Tests of the statistics window: the grid as created, the rows appended to it, and how the window closes.
#include <forms/stati.h>
#include <tests/support/gui_helpers.h>

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

#include <sys/stat.h> // with the window's header: the instance must not clash with the C library's stat()

namespace {

QStringList rowTexts(const QTableWidget* grid, int row)
{
    QStringList texts;
    for (int column = 0; column < grid->columnCount(); ++column) {
        const QTableWidgetItem* cell = grid->item(row, column);
        texts << (cell ? cell->text() : QString());
    }
    return texts;
}

} // namespace

class TestStati : public QObject
{
    Q_OBJECT

private slots:
    void createdGrid();
    void appendRow_data();
    void appendRow();
    void rowsKeepTheirOrder();
    void closing_data();
    void closing();
    void gridIsOneTabStop_data();
    void gridIsOneTabStop();
    void eachOpeningStartsOnTheGrid_data();
    void eachOpeningStartsOnTheGrid();
    void instanceAndLibraryStatCoexist();
};

void TestStati::createdGrid()
{
    Tstat window;
    QTableWidget* grid = window.StringGrid1;
    QCOMPARE(window.objectName(), QStringLiteral("stat"));
    QCOMPARE(window.windowTitle(), QStringLiteral("snellitore Web 2002"));
    QCOMPARE(window.Label1->text(), QStringLiteral("Statistiche"));
    QCOMPARE(grid->objectName(), QStringLiteral("StringGrid1"));
    QCOMPARE(grid->rowCount(), 2);
    QCOMPARE(grid->columnCount(), 6);
    QCOMPARE(rowTexts(grid, 0),
        QStringList({ "Sorgente", "Dimensioni", "Destinazione", "Dimensioni", "Riduzione", "Ratio" }));
    QCOMPARE(rowTexts(grid, 1), QStringList(6));
    const int widths[] = { 151, 110, 146, 105, 90, 51 };
    for (int column = 0; column < 6; ++column)
        QCOMPARE(grid->columnWidth(column), scaled(&window, widths[column]));
    QCOMPARE(grid->rowHeight(1), scaled(&window, 24));
    // The header row stays in place above the rows and its column borders can be dragged; no row numbers.
    QVERIFY(grid->isRowHidden(0));
    QHeaderView* header = grid->horizontalHeader();
    QVERIFY(!header->isHidden());
    for (int column = 0; column < 6; ++column) {
        QCOMPARE(header->sectionResizeMode(column), QHeaderView::Interactive);
        QCOMPARE(grid->horizontalHeaderItem(column)->text(), grid->item(0, column)->text());
    }
    QVERIFY(grid->verticalHeader()->isHidden());
    QCOMPARE(grid->editTriggers(), QAbstractItemView::NoEditTriggers);
    QVERIFY(!(grid->item(0, 0)->flags() & Qt::ItemIsEditable));
}

void TestStati::appendRow_data()
{
    QTest::addColumn<qint64>("sourceSize");
    QTest::addColumn<qint64>("written");
    QTest::addColumn<QStringList>("cells");
    QTest::newRow("quarter saved") << qint64(
        1000) << qint64(750) << QStringList({ "a.htm", "1000 byte ", "b.htm", "750 byte ", "-250 byte ", "-25%" });
    QTest::newRow("half to even") << qint64(8) << qint64(7)
                                  << QStringList({ "a.htm", "8 byte ", "b.htm", "7 byte ", "-1 byte ", "-12%" });
    QTest::newRow("grown") << qint64(2) << qint64(3)
                           << QStringList({ "a.htm", "2 byte ", "b.htm", "3 byte ", "1 byte ", "50%" });
    QTest::newRow("empty source") << qint64(0) << qint64(0)
                                  << QStringList({ "a.htm", "0 byte ", "b.htm", "0 byte ", "0 byte ", "0%" });
    QTest::newRow("beyond 32 bits") << qint64(5000000000) << qint64(2500000000)
                                    << QStringList({ "a.htm", "5000000000 byte ", "b.htm", "2500000000 byte ",
                                           "-2500000000 byte ", "-50%" });
}

void TestStati::appendRow()
{
    QFETCH(qint64, sourceSize);
    QFETCH(qint64, written);
    QFETCH(QStringList, cells);
    Tstat window;
    window.appendRow(QStringLiteral("a.htm"), sourceSize, QStringLiteral("b.htm"), written);
    QCOMPARE(window.StringGrid1->rowCount(), 3);
    QCOMPARE(rowTexts(window.StringGrid1, 1), cells);
    QCOMPARE(rowTexts(window.StringGrid1, 2), QStringList(6));
    QVERIFY(!(window.StringGrid1->item(1, 0)->flags() & Qt::ItemIsEditable));
}

void TestStati::rowsKeepTheirOrder()
{
    Tstat window;
    for (int i = 1; i <= 3; ++i)
        window.appendRow(QStringLiteral("f%1.htm").arg(i), 10 * i, QStringLiteral("g%1.htm").arg(i), i);
    QCOMPARE(window.StringGrid1->rowCount(), 5);
    for (int i = 1; i <= 3; ++i)
        QCOMPARE(window.StringGrid1->item(i, 0)->text(), QStringLiteral("f%1.htm").arg(i));
    QCOMPARE(window.StringGrid1->item(0, 0)->text(), QStringLiteral("Sorgente"));
}

void TestStati::closing_data()
{
    QTest::addColumn<QString>("action");
    QTest::newRow("OK button") << "ok";
    QTest::newRow("Enter") << "enter";
    QTest::newRow("close box") << "close";
}

void TestStati::closing()
{
    QFETCH(QString, action);
    Tstat window;
    bool openAfterEscape = false;
    whenModal<Tstat>([&](Tstat* w) {
        pressKey(w, Qt::Key_Escape);
        openAfterEscape = w->isVisible();
        if (action == "ok")
            QTest::mouseClick(w->OKBtn, Qt::LeftButton);
        else if (action == "enter")
            QTest::keyClick(w, Qt::Key_Enter);
        else
            w->close();
    });
    window.exec();
    QVERIFY(openAfterEscape);
    QVERIFY(window.isHidden());
}

void TestStati::gridIsOneTabStop_data()
{
    QTest::addColumn<int>("rows");
    QTest::newRow("only the empty row") << 0;
    QTest::newRow("three data rows") << 3;
}

// Tab leaves the grid for OK at once, whatever the number of cells; the arrows still walk the cells. The focus is
// read from the window, which has it before the system activates the window (late on a loaded machine).
void TestStati::gridIsOneTabStop()
{
    QFETCH(int, rows);
    Tstat window;
    for (int i = 0; i < rows; ++i)
        window.appendRow(QStringLiteral("f%1.htm").arg(i), 10, QStringLiteral("f%1.htm").arg(i), 5);
    QWidget* afterTab = nullptr;
    QWidget* afterSecondTab = nullptr;
    int columnAfterRight = -1;
    whenModal<Tstat>([&](Tstat* w) {
        w->StringGrid1->setFocus();
        w->StringGrid1->setCurrentCell(1, 0);
        pressKey(w, Qt::Key_Right);
        columnAfterRight = w->StringGrid1->currentColumn();
        pressKey(w, Qt::Key_Tab);
        afterTab = w->focusWidget();
        pressKey(w, Qt::Key_Tab);
        afterSecondTab = w->focusWidget();
        w->close();
    });
    window.exec();
    QCOMPARE(columnAfterRight, 1);
    QCOMPARE(afterTab, static_cast<QWidget*>(window.OKBtn));
    QCOMPARE(afterSecondTab, static_cast<QWidget*>(window.StringGrid1));
}

void TestStati::eachOpeningStartsOnTheGrid_data()
{
    QTest::addColumn<QString>("earlierClose"); // how each opening before the last one was closed
    QTest::addColumn<int>("openings");
    QTest::newRow("first opening") << "tab space" << 1;
    QTest::newRow("second opening, the first closed from OK") << "tab space" << 2;
    QTest::newRow("third opening") << "tab space" << 3;
    QTest::newRow("second opening, the first left on OK by the close box") << "tab close" << 2;
    QTest::newRow("second opening, the first closed with Enter") << "enter" << 2;
}

// The one window is shown again and again: whatever had the focus when it closed, it opens on the grid, so that
// Tab then Space reaches OK and closes it every time.
void TestStati::eachOpeningStartsOnTheGrid()
{
    QFETCH(QString, earlierClose);
    QFETCH(int, openings);
    Tstat window;
    window.appendRow(QStringLiteral("a.htm"), 10, QStringLiteral("a.htm"), 5);
    for (int opening = 1; opening <= openings; ++opening) {
        const bool last = opening == openings;
        QWidget* focusAtStart = nullptr;
        bool closedByTabSpace = false;
        whenModal<Tstat>([&](Tstat* w) {
            focusAtStart = w->focusWidget();
            pressKey(w, Qt::Key_Tab);
            if (last || earlierClose == "tab space") {
                pressKey(w, Qt::Key_Space);
                closedByTabSpace = w->isHidden();
            } else if (earlierClose == "tab close") {
                w->close();
            } else {
                pressKey(w, Qt::Key_Tab);
                pressKey(w, Qt::Key_Enter);
            }
        });
        const ModalWatchdog watchdog;
        window.exec();
        QVERIFY2(!watchdog.fired(), qPrintable(QStringLiteral("opening %1 stayed open").arg(opening)));
        QCOMPARE(focusAtStart, static_cast<QWidget*>(window.StringGrid1));
        if (last || earlierClose == "tab space")
            QVERIFY(closedByTabSpace);
    }
}

void TestStati::instanceAndLibraryStatCoexist()
{
    struct stat info {};
    QCOMPARE(::stat(".", &info), 0);
    QVERIFY(S_ISDIR(info.st_mode));
    QCOMPARE(forms::stat, static_cast<Tstat*>(nullptr));
}

QTEST_MAIN(TestStati)
#include "tst_stati.moc"
