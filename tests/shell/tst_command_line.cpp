// Tests of the pure helpers of the application core: command-line splitting, ".big" naming, message texts.
#include <shell/command_line.h>
#include <shell/messages.h>
#include <shell/platform_choice.h>

#include <QtTest>

Q_DECLARE_METATYPE(MessageKind)

namespace {

QStringList toStringList(const std::vector<std::string>& items)
{
    QStringList list;
    for (const std::string& item : items)
        list << QString::fromStdString(item);
    return list;
}

std::vector<std::string> toVector(const QStringList& list)
{
    std::vector<std::string> items;
    for (const QString& item : list)
        items.push_back(item.toStdString());
    return items;
}

int recordedCode = -1;

QStringList recordedNotes;

void recordNote(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    static const char* const Names[] = { "debug", "warning", "critical", "fatal", "info" };
    recordedNotes << QStringLiteral("%1:%2:%3").arg(QLatin1String(Names[type]), QLatin1String(context.category), text);
}

void recordExit(int code)
{
    recordedCode = code;
}

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void splitsCommandLine_data();
    void splitsCommandLine();
    void countsArgumentsUpToFirstEmpty_data();
    void countsArgumentsUpToFirstEmpty();
    void namesBigDestination_data();
    void namesBigDestination();
    void addsFullStop_data();
    void addsFullStop();
    void makesApplicationTitle_data();
    void makesApplicationTitle();
    void captionsEachKind_data();
    void captionsEachKind();
    void endsProcessThroughReplaceableFunction();
    void listsPlatformsToTry_data();
    void listsPlatformsToTry();
    void holdsToolkitNotes_data();
    void holdsToolkitNotes();
};

void TestCommandLine::splitsCommandLine_data()
{
    QTest::addColumn<QByteArray>("commandLine");
    QTest::addColumn<QStringList>("items");

    QTest::newRow("plain") << QByteArray("prog a.htm") << QStringList { "prog", "a.htm" };
    QTest::newRow("program name alone") << QByteArray("prog") << QStringList { "prog" };
    QTest::newRow("quoted with blanks") << QByteArray(R"(prog "C:\My pages\a.htm")")
                                        << QStringList { "prog", R"(C:\My pages\a.htm)" };
    QTest::newRow("quoted program name") << QByteArray(R"("C:\Program Files\s.exe" a.htm)")
                                         << QStringList { R"(C:\Program Files\s.exe)", "a.htm" };
    QTest::newRow("quotes inside an argument")
        << QByteArray(R"(prog a"b c"d e)") << QStringList { "prog", "ab cd", "e" };
    QTest::newRow("pairs skipped where an argument begins")
        << QByteArray(R"(prog "" """" a.htm)") << QStringList { "prog", "a.htm" };
    QTest::newRow("pair glued to the argument") << QByteArray(R"(prog """"a.htm)") << QStringList { "prog", "a.htm" };
    QTest::newRow("only a pair") << QByteArray(R"(prog "")") << QStringList { "prog" };
    QTest::newRow("only blanks after the name") << QByteArray("prog \t  ") << QStringList { "prog" };
    QTest::newRow("tabs and control characters separate") << QByteArray("prog\ta.htm\001b.htm\037c.htm\r\nd.htm")
                                                          << QStringList { "prog", "a.htm", "b.htm", "c.htm", "d.htm" };
    QTest::newRow("quote open to the end of the line")
        << QByteArray(R"(prog "C:\My pages\a.htm)") << QStringList { "prog", R"(C:\My pages\a.htm)" };
    QTest::newRow("second argument kept apart")
        << QByteArray("prog a.htm b.htm") << QStringList { "prog", "a.htm", "b.htm" };
    QTest::newRow("quoted blank is an argument")
        << QByteArray(R"(prog " " a.htm)") << QStringList { "prog", " ", "a.htm" };
    QTest::newRow("empty quoted stretch ends the split")
        << QByteArray(R"(prog a.htm """)") << QStringList { "prog", "a.htm" };
    QTest::newRow("characters above 127 are not separators")
        << QByteArray("prog \xe0.htm") << QStringList { "prog", QString::fromLatin1("\xe0.htm") };
}

