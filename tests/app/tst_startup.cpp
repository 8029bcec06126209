// Runs of the built snellitore without a display: the command-line mode on standard error, and the refusals.
#include <engine/size_summary.h>

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <functional>

#include <sys/resource.h>

namespace {

constexpr int RunTimeoutMs = 30000;

struct Finished
{
    bool inTime = false;
    QProcess::ExitStatus status = QProcess::CrashExit;
    int code = -1;
    QByteArray out;
    QByteArray err;
};

// The environment of a session without X11 or Wayland, and no Qt platform chosen.
QProcessEnvironment withoutDisplay()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    return environment;
}

// Settings such as "DISPLAY=:999" on top of a session without a display.
QProcessEnvironment withoutDisplayBut(const QStringList& settings)
{
    QProcessEnvironment environment = withoutDisplay();
    for (const QString& setting : settings)
        environment.insert(setting.section('=', 0, 0), setting.section('=', 1));
    return environment;
}

Finished run(const QString& program, const QStringList& arguments, const QString& folder,
    const std::function<void()>& inChild = {}, const QStringList& settings = {})
{
    QProcess process;
    process.setProcessEnvironment(withoutDisplayBut(settings));
    if (inChild)
        process.setChildProcessModifier(inChild);
    process.setWorkingDirectory(folder);
    process.start(program, arguments);
    Finished finished;
    finished.inTime = process.waitForFinished(RunTimeoutMs);
    if (!finished.inTime) {
        process.kill();
        process.waitForFinished();
    }
    finished.status = process.exitStatus();
    finished.code = process.exitCode();
    finished.out = process.readAllStandardOutput();
    finished.err = process.readAllStandardError();
    return finished;
}

Finished runProgram(const QStringList& arguments, const QString& folder, const std::function<void()>& inChild = {},
    const QStringList& settings = {})
{
    return run(QStringLiteral(SNELLITORE_PROGRAM), arguments, folder, inChild, settings);
}

// A display number that no X server answers on this machine.
constexpr const char* UnreachableDisplay = ":999";

// In the child: files may not grow past a few bytes, and a write beyond that fails instead of killing.
void limitFileSize()
{
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit { 16, 16 };
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const QByteArray Page = "<html>\r\n<body   bgcolor=\"white\" >\r\n\t<div align=\"center\">\r\n"
                        "\t\t<p>Hello,     world</p>   <p>again</p>\r\n\t</div>\r\n</body>\r\n</html>\r\n";

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void compactsFileLikeTheCli();
    void endsWithFailureWhenCompactionFails();
    void answersWithoutCompacting_data();
    void answersWithoutCompacting();
    void startsHeadlessWhenNoWindowCanShow_data();
    void startsHeadlessWhenNoWindowCanShow();
    void opensAWorkingDisplay();
};

void TestStartup::compactsFileLikeTheCli()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    writeFile(folder.filePath("page.htm"), Page);

    const Finished program = runProgram({ "page.htm", "ignored.htm" }, folder.path());
    QVERIFY2(program.inTime, "snellitore did not end");
    QCOMPARE(program.status, QProcess::NormalExit);
    QCOMPARE(program.code, 0);

    const Finished cli = run(QStringLiteral(SNELLITORE_CLI), { "page.htm" }, folder.path());
    QVERIFY(cli.inTime);
    QCOMPARE(cli.code, 0);
    const QByteArray big = readFile(folder.filePath("page.big"));
    QVERIFY(!big.isEmpty());
    QVERIFY(big.size() < Page.size());
    QCOMPARE(big, cli.out);
    QCOMPARE(readFile(folder.filePath("page.htm")), Page);
    QVERIFY(!QFile::exists(folder.filePath("ignored.big")));

    const std::string summary = summaryText("page.htm", Page.size(), "page.big", big.size());
    QCOMPARE(QString::fromLocal8Bit(program.err), "Information: " + QString::fromStdString(summary) + "\n");
    QVERIFY(program.out.isEmpty());
}

