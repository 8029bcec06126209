// Tests of the main window: its design, its menu, and the command-line mode run while it is created.
#include <forms/comp.h>
#include <forms/gauge_progress.h>
#include <tests/support/file_size_limit.h>
#include <tests/support/gui_helpers.h>

#include <engine/size_summary.h>
#include <forms/aboutbox.h>
#include <forms/stati.h>
#include <platform/io_error.h>
#include <tests/support/privileges.h>
#include <tests/support/temp_folder.h>
#include <widgets/directory_list_box.h>
#include <widgets/drive_combo_box.h>
#include <widgets/file_list_box.h>
#include <widgets/filter_combo_box.h>
#include <widgets/gauge.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>

#include <csignal>
#include <filesystem>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>
#include <utility>

namespace {

// A page whose compaction uses all three command-line options.
const std::string SamplePage = "<html>\r\n<body>\r\n\t<div   align=\"center\">  Hello   world  </div>\r\n"
                               "\t<p  class = \"x\" >  one\t two  </p>\r\n</body>\r\n</html>\r\n";

std::string readAll(const std::string& path)
{
    return readFileBytes(path);
}

// Makes a window as start-up does, with the given command-line arguments.
std::unique_ptr<TForm1> createWindow(std::vector<std::string> arguments)
{
    setProgramArguments(std::move(arguments));
    auto window = std::make_unique<TForm1>();
    setProgramArguments({});
    return window;
}

} // namespace

class TestComp : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void caption();
    void controlGeometry_data();
    void controlGeometry();
    void initialStates();
    void tabOrder();
    void menu();
    void filterTexts();
    void options_data();
    void options();
    void safeCompactionKeepsRuleBoxes_data();
    void safeCompactionKeepsRuleBoxes();

    void commandLineSummary_data();
    void commandLineSummary();
    void commandLineReplacesBigName_data();
    void commandLineReplacesBigName();
    void commandLineRefusals_data();
    void commandLineRefusals();
    void commandLineReadOnlyCases_data();
    void commandLineReadOnlyCases();
    void commandLineIoErrorGoesOn();
    void noArgumentStartsOnCurrentFolder();

    void menuHandlers();
    void gaugeFollowsTheRun();
    void gaugePaintsAtMostOncePerInterval_data();
    void gaugePaintsAtMostOncePerInterval();

private:
    std::unique_ptr<MessageRecorder> m_messages;
    std::unique_ptr<ExitRecorder> m_exits;
};

void TestComp::init()
{
    m_messages = std::make_unique<MessageRecorder>();
    m_exits = std::make_unique<ExitRecorder>();
}

void TestComp::cleanup()
{
    m_exits.reset();
    m_messages.reset();
    setProgramArguments({});
}

void TestComp::caption()
{
    const auto window = createWindow({});
    QCOMPARE(window->objectName(), QStringLiteral("Form1"));
    QCOMPARE(window->windowTitle(), QStringLiteral("Snellitore Pagine Web 2002"));
    QCOMPARE(window->size(), QSize(scaled(window.get(), 767), scaled(window.get(), 406)));
    QCOMPARE(window->font().pixelSize(), scaled(window.get(), 13));
}

void TestComp::controlGeometry_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("design");
    QTest::newRow("FileListBox1") << "FileListBox1" << QRect(160, 8, 161, 337);
    QTest::newRow("DriveComboBox1") << "DriveComboBox1" << QRect(8, 280, 145, 22);
    QTest::newRow("FileListBox2") << "FileListBox2" << QRect(592, 8, 161, 337);
    QTest::newRow("FilterComboBox2") << "FilterComboBox2" << QRect(440, 320, 145, 24);
    QTest::newRow("Divcenter") << "Divcenter" << QRect(336, 120, 97, 17);
    QTest::newRow("Button2") << "Button2" << QRect(352, 176, 57, 25);
    QTest::newRow("Gauge1") << "Gauge1" << QRect(328, 224, 105, 33);
}

void TestComp::controlGeometry()
{
    QFETCH(QString, name);
    QFETCH(QRect, design);
    const auto window = createWindow({});
    auto* control = window->findChild<QWidget*>(name);
    QVERIFY(control);
    QCOMPARE(control->parentWidget(), window->centralWidget());
    QCOMPARE(control->geometry(), scaledRect(window.get(), design.x(), design.y(), design.width(), design.height()));
}

