// Tests of marking and the batch run, driving the real main window, name prompt and statistics window.
#include <forms/batch_run.h>
#include <forms/comp.h>
#include <forms/diredit2.h>
#include <forms/stati.h>
#include <tests/support/file_size_limit.h>
#include <tests/support/gui_helpers.h>

#include <engine/compaction.h>
#include <engine/safe_compaction.h>
#include <engine/size_summary.h>
#include <platform/byte_file.h>
#include <platform/io_error.h>
#include <tests/support/privileges.h>
#include <tests/support/shown_names.h>
#include <tests/support/temp_folder.h>
#include <tests/support/window_fixture.h>
#include <widgets/directory_list_box.h>
#include <widgets/file_list_box.h>
#include <widgets/gauge.h>

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>

#include <csignal>
#include <deque>
#include <filesystem>
#include <memory>
#include <set>
#include <tuple>
#include <utility>
#include <sys/resource.h>

namespace {

using PromptStep = std::function<void(TDiredit*)>;

// What the prompt showed at one showing.
struct PromptShowing
{
    QString preset;
    QString promptLine;
    bool warningVisible = false;
};

// Answers the name prompt each time it is shown modally, from a timer, with the next scripted step; an
// unexpected showing is cancelled and counted. The timer ends with the object, so no answer outlives a test.
class PromptScript
{
public:
    explicit PromptScript(std::deque<PromptStep> steps = {})
        : m_steps(std::move(steps))
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
        m_timer.start(10);
    }

    std::vector<PromptShowing> showings;
    int unexpected = 0;

private:
    void poll()
    {
        auto* dialog = qobject_cast<TDiredit*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        showings.push_back({ dialog->Edit1->text(), dialog->Label1->text(), dialog->Label2->isVisible() });
        if (m_steps.empty()) {
            ++unexpected;
            dialog->CancelBtn->click();
            return;
        }
        const PromptStep step = m_steps.front();
        m_steps.pop_front();
        step(dialog);
    }

    std::deque<PromptStep> m_steps;
    QTimer m_timer;
};

PromptStep answer(const QString& typed, bool ok)
{
    return [=](TDiredit* dialog) {
        dialog->Edit1->setText(typed);
        (ok ? dialog->OKBtn : dialog->CancelBtn)->click();
    };
}

PromptStep okUnchanged()
{
    return [](TDiredit* dialog) { pressKey(dialog, Qt::Key_Return); };
}

PromptStep cancelWithEscape()
{
    return [](TDiredit* dialog) { pressKey(dialog, Qt::Key_Escape); };
}

// Counts the times a widget is shown.
class ShowCounter : public QObject
{
public:
    int shown = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        shown += event->type() == QEvent::Show;
        return false;
    }
};

const std::string Page = "<html>\r\n<body>\r\n\t<div   align=\"center\">  Hello   world  </div>\r\n"
                         "\t<p  class = \"x\" >  one\t two  </p>\r\n</body>\r\n</html>\r\n";

// A page whose whitespace the safe compaction keeps in two places: a <pre> block, and an element that the
// stylesheet linked from the site's root preformats.
const std::string PreformattedPage = "<html>\r\n<head>\r\n<link rel=\"stylesheet\" href=\"/site.css\">\r\n</head>\r\n"
                                     "<body>\r\n<pre>\r\n  indented\r\n      deeper   spaced\r\n</pre>\r\n"
                                     "\t<p   class=\"x\" >  one\t two  </p>\r\n<div class=\"k\">  a   b  </div>\r\n"
                                     "</body>\r\n</html>\r\n";
const std::string Stylesheet = ".k { white-space: pre }\r\n\r\n\r\n/*  note  */\r\np\t{\tcolor:  red\t}\r\n";

QStringList texts(const QListWidget& list)
{
    QStringList result;
    for (int row = 0; row < list.count(); ++row)
        result << list.item(row)->text();
    return result;
}

QStringList gridRow(const Tstat& statistics, int row)
{
    QStringList cells;
    for (int column = 0; column < statistics.StringGrid1->columnCount(); ++column) {
        const QTableWidgetItem* cell = statistics.StringGrid1->item(row, column);
        cells << (cell ? cell->text() : QString());
    }
    return cells;
}

std::string local(const QTemporaryDir& folder, const std::string& name)
{
    return folder.path().toStdString() + "/" + name;
}

// The exact names in a folder.
std::set<std::string> entryNames(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

int rowOfFile(const FileListBox& list, const QByteArray& name)
{
    for (int row = 0; row < list.count(); ++row) {
        if (list.fileName(row) == name)
            return row;
    }
    return -1;
}

// What CompactFile makes of a source with the window's options, read back from a scratch file.
std::string compacted(const std::string& source, const CompactionOptions& options)
{
    QTemporaryDir scratch;
    NullProgress progress;
    CompactFile(source, local(scratch, "reference"), options, progress);
    return readFileBytes(local(scratch, "reference"));
}

// What CompactFileSafe makes of a source in a site whose root folder is siteRoot.
std::string compactedSafe(const std::string& source, const std::string& siteRoot)
{
    QTemporaryDir scratch;
    NullProgress progress;
    CompactFileSafe(
        source, local(scratch, "reference"), progress, DestinationCreation::ReplaceExisting, nullptr, siteRoot);
    return readFileBytes(local(scratch, "reference"));
}

} // namespace

class TestBatch : public QObject, protected WindowFixture
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void marking_data();
    void marking();
    void onlyTheLeftButtonMarks_data();
    void onlyTheLeftButtonMarks();
    void nothingMarked_data();
    void nothingMarked();
    void batchIntoAnotherFolder_data();
    void batchIntoAnotherFolder();
    void statisticsTexts_data();
    void statisticsTexts();
    void safeCompactionBatch_data();
    void safeCompactionBatch();
    void sameFolderAsksForNames();
    void leftoverCancelDoesNotSkip();
    void failureMidBatchStops_data();
    void failureMidBatchStops();
    void longListIsDoneWhole();
    void namesAreNotMarks_data();
    void namesAreNotMarks();
    void controlCharactersShowEscaped_data();
    void controlCharactersShowEscaped();
    void undecodableFolders_data();
    void undecodableFolders();
    void largeListMarking_data();
    void largeListMarking();
    void unreadableNamesAreNeverWrittenOver();
    void keptTestFileIsAccepted_data();
    void keptTestFileIsAccepted();
    void folderNamesWarnAndAskAgain_data();
    void folderNamesWarnAndAskAgain();
    void undecodableTakenNameKeepsItsBytes();
    void joining_data();
    void joining();

