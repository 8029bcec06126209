// Start-up creates the four windows once, hidden, in their order; the command-line mode ends before the
// other three exist.
#include <tests/support/gui_helpers.h>

#include <app/startup.h>
#include <forms/aboutbox.h>
#include <forms/comp.h>
#include <forms/diredit2.h>
#include <forms/stati.h>
#include <shell/command_line.h>

#include <QFile>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// What existed when the command-line mode ended the process.
bool othersExistedAtExit = false;

} // namespace

class TestWindowOrder : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void createsFourHiddenWindowsWithoutArgument();
    void commandLineModeEndsBeforeOtherWindowsExist();
};

void TestWindowOrder::cleanup()
{
    destroyWindows();
    setProgramArguments({});
}

void TestWindowOrder::createsFourHiddenWindowsWithoutArgument()
{
    setProgramArguments({});
    createWindows();
    QVERIFY(Form1 && About && Diredit && forms::stat);
    QVERIFY(!Form1->isVisible() && !About->isVisible() && !Diredit->isVisible() && !forms::stat->isVisible());
    QCOMPARE(forms::stat->StringGrid1->item(0, 0)->text(), QStringLiteral("Sorgente")); // staticreate ran
    QCOMPARE(forms::stat->StringGrid1->rowCount(), 2);
    destroyWindows();
    QVERIFY(!Form1 && !About && !Diredit && !forms::stat);
}

void TestWindowOrder::commandLineModeEndsBeforeOtherWindowsExist()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString page = folder.filePath(QStringLiteral("page.htm"));
    QFile file(page);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("<p>  a\t b </p>\r\n");
    file.close();

    MessageRecorder messages;
    othersExistedAtExit = true;
    const ExitFunction previous = setExitFunction([](int code) {
        ExitRecorder::codes().push_back(code);
        othersExistedAtExit = About || Diredit || forms::stat;
    });
    ExitRecorder::codes().clear();
    setProgramArguments({ page.toStdString() });
    createWindows(); // in the program the exit ends the process inside Form1's creation
    setExitFunction(previous);

    QCOMPARE(ExitRecorder::codes(), std::vector<int> { 0 });
    QVERIFY(!othersExistedAtExit);
    QCOMPARE(messages.messages.size(), std::size_t(1));
    QCOMPARE(messages.messages.front().kind, MessageKind::Information);
    QVERIFY(QFile::exists(folder.filePath(QStringLiteral("page.big"))));
}

QTEST_MAIN(TestWindowOrder)
#include "tst_window_order.moc"