void TestComp::initialStates()
{
    const auto window = createWindow({});
    QVERIFY(window->Defaultdir->isChecked());
    QVERIFY(!window->Apicidir->isChecked());
    QVERIFY(!window->Maggioridir->isChecked());
    QVERIFY(!window->Divcenter->isChecked());
    QCOMPARE(window->Maggioridir->text(), QStringLiteral("<>"));
    QVERIFY(window->Gauge1->isHidden());
    QCOMPARE(window->Gauge1->progress(), 0);
    QCOMPARE(window->Gauge1->barColor(), QColor(0, 128, 0));
    QCOMPARE(window->Button2->text(), QStringLiteral(">>"));
    QVERIFY(!window->Button2->isDefault());
    QCOMPARE(window->FileListBox1->selectionMode(), QAbstractItemView::ExtendedSelection);
    QCOMPARE(window->FileListBox2->selectionMode(), QAbstractItemView::SingleSelection);
}

void TestComp::tabOrder()
{
    const QStringList expected = { "FileListBox1", "DirectoryListBox1", "DriveComboBox1", "FilterComboBox1",
        "DirectoryListBox2", "FileListBox2", "DriveComboBox2", "FilterComboBox2", "Defaultdir", "Apicidir",
        "Maggioridir", "Divcenter", "Button2" };
    const auto window = createWindow({});
    QStringList order;
    QWidget* widget = window->FileListBox1;
    do {
        if (expected.contains(widget->objectName()) && !order.contains(widget->objectName()))
            order << widget->objectName();
        widget = widget->nextInFocusChain();
    } while (widget != window->FileListBox1);
    QCOMPARE(order, expected);
    QCOMPARE(window->Gauge1->focusPolicy(), Qt::NoFocus);
}

void TestComp::menu()
{
    const auto window = createWindow({});
    const QList<QAction*> bar = window->menuBar()->actions();
    QCOMPARE(bar.size(), 2);
    QCOMPARE(bar.at(0)->menu(), window->Gestione1);
    QCOMPARE(bar.at(0)->text(), QStringLiteral("Gestione"));
    QCOMPARE(bar.at(1), window->About1);
    QCOMPARE(bar.at(1)->text(), QStringLiteral("About"));
    QVERIFY(!bar.at(1)->menu());

    QStringList items, names, checkable;
    for (QAction* action : window->Gestione1->actions()) {
        items << (action->isSeparator() ? QStringLiteral("--") : action->text());
        names << action->objectName();
        if (action->isCheckable())
            checkable << action->objectName();
    }
    QCOMPARE(items, QStringList({ "Crea directory", "Statistiche", "--", "Compattazione sicura", "--", "Uscita" }));
    QCOMPARE(names, QStringList({ "Creadirectory1", "Statistiche1", "", "Compattazionesicura1", "", "Uscita1" }));
    QCOMPARE(checkable, QStringList({ "Compattazionesicura1" }));
    QVERIFY(!window->Compattazionesicura1->isChecked());
    // No setting outlives a window: the next one starts with the safe compaction off again.
    window->Compattazionesicura1->trigger();
    QVERIFY(window->Compattazionesicura1->isChecked());
    const auto next = createWindow({});
    QVERIFY(!next->Compattazionesicura1->isChecked());
    QVERIFY(next->Defaultdir->isEnabled());
    for (QAction* action : window->findChildren<QAction*>()) {
        QVERIFY2(action->shortcuts().isEmpty(), qPrintable(action->text()));
        QVERIFY2(!action->text().contains(u'&'), qPrintable(action->text()));
    }
}

void TestComp::filterTexts()
{
    const QStringList shown = { "All files (*.*)", "htm", "html", "script", "vbs" };
    const auto window = createWindow({});
    for (FilterComboBox* selector : { window->FilterComboBox1, window->FilterComboBox2 }) {
        QStringList texts;
        for (int i = 0; i < selector->count(); ++i)
            texts << selector->itemText(i);
        QCOMPARE(texts, shown);
        QCOMPARE(selector->currentIndex(), 0);
    }
    window->FilterComboBox1->setCurrentIndex(3);
    QCOMPARE(window->FileListBox1->mask(), QStringLiteral("*.js"));
    QCOMPARE(window->FileListBox2->mask(), QStringLiteral("*.*"));
}

void TestComp::options_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<CompactionOptions>("expected");
    QTest::newRow("Default only") << "Defaultdir" << CompactionOptions { true, false, false, false };
    QTest::newRow("Apici") << "Apicidir" << CompactionOptions { true, true, false, false };
    QTest::newRow("<>") << "Maggioridir" << CompactionOptions { true, false, true, false };
    QTest::newRow("Div") << "Divcenter" << CompactionOptions { true, false, false, true };
}