private:
    void writeSources(const QStringList& names, const std::string& bytes = Page);
    void mark(const QStringList& names);
    int row(const QString& text) const;

};

void TestBatch::init()
{
    QVERIFY(openWindows());
}

void TestBatch::cleanup()
{
    closeWindows();
}

void TestBatch::writeSources(const QStringList& names, const std::string& bytes)
{
    for (const QString& name : names)
        writeFileBytes(local(*m_source, name.toStdString()), bytes);
    m_window->FileListBox1->read();
}

int TestBatch::row(const QString& text) const
{
    const QStringList items = texts(*m_window->FileListBox1);
    return int(items.indexOf(text));
}

// Marks with plain clicks, as the user does.
void TestBatch::mark(const QStringList& names)
{
    FileListBox* list = m_window->FileListBox1;
    for (const QString& name : names)
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row(name))).center());
}

void TestBatch::marking_data()
{
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<QStringList>("expected");
    const auto items = [](std::initializer_list<const char*> names) {
        QStringList list;
        for (const char* name : names)
            list << QString::fromLatin1(name);
        return list;
    };
    QTest::newRow("one click marks") << items({ "click 0" }) << items({ "a.htm*", "b.htm", "c.htm", "d.htm" });
    QTest::newRow("second click unmarks") << items({ "click 0", "click 0" })
                                          << items({ "a.htm", "b.htm", "c.htm", "d.htm" });
    QTest::newRow("plain clicks add up") << items({ "click 0", "click 2" })
                                         << items({ "a.htm*", "b.htm", "c.htm*", "d.htm" });
    QTest::newRow("ctrl click") << items({ "click 0", "ctrl 1" }) << items({ "a.htm*", "b.htm*", "c.htm", "d.htm" });
    QTest::newRow("shift range toggles each its own way")
        << items({ "click 1", "shift 3" }) << items({ "a.htm", "b.htm", "c.htm*", "d.htm*" });
    QTest::newRow("arrow key moves and marks")
        << items({ "click 0", "key Down" }) << items({ "a.htm*", "b.htm*", "c.htm", "d.htm" });
    QTest::newRow("shift arrow extends")
        << items({ "click 0", "shiftkey Down" }) << items({ "a.htm", "b.htm*", "c.htm", "d.htm" });
    QTest::newRow("ctrl arrow then ctrl space")
        << items({ "click 0", "ctrlkey Down", "ctrlkey Down", "ctrlkey Space" })
        << items({ "a.htm*", "b.htm", "c.htm*", "d.htm" });
}

void TestBatch::marking()
{
    QFETCH(QStringList, actions);
    QFETCH(QStringList, expected);
    writeSources({ "c.htm", "a.htm", "b.htm", "d.htm" });
    FileListBox* list = m_window->FileListBox1;
    list->setFocus();
    for (const QString& action : actions) {
        const QStringList parts = action.split(QLatin1Char(' '));
        const QString& kind = parts.at(0);
        if (kind == QLatin1String("click") || kind == QLatin1String("ctrl") || kind == QLatin1String("shift")) {
            const Qt::KeyboardModifiers modifiers = kind == QLatin1String("ctrl") ? Qt::ControlModifier
                : kind == QLatin1String("shift")                                  ? Qt::ShiftModifier
                                                                                  : Qt::NoModifier;
            const QPoint at = list->visualItemRect(list->item(parts.at(1).toInt())).center();
            QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, at);
        } else {
            const Qt::KeyboardModifiers modifiers = kind == QLatin1String("ctrlkey") ? Qt::ControlModifier
                : kind == QLatin1String("shiftkey")                                  ? Qt::ShiftModifier
                                                                                     : Qt::NoModifier;
            QTest::keyClick(list, parts.at(1) == QLatin1String("Down") ? Qt::Key_Down : Qt::Key_Space, modifiers);
        }
    }
    QCOMPARE(texts(*list), expected);
    QVERIFY(list->selectedItems().isEmpty());
}

void TestBatch::onlyTheLeftButtonMarks_data()
{
    QTest::addColumn<QStringList>("clicks"); // "<button> <row>", the button left, right or middle;
                                              // "double <button> <row>" for a double click
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("left click marks") << QStringList { "left 1" } << QStringList { "a.htm", "b.htm*", "c.htm" };
    QTest::newRow("right click marks nothing")
        << QStringList { "right 1" } << QStringList { "a.htm", "b.htm", "c.htm" };
    QTest::newRow("middle click marks nothing")
        << QStringList { "middle 1" } << QStringList { "a.htm", "b.htm", "c.htm" };
    QTest::newRow("right double click marks nothing")
        << QStringList { "double right 1" } << QStringList { "a.htm", "b.htm", "c.htm" };
    QTest::newRow("middle double click marks nothing")
        << QStringList { "double middle 1" } << QStringList { "a.htm", "b.htm", "c.htm" };
    QTest::newRow("right click leaves a mark on")
        << QStringList { "left 1", "right 1" } << QStringList { "a.htm", "b.htm*", "c.htm" };
    QTest::newRow("right click beside a mark")
        << QStringList { "left 0", "right 2", "middle 1" } << QStringList { "a.htm*", "b.htm", "c.htm" };
    QTest::newRow("left click after a right click marks once")
        << QStringList { "right 2", "left 2" } << QStringList { "a.htm", "b.htm", "c.htm*" };
}