void TestCommandLine::splitsCommandLine()
{
    QFETCH(QByteArray, commandLine);
    QFETCH(QStringList, items);
    const std::string_view line(commandLine.constData(), static_cast<std::size_t>(commandLine.size()));
    const std::vector<std::string> split = splitCommandLine(line);
    QStringList got;
    for (const std::string& item : split)
        got << QString::fromLatin1(item.data(), static_cast<qsizetype>(item.size()));
    QCOMPARE(got, items);
}

void TestCommandLine::countsArgumentsUpToFirstEmpty_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("counted");

    QTest::newRow("none") << QStringList {} << QStringList {};
    QTest::newRow("one") << QStringList { "a.htm" } << QStringList { "a.htm" };
    QTest::newRow("two") << QStringList { "a.htm", "b.htm" } << QStringList { "a.htm", "b.htm" };
    QTest::newRow("empty first") << QStringList { "", "a.htm" } << QStringList {};
    QTest::newRow("stops at the first empty") << QStringList { "a.htm", "", "b.htm" } << QStringList { "a.htm" };
}

void TestCommandLine::countsArgumentsUpToFirstEmpty()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, counted);
    QCOMPARE(toStringList(countedArguments(toVector(arguments))), counted);
}

void TestCommandLine::namesBigDestination_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("destination");

    QTest::newRow("page") << "page.htm"
                          << "page.big";
    QTest::newRow("two extensions") << "index.min.js"
                                    << "index.big";
    QTest::newRow("already big") << "page.big"
                                 << "page.big";
    QTest::newRow("trailing dot") << "page."
                                  << "page.big";
    QTest::newRow("dot in a folder") << "/srv/my.site/index.htm"
                                     << "/srv/my.site/index.big";
    QTest::newRow("hidden folder") << "/home/u/.local/x.htm"
                                   << "/home/u/.local/x.big";
    QTest::newRow("from here") << "./p.htm"
                               << "./p.big";
    QTest::newRow("from the parent") << "../p.htm"
                                     << "../p.big";
    QTest::newRow("dotted folders, dotless name") << "../a.b/./c"
                                                  << "../a.b/./c.big";
    QTest::newRow("no dot") << "README"
                            << "README.big";
    QTest::newRow("no dot in a folder") << "docs/README"
                                        << "docs/README.big";
    QTest::newRow("hidden name") << ".htaccess"
                                 << ".htaccess.big";
    QTest::newRow("hidden name in a dotted folder") << "site.d/.htaccess"
                                                    << "site.d/.htaccess.big";
    QTest::newRow("hidden name with an extension") << "/tmp/.x.htm"
                                                   << "/tmp/.x.big";
    QTest::newRow("several leading dots") << "..x.htm"
                                          << "..x.big";
    QTest::newRow("drive path") << R"(C:\web\index.min.js)"
                                << R"(C:\web\index.big)";
#ifdef Q_OS_WIN
    QTest::newRow("dot in a Windows folder") << R"(C:\my.site\index.htm)"
                                             << R"(C:\my.site\index.big)";
    QTest::newRow("Windows, from the parent") << R"(..\index)"
                                              << R"(..\index.big)";
    QTest::newRow("both separators") << R"(C:/my.site\.htaccess)"
                                     << R"(C:/my.site\.htaccess.big)";
    QTest::newRow("drive's current folder") << R"(C:index.min.js)"
                                            << R"(C:index.big)";
    QTest::newRow("hidden name in a drive's current folder") << R"(C:.htaccess)"
                                                             << R"(C:.htaccess.big)";
#else
    QTest::newRow("a backslash is part of a Linux name") << R"(/srv/my.site\index.htm)"
                                                         << R"(/srv/my.big)";