void TestComp::options()
{
    QFETCH(QString, box);
    QFETCH(CompactionOptions, expected);
    const auto window = createWindow({});
    if (box != QLatin1String("Defaultdir"))
        window->findChild<QCheckBox*>(box)->setChecked(true);
    const CompactionOptions options = window->options();
    QCOMPARE(options.collapseWhitespace, expected.collapseWhitespace);
    QCOMPARE(options.squeezeTags, expected.squeezeTags);
    QCOMPARE(options.dropTagGaps, expected.dropTagGaps);
    QCOMPARE(options.rewriteCenteredDivs, expected.rewriteCenteredDivs);
}

void TestComp::safeCompactionKeepsRuleBoxes_data()
{
    QTest::addColumn<QList<bool>>("checked"); // Defaultdir, Apicidir, Maggioridir, Divcenter
    QTest::newRow("Default only, as at start") << QList<bool> { true, false, false, false };
    QTest::newRow("all four") << QList<bool> { true, true, true, true };
    QTest::newRow("none") << QList<bool> { false, false, false, false };
    QTest::newRow("Apici and Div without Default") << QList<bool> { false, true, false, true };
}

// While the safe compaction is on the four boxes take no clicks; switched off, they are as they were.
void TestComp::safeCompactionKeepsRuleBoxes()
{
    QFETCH(QList<bool>, checked);
    const auto window = createWindow({});
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    const QList<QCheckBox*> boxes = { window->Defaultdir, window->Apicidir, window->Maggioridir, window->Divcenter };
    for (int i = 0; i < boxes.size(); ++i)
        boxes.at(i)->setChecked(checked.at(i));
    const auto states = [&] {
        QList<bool> enabled, shown;
        for (const QCheckBox* box : boxes) {
            enabled << box->isEnabled();
            shown << box->isChecked();
        }
        return std::pair(enabled, shown);
    };

    window->Compattazionesicura1->trigger();
    QVERIFY(window->safeCompaction());
    QCOMPARE(states(), std::pair(QList<bool>(4, false), checked));
    for (QCheckBox* box : boxes)
        QTest::mouseClick(box, Qt::LeftButton);
    QCOMPARE(states().second, checked);
    QVERIFY(window->Button2->isEnabled());

    window->Compattazionesicura1->trigger();
    QVERIFY(!window->safeCompaction());
    QCOMPARE(states(), std::pair(QList<bool>(4, true), checked));
    // Enabled again in earnest: a click changes a box as before.
    QTest::mouseClick(window->Apicidir, Qt::LeftButton);
    QCOMPARE(window->Apicidir->isChecked(), !checked.at(1));
}

void TestComp::commandLineSummary_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("bigName");
    QTest::addColumn<bool>("oldBig");
    QTest::newRow("page") << "page.htm"
                          << "page.big" << false;
    QTest::newRow("first dot") << "index.min.js"
                               << "index.big" << false;
    QTest::newRow("markup and % in the name stay plain text") << "<b>%1.htm"
                                                              << "<b>%1.big" << false;
    QTest::newRow("existing big is replaced") << "page.htm"
                                              << "page.big" << true;
    QTest::newRow("dotted folder") << "my.site/page.htm"
                                   << "my.site/page.big" << false;
    QTest::newRow("dotless name") << "site.d/README"
                                  << "site.d/README.big" << false;
    QTest::newRow("hidden name") << ".htaccess"
                                 << ".htaccess.big" << false;
    QTest::newRow("hidden name in a hidden folder") << ".local/.x.htm"
                                                    << ".local/.x.big" << false;
}

void TestComp::commandLineSummary()
{
    QFETCH(QString, name);
    QFETCH(QString, bigName);
    QFETCH(bool, oldBig);
    TempFolder folder, reference;
    const std::string source = folder / name.toStdString();
    const std::string big = folder / bigName.toStdString();
    std::filesystem::create_directories(std::filesystem::path(source).parent_path());
    writeFileBytes(source, SamplePage);
    if (oldBig)
        writeFileBytes(big, std::string(5000, 'x'));

    const auto window = createWindow({ source, "ignored.htm" });

    NullProgress quiet;
    const std::string expectedPath = reference / "expected.big";
    const CompactionResult expected = CompactFile(source, expectedPath, { true, true, false, true }, quiet);
    QCOMPARE(m_exits->codes(), std::vector<int>({ 0 }));
    QCOMPARE(m_messages->messages.size(), std::size_t(1));
    QCOMPARE(m_messages->messages.front().kind, MessageKind::Information);
    QCOMPARE(m_messages->messages.front().text,
        QString::fromStdString(summaryText(source, expected.sourceSize, big, expected.written)));
    QVERIFY(m_messages->messages.front().text.contains(bigName));
    QVERIFY(expected.written < expected.sourceSize);
    QCOMPARE(readAll(big), readAll(expectedPath));
    QCOMPARE(readAll(source), SamplePage);
    QVERIFY(m_messages->errors.isEmpty());
    // Nothing is written outside the source's own folder.
    QVERIFY(!pathExists(folder / ".big"));
    QVERIFY(!pathExists(folder / "my.big"));
}