// A selection change toggles a mark, and a right or middle click must not select: it is no request to mark.
void TestBatch::onlyTheLeftButtonMarks()
{
    QFETCH(QStringList, clicks);
    QFETCH(QStringList, expected);
    writeSources({ "a.htm", "b.htm", "c.htm" });
    FileListBox* list = m_window->FileListBox1;
    list->setFocus();
    for (const QString& click : clicks) {
        QStringList parts = click.split(u' ');
        const bool twice = parts.front() == QLatin1String("double");
        if (twice)
            parts.removeFirst();
        const Qt::MouseButton button = parts.at(0) == QLatin1String("left") ? Qt::LeftButton
            : parts.at(0) == QLatin1String("right")                        ? Qt::RightButton
                                                                           : Qt::MiddleButton;
        const QPoint at = list->visualItemRect(list->item(parts.at(1).toInt())).center();
        if (twice)
            QTest::mouseDClick(list->viewport(), button, {}, at);
        else
            QTest::mouseClick(list->viewport(), button, {}, at);
    }
    QCOMPARE(texts(*list), expected);
    QVERIFY(list->selectedItems().isEmpty());
}

void TestBatch::nothingMarked_data()
{
    QTest::addColumn<QStringList>("sources");
    QTest::newRow("empty list") << QStringList {};
    QTest::newRow("no mark") << QStringList { QStringLiteral("a.htm") };
}

void TestBatch::nothingMarked()
{
    QFETCH(QStringList, sources);
    writeSources(sources);
    // Files that appear meanwhile show only after the refresh.
    writeFileBytes(local(*m_destination, "new.htm"), "x");
    writeFileBytes(local(*m_source, "late.htm"), "x");
    PromptScript prompt;
    m_window->Button2->click();
    QCOMPARE(m_messages->messages.size(), std::size_t(1));
    QCOMPARE(m_messages->messages.front().text, QStringLiteral("Nessun file selezionato"));
    QCOMPARE(m_messages->messages.front().kind, MessageKind::Warning);
    QVERIFY(prompt.showings.empty());
    QVERIFY(texts(*m_window->FileListBox2).contains(QStringLiteral("new.htm")));
    QVERIFY(texts(*m_window->FileListBox1).contains(QStringLiteral("late.htm")));
    QCOMPARE(m_statistics->StringGrid1->rowCount(), 2);
}

void TestBatch::batchIntoAnotherFolder_data()
{
    QTest::addColumn<bool>("squeeze");
    QTest::addColumn<bool>("gaps");
    QTest::addColumn<bool>("div");
    QTest::newRow("Default only") << false << false << false;
    QTest::newRow("all four options") << true << true << true;
}

void TestBatch::batchIntoAnotherFolder()
{
    QFETCH(bool, squeeze);
    QFETCH(bool, gaps);
    QFETCH(bool, div);
    m_window->Apicidir->setChecked(squeeze);
    m_window->Maggioridir->setChecked(gaps);
    m_window->Divcenter->setChecked(div);
    writeFileBytes(local(*m_source, "a.htm"), Page);
    writeFileBytes(local(*m_source, "b.htm"), Page + Page + "\t<p>  end  </p>\r\n");
    writeFileBytes(local(*m_source, "c.htm"), std::string(200000, ' ') + Page);
    writeFileBytes(local(*m_source, "skip.htm"), Page);
    m_window->FileListBox1->read();
    mark({ "a.htm", "b.htm", "c.htm" });
    QCOMPARE(texts(*m_window->FileListBox1),
        QStringList({ "a.htm*", "b.htm*", "c.htm*", "skip.htm" }));

    ShowCounter gauge;
    m_window->Gauge1->installEventFilter(&gauge);
    PromptScript prompt;
    m_window->Button2->click();

    QVERIFY(prompt.showings.empty());
    QVERIFY(m_messages->messages.empty());
    QVERIFY(m_messages->errors.isEmpty());
    QCOMPARE(gauge.shown, 3);
    QVERIFY(m_window->Gauge1->isHidden());
    QCOMPARE(m_statistics->StringGrid1->rowCount(), 5);
    const char* names[] = { "a.htm", "b.htm", "c.htm" };
    for (int i = 0; i < 3; ++i) {
        const std::string source = local(*m_source, names[i]);
        const std::string expected = compacted(source, m_window->options());
        QCOMPARE(readFileBytes(local(*m_destination, names[i])), expected);
        const qint64 size = qint64(readFileBytes(source).size()), written = qint64(expected.size());
        QCOMPARE(gridRow(*m_statistics, i + 1),
            QStringList({ names[i], QStringLiteral("%1 byte ").arg(size), names[i],
                QStringLiteral("%1 byte ").arg(written), QStringLiteral("%1 byte ").arg(written - size),
                QString::fromStdString(ratioText(size, written)) }));
    }
    QCOMPARE(gridRow(*m_statistics, 4), QStringList(6, QString()));
    QCOMPARE(texts(*m_window->FileListBox1), QStringList({ "a.htm", "b.htm", "c.htm", "skip.htm" }));
    QCOMPARE(texts(*m_window->FileListBox2), QStringList({ "a.htm", "b.htm", "c.htm" }));
    QVERIFY(!pathExists(local(*m_destination, "skip.htm")));
}

void TestBatch::statisticsTexts_data()
{
    QTest::addColumn<std::string>("bytes");
    QTest::addColumn<QStringList>("cells");
    // Under "Default" every TAB goes, so the written count is the size less the TABs.
    QTest::newRow("1000 to 750") << std::string(750, 'x') + std::string(250, '\t')
                                 << QStringList({ "1000 byte ", "750 byte ", "-250 byte ", "-25%" });
    QTest::newRow("8 to 7, half to even") << std::string("abc\tdefg")
                                          << QStringList({ "8 byte ", "7 byte ", "-1 byte ", "-12%" });
    QTest::newRow("8 to 5") << std::string("a\tb\tc\tde") << QStringList({ "8 byte ", "5 byte ", "-3 byte ", "-38%" });
    QTest::newRow("unchanged") << std::string("plain") << QStringList({ "5 byte ", "5 byte ", "0 byte ", "0%" });
    QTest::newRow("empty source") << std::string() << QStringList({ "0 byte ", "0 byte ", "0 byte ", "0%" });
}