#endif
}

void TestCommandLine::namesBigDestination()
{
    QFETCH(QString, source);
    QFETCH(QString, destination);
    QCOMPARE(QString::fromStdString(bigDestinationPath(source.toStdString())), destination);
}

void TestCommandLine::addsFullStop_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");

    QTest::newRow("letter") << "File not found"
                            << "File not found.";
    QTest::newRow("digit") << "I/O error 32"
                           << "I/O error 32.";
    QTest::newRow("closing square bracket") << "Bad name [a]"
                                            << "Bad name [a].";
    QTest::newRow("closing round bracket") << "Failed (code 5)"
                                           << "Failed (code 5)";
    QTest::newRow("exclamation mark") << "Stop!"
                                      << "Stop!";
    QTest::newRow("full stop already") << "Done."
                                       << "Done.";
    QTest::newRow("trailing blank") << "Odd "
                                    << "Odd ";
    QTest::newRow("empty") << ""
                           << "";
}

void TestCommandLine::addsFullStop()
{
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QCOMPARE(withFullStop(message), shown);
}

void TestCommandLine::makesApplicationTitle_data()
{
    QTest::addColumn<QString>("programPath");
    QTest::addColumn<QString>("title");

    QTest::newRow("upper case with extension") << "/opt/x/MYTOOL.EXE"
                                               << "Mytool";
    QTest::newRow("lower case without extension") << "snellitore"
                                                  << "snellitore";
    QTest::newRow("cut at the first dot") << "a.b.c"
                                          << "a";
    QTest::newRow("dot in a folder only") << "/opt/my.tools/Snellitore"
                                          << "Snellitore";
    QTest::newRow("name starting with a dot") << "/usr/bin/.hidden"
                                              << "";
}

void TestCommandLine::makesApplicationTitle()
{
    QFETCH(QString, programPath);
    QFETCH(QString, title);
    QCOMPARE(applicationTitleFor(programPath), title);
}

void TestCommandLine::captionsEachKind_data()
{
    QTest::addColumn<MessageKind>("kind");
    QTest::addColumn<QString>("caption");

    QTest::newRow("warning") << MessageKind::Warning << "Warning";
    QTest::newRow("error") << MessageKind::Error << "Error";
    QTest::newRow("information") << MessageKind::Information << "Information";
}

void TestCommandLine::captionsEachKind()
{
    QFETCH(MessageKind, kind);
    QFETCH(QString, caption);
    QCOMPARE(messageCaption(kind), caption);
}

void TestCommandLine::endsProcessThroughReplaceableFunction()
{
    const ExitFunction previous = setExitFunction(recordExit);
    endProcess(0);
    QCOMPARE(recordedCode, 0);
    endProcess(3);
    QCOMPARE(recordedCode, 3);
    QVERIFY(setExitFunction(previous) == &recordExit);
}