void TestComp::commandLineReplacesBigName_data()
{
    QTest::addColumn<QString>("atBig");
    QTest::newRow("plain file") << "plain file";
    QTest::newRow("symbolic link to another file") << "symlink";
    QTest::newRow("hard link of another file") << "hard link";
    QTest::newRow("dangling symbolic link") << "dangling symlink";
    QTest::newRow("symbolic link to a folder") << "folder symlink";
}

// Whatever the .big name held, the name ends up holding the compacted page and nothing it led to is touched.
void TestComp::commandLineReplacesBigName()
{
    QFETCH(QString, atBig);
    namespace fs = std::filesystem;
    TempFolder folder, reference;
    const std::string source = folder / "page.htm";
    const std::string big = folder / "page.big";
    const std::string notes = folder / "notes.txt";
    const std::string keptFolder = folder / "kept.d";
    const std::string precious = "precious\n";
    writeFileBytes(source, SamplePage);
    writeFileBytes(notes, precious);
    fs::create_directory(keptFolder);
    writeFileBytes(keptFolder + "/inside.txt", precious);
    if (atBig == "plain file")
        writeFileBytes(big, std::string(5000, 'x'));
    if (atBig == "symlink")
        fs::create_symlink("notes.txt", big);
    if (atBig == "hard link")
        fs::create_hard_link(notes, big);
    if (atBig == "dangling symlink")
        fs::create_symlink("gone.txt", big);
    if (atBig == "folder symlink")
        fs::create_directory_symlink("kept.d", big);

    const auto window = createWindow({ source });

    NullProgress quiet;
    const std::string expectedPath = reference / "expected.big";
    CompactFile(source, expectedPath, { true, true, false, true }, quiet);
    QCOMPARE(m_exits->codes(), std::vector<int>({ 0 }));
    QCOMPARE(m_messages->messages.size(), std::size_t(1));
    QCOMPARE(m_messages->messages.front().kind, MessageKind::Information);
    QVERIFY(m_messages->errors.isEmpty());
    QVERIFY(fs::is_regular_file(fs::symlink_status(big)));
    QCOMPARE(fs::hard_link_count(big), std::uintmax_t(1));
    QCOMPARE(readAll(big), readAll(expectedPath));
    QCOMPARE(readAll(notes), precious);
    QCOMPARE(fs::hard_link_count(notes), std::uintmax_t(1));
    QCOMPARE(readAll(keptFolder + "/inside.txt"), precious);
    QVERIFY(!pathExists(folder / "gone.txt"));
    QCOMPARE(readAll(source), SamplePage);
}

void TestComp::commandLineRefusals_data()
{
    QTest::addColumn<QString>("sourceName");
    QTest::addColumn<QString>("prepare");
    QTest::addColumn<QString>("expectedText");
    QTest::addColumn<MessageKind>("expectedKind");
    const QString same = QStringLiteral("Non posso sovrascrivere sul medesimo file");
    QTest::newRow("missing source") << "page.htm"
                                    << "none"
                                    << "File non esite" << MessageKind::Error;
    QTest::newRow("source is a folder") << "site.d"
                                        << "folder source"
                                        << "File non esite" << MessageKind::Error;
    QTest::newRow("big name is a folder") << "page.htm"
                                          << "folder big"
                                          << "Non posso creare il file" << MessageKind::Warning;
    QTest::newRow("big name is a FIFO") << "page.htm"
                                        << "fifo big"
                                        << "Non posso creare il file" << MessageKind::Warning;
    QTest::newRow("page.big is its own big") << "page.big"
                                             << "source" << same << MessageKind::Error;
    QTest::newRow("big is a link to the source") << "page.htm"
                                                 << "symlink big" << same << MessageKind::Error;
    QTest::newRow("big is a hard link of the source") << "page.htm"
                                                      << "hard link big" << same << MessageKind::Error;
}