void TestBatch::statisticsTexts()
{
    QFETCH(std::string, bytes);
    QFETCH(QStringList, cells);
    writeSources({ "page.htm" }, bytes);
    mark({ "page.htm" });
    m_window->Button2->click();
    QVERIFY(m_messages->errors.isEmpty());
    QCOMPARE(m_statistics->StringGrid1->rowCount(), 3);
    QCOMPARE(gridRow(*m_statistics, 1),
        QStringList({ "page.htm", cells.at(0), "page.htm", cells.at(1), cells.at(2), cells.at(3) }));
    QCOMPARE(gridRow(*m_statistics, 2), QStringList(6, QString()));
}

void TestBatch::safeCompactionBatch_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("switches"); // times "Compattazione sicura" is chosen before ">>"
    QTest::addColumn<bool>("allFour"); // all four option boxes checked, else "Default" only
    QTest::addColumn<QString>("typed"); // the destination name is taken and this is typed; "" for a free name
    QTest::addColumn<bool>("safe"); // the bytes of CompactFileSafe, else those of the four rules
    QTest::addColumn<QStringList>("kept"); // passages that stand verbatim in the copy

    const QStringList preformatted
        = { "<pre>\n  indented\n      deeper   spaced\n</pre>", "<div class=\"k\">  a   b  </div>" };
    QTest::newRow("page with pre, safe") << "page.htm" << 1 << false << "" << true << preformatted;
    QTest::newRow("stylesheet, safe") << "site.css" << 1 << false << "" << true << QStringList {};
    QTest::newRow("page, four rules as before") << "page.htm" << 0 << true << "" << false << QStringList {};
    QTest::newRow("stylesheet, four rules as before") << "site.css" << 0 << false << "" << false << QStringList {};
    QTest::newRow("page, safe switched on and off") << "page.htm" << 2 << true << "" << false << QStringList {};
    QTest::newRow("page, safe over four checked boxes") << "page.htm" << 1 << true << "" << true << preformatted;
    QTest::newRow("page, safe, name taken: the name typed, the source's language")
        << "page.htm" << 1 << false << "page.txt" << true << preformatted;
}

// ">>" compacts with whichever compaction the window is set to, through the same guard, gauge and statistics.
void TestBatch::safeCompactionBatch()
{
    QFETCH(QString, file);
    QFETCH(int, switches);
    QFETCH(bool, allFour);
    QFETCH(QString, typed);
    QFETCH(bool, safe);
    QFETCH(QStringList, kept);
    writeFileBytes(local(*m_source, "page.htm"), PreformattedPage);
    writeFileBytes(local(*m_source, "site.css"), Stylesheet);
    if (!typed.isEmpty())
        writeFileBytes(local(*m_destination, file.toStdString()), "older");
    m_window->FileListBox1->read();
    for (QCheckBox* box : { m_window->Apicidir, m_window->Maggioridir, m_window->Divcenter })
        box->setChecked(allFour);
    for (int i = 0; i < switches; ++i)
        m_window->Compattazionesicura1->trigger();
    mark({ file });
    ShowCounter gauge;
    m_window->Gauge1->installEventFilter(&gauge);
    PromptScript prompt(typed.isEmpty() ? std::deque<PromptStep> {} : std::deque { answer(typed, true) });
    m_window->Button2->click();

    QCOMPARE(prompt.unexpected, 0);
    QCOMPARE(prompt.showings.size(), std::size_t(typed.isEmpty() ? 0 : 1));
    QVERIFY2(m_messages->errors.isEmpty(), qPrintable(m_messages->errors.join(u'\n')));
    QVERIFY(m_messages->messages.empty());
    QCOMPARE(gauge.shown, 1);
    QVERIFY(m_window->Gauge1->isHidden());
    const std::string source = local(*m_source, file.toStdString());
    const std::string safeBytes = compactedSafe(source, m_source->path().toStdString());
    const std::string ruleBytes = compacted(source, m_window->options());
    // Otherwise the row could not tell which compaction ran.
    QVERIFY(safeBytes != ruleBytes);
    const QString destinationName = typed.isEmpty() ? file : typed;
    const std::string written = readFileBytes(local(*m_destination, destinationName.toStdString()));
    QCOMPARE(written, safe ? safeBytes : ruleBytes);
    for (const QString& passage : kept)
        QVERIFY2(written.find(passage.toStdString()) != std::string::npos, qPrintable(passage));
    if (!typed.isEmpty())
        QCOMPARE(readFileBytes(local(*m_destination, file.toStdString())), std::string("older"));
    const qint64 sourceSize = qint64(readFileBytes(source).size()), length = qint64(written.size());
    QCOMPARE(m_statistics->StringGrid1->rowCount(), 3);
    QCOMPARE(gridRow(*m_statistics, 1),
        QStringList({ file, QStringLiteral("%1 byte ").arg(sourceSize), destinationName,
            QStringLiteral("%1 byte ").arg(length), QStringLiteral("%1 byte ").arg(length - sourceSize),
            QString::fromStdString(ratioText(sourceSize, length)) }));
    QCOMPARE(texts(*m_window->FileListBox1), QStringList({ "page.htm", "site.css" }));
}