void TestCommandLine::listsPlatformsToTry_data()
{
    QTest::addColumn<QByteArray>("chosen");
    QTest::addColumn<bool>("x11");
    QTest::addColumn<bool>("wayland");
    QTest::addColumn<QByteArray>("sessionType");
    QTest::addColumn<bool>("gnome");
    QTest::addColumn<QString>("toolkit");
    QTest::addColumn<QByteArray>("platforms");

    QTest::newRow("the user's platform stays first")
        << QByteArray("xcb") << true << false << QByteArray() << false << "6.4.2" << QByteArray("xcb;offscreen");
    QTest::newRow("the user's list") << QByteArray("wayland;xcb") << true << true << QByteArray() << false << "6.4.2"
                                     << QByteArray("wayland;xcb;offscreen");
    QTest::newRow("offscreen chosen is not repeated")
        << QByteArray("offscreen") << false << false << QByteArray() << false << "6.4.2" << QByteArray("offscreen");
    QTest::newRow("offscreen with options chosen later")
        << QByteArray("xcb;offscreen:fontengine=freetype") << true << false << QByteArray() << false << "6.4.2"
        << QByteArray("xcb;offscreen:fontengine=freetype");
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    QTest::newRow("X11 session") << QByteArray() << true << false << QByteArray("x11") << false << "6.4.2"
                                 << QByteArray("xcb;wayland;offscreen");
    QTest::newRow("Wayland session") << QByteArray() << true << true << QByteArray("wayland") << false << "6.4.2"
                                     << QByteArray("wayland;xcb;offscreen");
    QTest::newRow("Wayland session on GNOME before 6.5") << QByteArray() << true << true << QByteArray("wayland")
                                                         << true << "6.4.2" << QByteArray("xcb;wayland;offscreen");
    QTest::newRow("Wayland session on GNOME from 6.5") << QByteArray() << true << true << QByteArray("wayland") << true
                                                       << "6.5.0" << QByteArray("wayland;xcb;offscreen");
    QTest::newRow("Wayland display, no session, before 6.5")
        << QByteArray() << false << true << QByteArray() << false << "6.4.2" << QByteArray("xcb;wayland;offscreen");
    QTest::newRow("Wayland display, no session, from 6.5")
        << QByteArray() << false << true << QByteArray() << false << "6.6.1" << QByteArray("wayland;xcb;offscreen");
#else
    QTest::newRow("nothing chosen: the toolkit's own choice")
        << QByteArray() << false << false << QByteArray() << false << "6.4.2" << QByteArray();
#endif
}

void TestCommandLine::listsPlatformsToTry()
{
    QFETCH(QByteArray, chosen);
    QFETCH(bool, x11);
    QFETCH(bool, wayland);
    QFETCH(QByteArray, sessionType);
    QFETCH(bool, gnome);
    QFETCH(QString, toolkit);
    QFETCH(QByteArray, platforms);
    const DisplayEnvironment environment { chosen, x11, wayland, sessionType, gnome };
    QCOMPARE(platformsToTry(environment, QVersionNumber::fromString(toolkit)), platforms);
}

void TestCommandLine::holdsToolkitNotes_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("passed");

    QTest::newRow("display opened: held notes pass in order, later ones at once")
        << QStringList { "hold", "warning:a", "info:b", "passAll", "warning:c" }
        << QStringList { "warning:toolkit.test:a", "info:toolkit.test:b", "warning:toolkit.test:c" };
    QTest::newRow("display failed: only critical notes pass") << QStringList { "hold", "warning:a", "passSeriousOnly",
        "warning:b", "critical:c" } << QStringList { "critical:toolkit.test:c" };
    QTest::newRow("critical while held: passes at once, after the notes held")
        << QStringList { "hold", "warning:a", "critical:b", "passSeriousOnly", "warning:c" }
        << QStringList { "warning:toolkit.test:a", "critical:toolkit.test:b" };
    QTest::newRow("nothing held") << QStringList { "hold", "passAll" } << QStringList {};
}

void TestCommandLine::holdsToolkitNotes()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, passed);
    static const QLoggingCategory category("toolkit.test");
    recordedNotes.clear();
    const QtMessageHandler testHandler = qInstallMessageHandler(recordNote);
    for (const QString& step : steps) {
        const QString text = step.section(':', 1);
        if (step == "hold")
            ToolkitNotes::hold();
        else if (step == "passAll")
            ToolkitNotes::passAll();
        else if (step == "passSeriousOnly")
            ToolkitNotes::passSeriousOnly();
        else if (step.startsWith("warning:"))
            qCWarning(category, "%s", qPrintable(text));
        else if (step.startsWith("info:"))
            qCInfo(category, "%s", qPrintable(text));
        else if (step.startsWith("critical:"))
            qCCritical(category, "%s", qPrintable(text));
    }
    qInstallMessageHandler(testHandler);
    QCOMPARE(recordedNotes, passed);
}

QTEST_APPLESS_MAIN(TestCommandLine)
#include "tst_command_line.moc"