void TestStartup::endsWithFailureWhenCompactionFails()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    writeFile(folder.filePath("page.htm"), Page);

    const Finished program = runProgram({ "page.htm" }, folder.path(), limitFileSize);
    QVERIFY2(program.inTime, "snellitore did not end");
    QCOMPARE(program.status, QProcess::NormalExit);
    QCOMPARE(program.code, 1);
    const QString err = QString::fromLocal8Bit(program.err);
    // The error as ReportError shows it: the application title as caption, a full stop added.
    static const QRegularExpression reported(QStringLiteral("^snellitore: Error: [^\n]+\\.\n"));
    QVERIFY2(reported.match(err).hasMatch(), program.err.constData());
    QVERIFY2(err.contains("no window to go on with"), program.err.constData());
    QVERIFY2(!err.contains("Information:"), program.err.constData());
    QCOMPARE(readFile(folder.filePath("page.htm")), Page);
}

void TestStartup::answersWithoutCompacting_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("errContains");

    const QString needsDisplay = QStringLiteral("no display found");
    QTest::newRow("missing file") << QStringList { "missing.htm" } << 0 << ""
                                  << "Error: File non esite\n";
    QTest::newRow("no argument") << QStringList {} << 2 << "" << needsDisplay;
    QTest::newRow("empty first argument counts as none") << QStringList { "", "page.htm" } << 2 << "" << needsDisplay;
    QTest::newRow("version") << QStringList { "--version" } << 0 << "snellitore " SNELLITORE_VERSION "\n"
                             << "";
    QTest::newRow("help") << QStringList { "--help" } << 0 << "usage: snellitore [FILE]\n"
                          << "";
}

void TestStartup::answersWithoutCompacting()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, code);
    QFETCH(QString, out);
    QFETCH(QString, errContains);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    writeFile(folder.filePath("page.htm"), Page);

    const Finished program = runProgram(arguments, folder.path());
    QVERIFY2(program.inTime, "snellitore did not end");
    QCOMPARE(program.status, QProcess::NormalExit);
    QCOMPARE(program.code, code);
    if (out.isEmpty())
        QVERIFY2(program.out.isEmpty(), program.out.constData());
    else
        QVERIFY2(QString::fromLocal8Bit(program.out).startsWith(out), program.out.constData());
    if (errContains.isEmpty())
        QVERIFY2(program.err.isEmpty(), program.err.constData());
    else
        QVERIFY2(QString::fromLocal8Bit(program.err).contains(errContains), program.err.constData());
    if (code == 2)
        QVERIFY2(program.err.contains("snellitore FILE"), program.err.constData());
    // Nothing but the page itself: no destination, no test file, no ".big".
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList { "page.htm" });
}

void TestStartup::startsHeadlessWhenNoWindowCanShow_data()
{
    QTest::addColumn<QStringList>("settings");
    QTest::addColumn<bool>("withFile");
    QTest::addColumn<QString>("reason");

    const QString unreachableX11 = QStringLiteral("DISPLAY=") + UnreachableDisplay;
    const QString unreachableWayland = QStringLiteral("WAYLAND_DISPLAY=snellitore-no-such-wayland-display");
    const QString notOpened = QStringLiteral("cannot be opened");
    QTest::newRow("offscreen, file") << QStringList { "QT_QPA_PLATFORM=offscreen" } << true << "";
    QTest::newRow("offscreen, no file") << QStringList { "QT_QPA_PLATFORM=offscreen" } << false
                                        << "QT_QPA_PLATFORM chooses offscreen";
    QTest::newRow("minimal, file") << QStringList { "QT_QPA_PLATFORM=minimal" } << true << "";
    QTest::newRow("minimal, no file") << QStringList { "QT_QPA_PLATFORM=minimal" } << false
                                      << "QT_QPA_PLATFORM chooses minimal";
    QTest::newRow("unreachable X11 display, file") << QStringList { unreachableX11 } << true << "";
    QTest::newRow("unreachable X11 display, no file") << QStringList { unreachableX11 } << false << notOpened;
    QTest::newRow("xcb chosen, unreachable display, file")
        << QStringList { "QT_QPA_PLATFORM=xcb", unreachableX11 } << true << "";
    QTest::newRow("xcb chosen, unreachable display, no file")
        << QStringList { "QT_QPA_PLATFORM=xcb", unreachableX11 } << false << notOpened;
    QTest::newRow("unreachable Wayland display, file") << QStringList { unreachableWayland } << true << "";
    QTest::newRow("unreachable Wayland display, no file") << QStringList { unreachableWayland } << false << notOpened;
}