void TestBatch::sameFolderAsksForNames()
{
    writeSources({ "a.htm", "b.htm", "c.htm" });
    QVERIFY(m_window->DirectoryListBox2->setDirectory(m_source->path()));
    mark({ "a.htm", "b.htm", "c.htm" });
    PromptScript prompt({
        okUnchanged(),                                     // a: its own name is taken, asked again
        answer(QStringLiteral("a small.htm "), true),      // a: compacted under the name as typed
        cancelWithEscape(),                                // b: skipped
        answer(QStringLiteral("sub/x.htm"), true),         // c: sub is missing, asked again
        answer(QStringLiteral("c2.htm"), false),           // c: free but cancelled, skipped
    });
    m_window->Button2->click();

    QCOMPARE(prompt.unexpected, 0);
    QStringList presets;
    for (const PromptShowing& showing : prompt.showings) {
        presets << showing.preset;
        QVERIFY(showing.warningVisible);
        QCOMPARE(showing.promptLine, QStringLiteral("Digitare nome file:"));
    }
    QCOMPARE(presets, QStringList({ "a.htm", "a.htm", "b.htm", "c.htm", "sub/x.htm" }));
    QCOMPARE(m_messages->messages.size(), std::size_t(1));
    QCOMPARE(m_messages->messages.front().text, QStringLiteral("Non posso creare il file"));
    QCOMPARE(m_messages->messages.front().kind, MessageKind::Warning);

    QCOMPARE(readFileBytes(local(*m_source, "a small.htm ")), compacted(local(*m_source, "a.htm"), m_window->options()));
    QCOMPARE(readFileBytes(local(*m_source, "a.htm")), Page);
    QVERIFY(!pathExists(local(*m_source, "c2.htm")));
    QCOMPARE(m_statistics->StringGrid1->rowCount(), 3);
    QCOMPARE(gridRow(*m_statistics, 1).at(0), QStringLiteral("a.htm"));
    QCOMPARE(gridRow(*m_statistics, 1).at(2), QStringLiteral("a small.htm "));
    QCOMPARE(texts(*m_window->FileListBox1), QStringList({ "a small.htm ", "a.htm", "b.htm", "c.htm" }));
}

void TestBatch::leftoverCancelDoesNotSkip()
{
    writeSources({ "a.htm" });
    writeFileBytes(local(*m_destination, "a.htm"), "older");
    mark({ "a.htm" });
    m_prompt->setModalResult(TDiredit::Cancel);
    PromptScript prompt({ answer(QStringLiteral("b.htm"), true) });
    m_window->Button2->click();
    QCOMPARE(prompt.showings.size(), std::size_t(1));
    QCOMPARE(readFileBytes(local(*m_destination, "a.htm")), std::string("older"));
    QVERIFY(pathExists(local(*m_destination, "b.htm")));
    QCOMPARE(m_statistics->StringGrid1->rowCount(), 3);
}

void TestBatch::failureMidBatchStops_data()
{
    QTest::addColumn<bool>("safe");
    QTest::newRow("four rules") << false;
    QTest::newRow("safe compaction") << true;
}

void TestBatch::failureMidBatchStops()
{
    QFETCH(bool, safe);
    m_window->Compattazionesicura1->setChecked(safe);
    std::string big;
    while (big.size() < 256 * 1024)
        big += Page;
    writeFileBytes(local(*m_source, "a.htm"), Page);
    writeFileBytes(local(*m_source, "b.htm"), big);
    writeFileBytes(local(*m_source, "c.htm"), Page);
    m_window->FileListBox1->read();
    mark({ "a.htm", "b.htm", "c.htm" });
    {
        FileSizeLimit limit(16 * 1024);
        if (!limit.active())
            QSKIP("cannot lower the file size limit, so no write can be made to fail");
        m_window->Button2->click();
    }
    QCOMPARE(m_messages->errors.size(), 1);
    QVERIFY(m_messages->messages.empty());
    QCOMPARE(texts(*m_window->FileListBox1), QStringList({ "a.htm", "b.htm*", "c.htm*" }));
    QCOMPARE(m_statistics->StringGrid1->rowCount(), 3);
    QCOMPARE(gridRow(*m_statistics, 1).at(0), QStringLiteral("a.htm"));
    QVERIFY(pathExists(local(*m_destination, "a.htm")));
    QVERIFY(!pathExists(local(*m_destination, "c.htm")));
    // No refresh after the error: the destination list still shows the folder as it was before the run.
    QVERIFY(texts(*m_window->FileListBox2).isEmpty());
    QVERIFY(m_window->Gauge1->isHidden());
}

void TestBatch::longListIsDoneWhole()
{
    // Items past 65,535 must be reached; only the marked ones need files on disk.
    constexpr int Count = 70000;
    QStringList names;
    names.reserve(Count);
    for (int i = 0; i < Count; ++i)
        names << QStringLiteral("f%1.htm").arg(i, 5, 10, QLatin1Char('0'));
    FileListBox* list = m_window->FileListBox1;
    QList<QByteArray> fileNames;
    for (const QString& name : std::as_const(names))
        fileNames << name.toLatin1();
    list->showNames(fileNames);
    for (int row : { 65535, 65536, Count - 1 }) {
        writeFileBytes(local(*m_source, names.at(row).toStdString()), Page);
        list->setMarked(row, true);
    }
    m_window->Button2->click();
    QVERIFY(m_messages->messages.empty());
    QCOMPARE(m_statistics->StringGrid1->rowCount(), 5);
    for (int row : { 65535, 65536, Count - 1 })
        QVERIFY2(pathExists(local(*m_destination, names.at(row).toStdString())), qPrintable(names.at(row)));
}