void TestComp::commandLineRefusals()
{
    QFETCH(QString, sourceName);
    QFETCH(QString, prepare);
    QFETCH(QString, expectedText);
    QFETCH(MessageKind, expectedKind);
    TempFolder folder;
    const std::string source = folder / sourceName.toStdString();
    const std::string big = bigDestinationPath(source);
    if (prepare != "none" && prepare != "folder source")
        writeFileBytes(source, SamplePage);
    if (prepare == "folder source")
        std::filesystem::create_directory(source);
    if (prepare == "folder big") {
        std::filesystem::create_directory(big);
        writeFileBytes(big + "/inside.txt", SamplePage);
    }
    if (prepare == "fifo big")
        QCOMPARE(::mkfifo(big.c_str(), 0644), 0);
    if (prepare == "symlink big")
        std::filesystem::create_symlink(source, big);
    if (prepare == "hard link big")
        std::filesystem::create_hard_link(source, big);

    const auto window = createWindow({ source });

    QCOMPARE(m_exits->codes(), std::vector<int>({ 0 }));
    QCOMPARE(m_messages->messages.size(), std::size_t(1));
    QVERIFY2(m_messages->messages.front().text.contains(expectedText), qPrintable(m_messages->messages.front().text));
    QCOMPARE(m_messages->messages.front().kind, expectedKind);
    if (pathExists(source) && std::filesystem::is_regular_file(source))
        QCOMPARE(readAll(source), SamplePage);
    if (prepare == "none")
        QVERIFY(!pathExists(big));
    if (prepare == "folder big")
        QCOMPARE(readAll(big + "/inside.txt"), SamplePage);
    if (prepare == "fifo big")
        QVERIFY(std::filesystem::is_fifo(std::filesystem::symlink_status(big)));
    QVERIFY(m_messages->errors.isEmpty());
}

void TestComp::commandLineReadOnlyCases_data()
{
    QTest::addColumn<QString>("readOnly");
    QTest::addColumn<QString>("expectedText");
    QTest::addColumn<MessageKind>("expectedKind");
    QTest::newRow("read-only source") << "source"
                                      << "File non esite" << MessageKind::Error;
    QTest::newRow("read-only folder") << "folder"
                                      << "Non posso creare il file" << MessageKind::Warning;
    QTest::newRow("read-only big") << "big"
                                   << "Non posso creare il file" << MessageKind::Warning;
    QTest::newRow("read-only big with another name") << "hard-linked big"
                                                     << "Non posso creare il file" << MessageKind::Warning;
}

void TestComp::commandLineReadOnlyCases()
{
    QFETCH(QString, readOnly);
    QFETCH(QString, expectedText);
    QFETCH(MessageKind, expectedKind);
    namespace fs = std::filesystem;
    TempFolder folder;
    const std::string source = folder / "page.htm";
    const std::string big = folder / "page.big";
    const std::string oldBig(700, 'x');
    writeFileBytes(source, SamplePage);
    if (readOnly.endsWith("big"))
        writeFileBytes(big, oldBig);
    if (readOnly == "hard-linked big")
        fs::create_hard_link(big, folder / "other.txt");
    const fs::path target = readOnly == "source" ? fs::path(source)
        : readOnly == "folder"                   ? fs::path(folder.path())
                                                 : fs::path(big);
    fs::permissions(
        target, readOnly == "folder" ? fs::perms::owner_read | fs::perms::owner_exec : fs::perms::owner_read);
    {
        PermissionOverridesDropped dropped;
        if (!dropped.active()) {
            fs::permissions(folder.path(), fs::perms::owner_all);
            QSKIP(PermissionOverridesDropped::SkipReason);
        }
        const auto window = createWindow({ source });
    }
    fs::permissions(folder.path(), fs::perms::owner_all);
    QCOMPARE(m_exits->codes(), std::vector<int>({ 0 }));
    QCOMPARE(m_messages->messages.size(), std::size_t(1));
    QCOMPARE(m_messages->messages.front().text, expectedText);
    QCOMPARE(m_messages->messages.front().kind, expectedKind);
    if (readOnly.endsWith("big")) {
        QCOMPARE(readAll(big), oldBig);
        QCOMPARE(fs::hard_link_count(big), std::uintmax_t(readOnly == "big" ? 1 : 2));
    } else {
        QVERIFY(!pathExists(big));
    }
}