// Whatever stops a window from being seen, the run ends by itself: the command-line mode on standard error with
// 0, or the "needs a display" text with 2; never a wait on an invisible box, an abort or the toolkit's notes.
void TestStartup::startsHeadlessWhenNoWindowCanShow()
{
    QFETCH(QStringList, settings);
    QFETCH(bool, withFile);
    QFETCH(QString, reason);
    if (QFile::exists(QStringLiteral("/tmp/.X11-unix/X999")))
        QSKIP("an X server listens on display :999 here, so it cannot stand for an unreachable display");
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    writeFile(folder.filePath("page.htm"), Page);

    const Finished program
        = runProgram(withFile ? QStringList { "page.htm" } : QStringList {}, folder.path(), {}, settings);
    QVERIFY2(program.inTime, "snellitore did not end");
    QCOMPARE(program.status, QProcess::NormalExit);
    QVERIFY2(program.out.isEmpty(), program.out.constData());
    if (withFile) {
        QCOMPARE(program.code, 0);
        const QByteArray big = readFile(folder.filePath("page.big"));
        QVERIFY(!big.isEmpty() && big.size() < Page.size());
        const std::string summary = summaryText("page.htm", Page.size(), "page.big", big.size());
        QCOMPARE(QString::fromLocal8Bit(program.err), "Information: " + QString::fromStdString(summary) + "\n");
    } else {
        QCOMPARE(program.code, 2);
        const QString err = QString::fromLocal8Bit(program.err);
        QVERIFY2(err.startsWith("snellitore: no display found (") && err.contains(reason), program.err.constData());
        QVERIFY2(err.contains("snellitore FILE"), program.err.constData());
        QVERIFY2(!err.contains("qt.qpa") && !err.contains("plugin"), program.err.constData());
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList { "page.htm" });
    }
}

// A display that opens is used: the summary waits in a box on it instead of going to standard error.
void TestStartup::opensAWorkingDisplay()
{
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty())
        QSKIP("Xvfb is not installed, so no display can be started for the test");
    QProcess server;
    server.start(xvfb, { "-displayfd", "1", "-screen", "0", "800x600x24", "-nolisten", "tcp" });
    QByteArray number;
    while (!number.endsWith('\n') && server.waitForReadyRead(RunTimeoutMs))
        number += server.readAllStandardOutput();
    const auto stopServer = qScopeGuard([&] {
        server.kill();
        server.waitForFinished();
    });
    QVERIFY2(number.endsWith('\n'), "Xvfb did not tell its display number");
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    writeFile(folder.filePath("page.htm"), Page);

    QProcess program;
    program.setProcessEnvironment(withoutDisplayBut({ "DISPLAY=:" + QString::fromLatin1(number.trimmed()) }));
    program.setWorkingDirectory(folder.path());
    program.start(QStringLiteral(SNELLITORE_PROGRAM), { "page.htm" });
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(folder.filePath("page.big")), RunTimeoutMs);
    // Without the display the run would end at once, its summary on standard error.
    QVERIFY(!program.waitForFinished(1000));
    program.kill();
    program.waitForFinished();
    QVERIFY2(!program.readAllStandardError().contains("Information:"), "the summary went to standard error");
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