void TestBatch::namesAreNotMarks_data()
{
    QTest::addColumn<QList<QByteArray>>("files");
    QTest::addColumn<QList<QByteArray>>("clicked"); // in this order; a name clicked twice ends unmarked
    QTest::addColumn<QStringList>("shownMarked"); // the list before ">>"
    QTest::addColumn<QList<QByteArray>>("destinations");
    QTest::addColumn<QStringList>("statistics"); // source names in the statistics rows

    QTest::newRow("star inside, nothing marked")
        << QList<QByteArray> { "a*b.htm", "c.htm" } << QList<QByteArray> {} << QStringList { "a*b.htm", "c.htm" }
        << QList<QByteArray> {} << QStringList {};
    QTest::newRow("star inside, marked") << QList<QByteArray> { "a*b.htm", "c.htm" } << QList<QByteArray> { "a*b.htm" }
                                         << QStringList { "a*b.htm*", "c.htm" } << QList<QByteArray> { "a*b.htm" }
                                         << QStringList { "a*b.htm" };
    QTest::newRow("star last, beside the name without it")
        << QList<QByteArray> { "c.htm", "c.htm*" } << QList<QByteArray> { "c.htm*" }
        << QStringList { "c.htm", "c.htm**" } << QList<QByteArray> { "c.htm*" } << QStringList { "c.htm*" };
    QTest::newRow("star name marked and unmarked")
        << QList<QByteArray> { "x*", "y.htm" } << QList<QByteArray> { "x*", "x*", "y.htm" }
        << QStringList { "x*", "y.htm*" } << QList<QByteArray> { "y.htm" } << QStringList { "y.htm" };
    QTest::newRow("star name compacted") << QList<QByteArray> { "x*" } << QList<QByteArray> { "x*" }
                                         << QStringList { "x**" } << QList<QByteArray> { "x*" } << QStringList { "x*" };
    QTest::newRow("bytes that are not UTF-8")
        << QList<QByteArray> { "\xff.htm", "a.htm" } << QList<QByteArray> { "\xff.htm" }
        << QStringList { "a.htm", u"\uFFFD.htm*"_qs } << QList<QByteArray> { "\xff.htm" }
        << QStringList { u"\uFFFD.htm"_qs };
    QTest::newRow("two names shown alike") << QList<QByteArray> { "\xfe.htm", "\xff.htm" }
                                           << QList<QByteArray> { "\xff.htm" }
                                           << QStringList { u"\uFFFD.htm"_qs, u"\uFFFD.htm*"_qs }
                                           << QList<QByteArray> { "\xff.htm" } << QStringList { u"\uFFFD.htm"_qs };
}

// The mark lives beside the name: a "*" or undecodable bytes in a name neither mark it nor change what is compacted.
void TestBatch::namesAreNotMarks()
{
    QFETCH(QList<QByteArray>, files);
    QFETCH(QList<QByteArray>, clicked);
    QFETCH(QStringList, shownMarked);
    QFETCH(QList<QByteArray>, destinations);
    QFETCH(QStringList, statistics);
    for (const QByteArray& name : files)
        writeFileBytes(local(*m_source, name.toStdString()), Page + name.toStdString());
    FileListBox* list = m_window->FileListBox1;
    list->read();
    for (const QByteArray& name : clicked) {
        const int at = rowOfFile(*list, name);
        QVERIFY2(at >= 0, name.constData());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(at)).center());
    }
    QCOMPARE(texts(*list), shownMarked);

    m_window->Button2->click();

    QVERIFY2(m_messages->errors.isEmpty(), qPrintable(m_messages->errors.join(u'\n')));
    if (destinations.isEmpty()) {
        QCOMPARE(m_messages->messages.size(), std::size_t(1));
        QCOMPARE(m_messages->messages.front().text, QStringLiteral("Nessun file selezionato"));
    } else {
        QVERIFY(m_messages->messages.empty());
    }
    std::set<std::string> expected;
    for (const QByteArray& name : destinations) {
        expected.insert(name.toStdString());
        QCOMPARE(readFileBytes(local(*m_destination, name.toStdString())),
            compacted(local(*m_source, name.toStdString()), m_window->options()));
    }
    QCOMPARE(entryNames(m_destination->path().toStdString()), expected);
    QCOMPARE(m_statistics->StringGrid1->rowCount(), int(statistics.size()) + 2);
    for (int i = 0; i < statistics.size(); ++i) {
        QCOMPARE(gridRow(*m_statistics, i + 1).at(0), statistics.at(i));
        QCOMPARE(gridRow(*m_statistics, i + 1).at(2), statistics.at(i));
    }
    for (int row = 0; row < list->count(); ++row)
        QVERIFY(!list->isMarked(row));
}

void TestBatch::controlCharactersShowEscaped_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("shown");
    // The rows the CLI's messages share (tests/support/shown_names.h), then what only a list shows so.
    for (const ShownName& example : ShownNames)
        QTest::newRow(example.row) << QByteArray(example.name) << QString::fromUtf8(example.shown);
    QTest::newRow("not UTF-8, beside a newline") << QByteArray("\xff\n.htm") << u"\uFFFD\\n.htm"_qs;
    QTest::newRow("not UTF-8 alone") << QByteArray("\xfe.htm") << u"\uFFFD.htm"_qs;
}

// A row has one line: a name whose controls would cut it short or hide its mark shows them escaped, in both
// lists and in the statistics, while the file read and written is the one under the exact name.
void TestBatch::controlCharactersShowEscaped()
{
    QFETCH(QByteArray, name);
    QFETCH(QString, shown);
    writeFileBytes(local(*m_source, name.toStdString()), Page);
    FileListBox* list = m_window->FileListBox1;
    list->read();
    QCOMPARE(list->count(), 1);
    QCOMPARE(list->itemText(0), shown);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
    QCOMPARE(list->itemText(0), shown + u'*');

    m_window->Button2->click();

    QVERIFY2(m_messages->errors.isEmpty(), qPrintable(m_messages->errors.join(u'\n')));
    QVERIFY(m_messages->messages.empty());
    QCOMPARE(entryNames(m_destination->path().toStdString()), std::set<std::string> { name.toStdString() });
    QCOMPARE(readFileBytes(local(*m_destination, name.toStdString())),
        compacted(local(*m_source, name.toStdString()), m_window->options()));
    QCOMPARE(texts(*list), QStringList { shown });
    QCOMPARE(texts(*m_window->FileListBox2), QStringList { shown });
    QCOMPARE(m_window->FileListBox2->fileName(0), name);
    QCOMPARE(gridRow(*m_statistics, 1).mid(0, 3), (QStringList { shown, u"%1 byte "_qs.arg(Page.size()), shown }));
}