void TestComp::commandLineIoErrorGoesOn()
{
    TempFolder folder;
    const std::string source = folder / "page.htm";
    std::string page;
    while (page.size() < 64 * 1024)
        page += SamplePage;
    writeFileBytes(source, page);
    std::unique_ptr<TForm1> window;
    {
        FileSizeLimit limit(4096);
        if (!limit.active())
            QSKIP("cannot lower the file size limit, so no write can be made to fail");
        window = createWindow({ source });
    }
    QVERIFY(m_exits->codes().empty());
    QVERIFY(m_messages->messages.empty());
    QCOMPARE(m_messages->errors.size(), 1);
    QVERIFY(window->Defaultdir->isChecked());
    QVERIFY(window->Apicidir->isChecked());
    QVERIFY(!window->Maggioridir->isChecked());
    QVERIFY(window->Divcenter->isChecked());
    QCOMPARE(readAll(source), page);
}

void TestComp::noArgumentStartsOnCurrentFolder()
{
    const QString current = QDir::currentPath();
    const auto window = createWindow({});
    QVERIFY(m_exits->codes().empty());
    QVERIFY(m_messages->messages.empty());
    for (DirectoryListBox* list : { window->DirectoryListBox1, window->DirectoryListBox2 })
        QCOMPARE(QDir(list->directory()).canonicalPath(), QDir(current).canonicalPath());
    for (FileListBox* list : { window->FileListBox1, window->FileListBox2 })
        QCOMPARE(QDir(list->directory()).canonicalPath(), QDir(current).canonicalPath());
}

void TestComp::menuHandlers()
{
    const auto window = createWindow({});
    TAbout about;
    Tstat statistics;
    About = &about;
    forms::stat = &statistics;
    window->show();
    bool aboutShown = false, statShown = false;
    whenModal<TAbout>([&](TAbout* box) {
        aboutShown = true;
        box->OKButton->click();
    });
    window->About1->trigger();
    whenModal<Tstat>([&](Tstat* box) {
        statShown = true;
        box->OKBtn->click();
    });
    window->Statistiche1->trigger();
    About = nullptr;
    forms::stat = nullptr;
    QVERIFY(aboutShown);
    QVERIFY(statShown);
    QVERIFY(about.isHidden());
    QVERIFY(statistics.isHidden());
    window->Uscita1->trigger();
    QVERIFY(!window->isVisible());
}

void TestComp::gaugeFollowsTheRun()
{
    const auto window = createWindow({});
    window->show();
    ProgressSink& sink = window->progressSink();
    sink.setVisible(true);
    QVERIFY(window->Gauge1->isVisible());
    sink.setProgress(37);
    QCOMPARE(window->Gauge1->progress(), 37);
    QCOMPARE(window->Gauge1->text(), QStringLiteral("37%"));
    sink.setVisible(false);
    QVERIFY(window->Gauge1->isHidden());
}

void TestComp::gaugePaintsAtMostOncePerInterval_data()
{
    QTest::addColumn<qint64>("intervalMs");
    QTest::addColumn<int>("paintsDuringRun");
    QTest::newRow("no interval: each change at once") << qint64(0) << 11;
    QTest::newRow("long interval: the first only") << qint64(3600 * 1000) << 1;
}

// However often the value changes, the gauge keeps every value and state; only the paints are spaced out, and
// what was not painted at once reaches the screen when the event loop runs again.
void TestComp::gaugePaintsAtMostOncePerInterval()
{
    QFETCH(qint64, intervalMs);
    QFETCH(int, paintsDuringRun);
    const auto window = createWindow({});
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    struct PaintCounter : QObject
    {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* event) override
        {
            paints += event->type() == QEvent::Paint;
            return false;
        }
    } counter;
    window->Gauge1->installEventFilter(&counter);
    GaugeProgress sink(window->Gauge1, intervalMs);
    sink.setVisible(true);
    for (int percent = 10; percent <= 100; percent += 10)
        sink.setProgress(percent);
    QCOMPARE(counter.paints, paintsDuringRun);
    QCOMPARE(window->Gauge1->progress(), 100);
    QVERIFY(window->Gauge1->isVisible());
    QCoreApplication::processEvents();
    QCOMPARE(counter.paints, paintsDuringRun + (intervalMs > 0 ? 1 : 0));
    sink.setVisible(false);
    sink.setProgress(0);
    QVERIFY(window->Gauge1->isHidden());
    QCOMPARE(window->Gauge1->progress(), 0);
}

QTEST_MAIN(TestComp)
#include "tst_comp.moc"