void TestBatch::undecodableFolders_data()
{
    QTest::addColumn<QByteArray>("sourceFolder"); // opened from the source folder list; "" for none
    QTest::addColumn<QByteArray>("destinationFolder"); // opened from the destination folder list
    QTest::addColumn<QByteArray>("file");

    QTest::newRow("source folder") << QByteArray("\xfe" "D") << QByteArray() << QByteArray("\xff.htm");
    QTest::newRow("destination folder") << QByteArray() << QByteArray("\xfe" "D") << QByteArray("a.htm");
    QTest::newRow("both, and the name") << QByteArray("s\xe9") << QByteArray("d\xe9") << QByteArray("\xe9.htm");
}

// A folder whose name is not UTF-8 is listed, opens from its list, and its files are found and written under
// the exact bytes; the create-directory command works inside it too.
void TestBatch::undecodableFolders()
{
    QFETCH(QByteArray, sourceFolder);
    QFETCH(QByteArray, destinationFolder);
    QFETCH(QByteArray, file);
    const QByteArray source = QFile::encodeName(m_source->path());
    const QByteArray destination = QFile::encodeName(m_destination->path());
    for (const auto& [root, sub] : { std::pair(source, sourceFolder), std::pair(destination, destinationFolder) }) {
        if (!sub.isEmpty())
            std::filesystem::create_directory((root + '/' + sub).toStdString());
    }
    const QByteArray sourcePath = (sourceFolder.isEmpty() ? source : source + '/' + sourceFolder) + '/' + file;
    const QByteArray destinationPath
        = (destinationFolder.isEmpty() ? destination : destination + '/' + destinationFolder) + '/' + file;
    writeFileBytes(sourcePath.toStdString(), Page);
    m_window->refreshLists();

    for (const auto& [folders, root, sub] : { std::tuple(m_window->DirectoryListBox1, source, sourceFolder),
             std::tuple(m_window->DirectoryListBox2, destination, destinationFolder) }) {
        if (sub.isEmpty())
            continue;
        const QList<QListWidgetItem*> found = folders->findItems(QFile::decodeName(sub), Qt::MatchExactly);
        QCOMPARE(found.size(), 1);
        folders->scrollToItem(found.front());
        QTest::mouseDClick(folders->viewport(), Qt::LeftButton, {}, folders->visualItemRect(found.front()).center());
        QCOMPARE(folders->directoryBytes(), root + '/' + sub);
    }
    FileListBox* list = m_window->FileListBox1;
    const int row = rowOfFile(*list, file);
    QVERIFY(row >= 0);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());

    m_window->Button2->click();

    QVERIFY2(m_messages->errors.isEmpty(), qPrintable(m_messages->errors.join(u'\n')));
    QVERIFY(m_messages->messages.empty());
    QCOMPARE(readFileBytes(destinationPath.toStdString()), compacted(sourcePath.toStdString(), m_window->options()));
    QCOMPARE(gridRow(*m_statistics, 1).at(0), QFile::decodeName(file));
    QCOMPARE(gridRow(*m_statistics, 1).at(2), QFile::decodeName(file));
    QCOMPARE(rowOfFile(*m_window->FileListBox2, file), 0);

    whenModal<TDiredit>([](TDiredit* dialog) {
        dialog->Edit1->setText(QStringLiteral("new"));
        dialog->OKBtn->click();
    });
    m_window->Creadirectory1->trigger();
    QCOMPARE(m_messages->messages.size(), std::size_t(1));
    QCOMPARE(m_messages->messages.front().text, QStringLiteral("Nuova directory creata"));
    const QByteArray made = destinationPath.left(destinationPath.lastIndexOf('/') + 1) + "new";
    QVERIFY(std::filesystem::is_directory(made.toStdString()));
}

void TestBatch::largeListMarking_data()
{
    QTest::addColumn<QString>("selection");
    QTest::addColumn<int>("firstUnmarked"); // every item marked but this one; -1 for none

    QTest::newRow("space, then shift+end") << "keys" << 0;
    QTest::newRow("every third item, over earlier marks") << "sparse" << -1;
}

// Marking a long list toggles each selected item once, in its own direction, and leaves none selected.
void TestBatch::largeListMarking()
{
    QFETCH(QString, selection);
    QFETCH(int, firstUnmarked);
    constexpr int Count = 20000;
    QList<QByteArray> names;
    for (int i = 0; i < Count; ++i)
        names << QByteArray("f") + QByteArray::number(100000 + i) + ".htm";
    FileListBox* list = m_window->FileListBox1;
    list->showNames(names);
    list->setFocus();
    if (selection == QLatin1String("keys")) {
        // Where the focus puts the current item when the list gets it.
        list->setCurrentRow(0, QItemSelectionModel::NoUpdate);
        QTest::keyClick(list, Qt::Key_Space);
        QTest::keyClick(list, Qt::Key_End, Qt::ShiftModifier);
        QCOMPARE(list->currentRow(), Count - 1);
    } else {
        // Marks first on every seventh item and every third selected: the items in both go back to unmarked.
        QList<FileListBox::MarkChange> earlier;
        for (int row = 0; row < Count; row += 7)
            earlier.push_back({ row, true });
        list->setMarks(earlier);
        list->setCurrentRow(5, QItemSelectionModel::NoUpdate);
        QItemSelection every3;
        for (int row = 0; row < Count; row += 3)
            every3.select(list->model()->index(row, 0), list->model()->index(row, 0));
        list->selectionModel()->select(every3, QItemSelectionModel::Select);
        toggleSelectedMarks(*list);
        QCOMPARE(list->currentRow(), 5);
    }
    QVERIFY(list->selectedItems().isEmpty());
    for (int row = 0; row < Count; ++row) {
        const bool expected
            = selection == QLatin1String("sparse") ? (row % 7 == 0) != (row % 3 == 0) : row != firstUnmarked;
        if (list->isMarked(row) != expected || list->fileName(row) != names.at(row))
            QFAIL(qPrintable(QStringLiteral("row %1 reads %2").arg(row).arg(list->itemText(row))));
    }
}

void TestBatch::unreadableNamesAreNeverWrittenOver()
{
    writeSources({ "a.htm" });
    const std::string taken = local(*m_destination, "a.htm");
    const std::string other = local(*m_destination, "w.htm");
    writeFileBytes(taken, "keep me");
    writeFileBytes(other, "keep me too");
    for (const std::string& path : { taken, other })
        std::filesystem::permissions(path, std::filesystem::perms::owner_write);
    mark({ "a.htm" });
    {
        PermissionOverridesDropped dropped;
        if (!dropped.active())
            QSKIP(PermissionOverridesDropped::SkipReason);
        QVERIFY(!CanOpenFile(taken));
        PromptScript prompt({ answer(QStringLiteral("w.htm"), true), okUnchanged(), cancelWithEscape() });
        m_window->Button2->click();
        QCOMPARE(prompt.unexpected, 0);
        QCOMPARE(prompt.showings.size(), std::size_t(3));
        QCOMPARE(prompt.showings.back().preset, QStringLiteral("w.htm"));
    }
    QVERIFY(m_messages->errors.isEmpty());
    QCOMPARE(readFileBytes(taken), std::string("keep me"));
    QCOMPARE(readFileBytes(other), std::string("keep me too"));
    QCOMPARE(m_statistics->StringGrid1->rowCount(), 2);
}

void TestBatch::keptTestFileIsAccepted_data()
{
    QTest::addColumn<bool>("ok");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("OK compacts into the guard's own file") << true << true;
    QTest::newRow("Cancel skips") << false << false;
}

void TestBatch::keptTestFileIsAccepted()
{
    QFETCH(bool, ok);
    QFETCH(bool, accepted);
    writeFileBytes(local(*m_destination, "a.htm"), "older");
    const GuardFileOperations undeletable { platform::createNewTestFile, [](const std::string&) { return 5; } };
    std::string name = "a.htm";
    PromptScript prompt({ answer(QStringLiteral("new.htm"), ok) });
    bool keptOwnTestFile = false;
    QCOMPARE(guardDestination(*m_prompt, *m_window->DirectoryListBox2, name, keptOwnTestFile, undeletable), accepted);
    QVERIFY(keptOwnTestFile);
    QCOMPARE(prompt.showings.size(), std::size_t(1));
    QCOMPARE(name, std::string("new.htm"));
    QCOMPARE(readFileBytes(local(*m_destination, "new.htm")), std::string());
    QCOMPARE(readFileBytes(local(*m_destination, "a.htm")), std::string("older"));
}

void TestBatch::folderNamesWarnAndAskAgain_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("ok");
    QTest::newRow("empty name, OK") << "" << true;
    QTest::newRow("empty name, Cancel") << "" << false;
    QTest::newRow("sub-folder, OK") << "sub" << true;
    QTest::newRow("sub-folder, Cancel") << "sub" << false;
}

// A name that can only ever name a folder cannot be created as a file: the warning, then the prompt again with
// the typed name, whether the prompt was left with OK or with Cancel.
void TestBatch::folderNamesWarnAndAskAgain()
{
    QFETCH(QString, typed);
    QFETCH(bool, ok);
    writeSources({ "a.htm" });
    writeFileBytes(local(*m_destination, "a.htm"), "older");
    std::filesystem::create_directory(local(*m_destination, "sub"));
    mark({ "a.htm" });
    PromptScript prompt({ answer(typed, ok), answer(QStringLiteral("b.htm"), true) });
    m_window->Button2->click();

    QCOMPARE(prompt.unexpected, 0);
    QCOMPARE(prompt.showings.size(), std::size_t(2));
    QCOMPARE(prompt.showings.back().preset, typed);
    QCOMPARE(m_messages->messages.size(), std::size_t(1));
    QCOMPARE(m_messages->messages.front().text, QStringLiteral("Non posso creare il file"));
    QCOMPARE(m_messages->messages.front().kind, MessageKind::Warning);
    QVERIFY(m_messages->errors.isEmpty());
    QCOMPARE(readFileBytes(local(*m_destination, "a.htm")), std::string("older"));
    QVERIFY(pathExists(local(*m_destination, "b.htm")));
    QCOMPARE(m_statistics->StringGrid1->rowCount(), 3);
}

// The prompt can show a name that is not UTF-8 only with replacement characters; left as shown, it still names
// the taken file, so OK asks again instead of compacting into a name made of the replacement characters.
void TestBatch::undecodableTakenNameKeepsItsBytes()
{
    const std::string name = "\xff.htm";
    writeFileBytes(local(*m_source, name), Page);
    writeFileBytes(local(*m_destination, name), "older");
    m_window->FileListBox1->read();
    m_window->FileListBox1->selectAll();
    toggleSelectedMarks(*m_window->FileListBox1);
    PromptScript prompt({ okUnchanged(), cancelWithEscape() });
    m_window->Button2->click();

    QCOMPARE(prompt.unexpected, 0);
    QCOMPARE(prompt.showings.size(), std::size_t(2));
    QCOMPARE(prompt.showings.back().preset, u"\uFFFD.htm"_qs);
    QCOMPARE(entryNames(m_destination->path().toStdString()), std::set<std::string> { name });
    QCOMPARE(readFileBytes(local(*m_destination, name)), std::string("older"));
    QCOMPARE(m_statistics->StringGrid1->rowCount(), 2);
}

void TestBatch::joining_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("joined");
    QTest::newRow("folder") << "/web" << "index.htm" << "/web/index.htm";
    QTest::newRow("root") << "/" << "index.htm" << "/index.htm";
    QTest::newRow("typed sub-path kept") << "/web" << "sub/x.htm" << "/web/sub/x.htm";
    QTest::newRow("empty name") << "/web" << "" << "/web/";
}

void TestBatch::joining()
{
    QFETCH(QString, folder);
    QFETCH(QString, name);
    QFETCH(QString, joined);
    QCOMPARE(QString::fromStdString(joinPath(folder.toStdString(), name.toStdString())), joined);
}

QTEST_MAIN(TestBatch)
#include "tst_batch.moc"
