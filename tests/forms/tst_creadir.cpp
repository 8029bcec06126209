// Tests of the create-directory command of the main window, through its menu item and the real name prompt.
#include <forms/comp.h>
#include <forms/diredit2.h>
#include <tests/support/gui_helpers.h>

#include <tests/support/temp_folder.h>
#include <tests/support/window_fixture.h>
#include <widgets/directory_list_box.h>
#include <widgets/file_list_box.h>

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <memory>

namespace {

QStringList texts(const QListWidget& list)
{
    QStringList result;
    for (int row = 0; row < list.count(); ++row)
        result << list.item(row)->text();
    return result;
}

} // namespace

class TestCreadir : public QObject, protected WindowFixture
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void createFolder_data();
    void createFolder();
};

void TestCreadir::init()
{
    QVERIFY(openWindows([this] {
        writeFileBytes(m_source->filePath(QStringLiteral("a.htm")).toStdString(), "x");
        return QDir(m_destination->path()).mkdir(QStringLiteral("old"));
    }));
}

void TestCreadir::cleanup()
{
    closeWindows();
}

void TestCreadir::createFolder_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("close"); // "ok", "cancel", "escape" or "closebox"
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("created"); // relative to the destination, empty when nothing is made

    const QString made = QStringLiteral("Nuova directory creata");
    const QString refused = QStringLiteral("Non posso creare directory");
    QTest::newRow("new folder") << "new" << "ok" << made << "new";
    QTest::newRow("name as typed, blanks kept") << " new " << "ok" << made << " new ";
    QTest::newRow("inside an existing sub-folder") << "old/inner" << "ok" << made << "old/inner";
    QTest::newRow("empty name") << "" << "ok" << refused << "";
    QTest::newRow("existing name") << "old" << "ok" << refused << "";
    QTest::newRow("nested missing level") << "missing/new" << "ok" << refused << "";
    QTest::newRow("cancel") << "new" << "cancel" << "" << "";
    QTest::newRow("escape") << "new" << "escape" << "" << "";
    QTest::newRow("close box") << "new" << "closebox" << "" << "";
}

void TestCreadir::createFolder()
{
    QFETCH(QString, typed);
    QFETCH(QString, close);
    QFETCH(QString, message);
    QFETCH(QString, created);
    // A rename use leaves its state behind; the command must set every control itself.
    m_prompt->Label2->show();
    m_prompt->Label1->setText(QStringLiteral("Digitare nome file:"));
    m_prompt->Edit1->setText(QStringLiteral("left.htm"));
    m_window->FileListBox1->setMarked(0, true);
    const QStringList foldersBefore = texts(*m_window->DirectoryListBox2);

    bool acted = false, warningHidden = false;
    QString promptLine, preset;
    whenModal<TDiredit>([&](TDiredit* dialog) {
        acted = true;
        warningHidden = dialog->Label2->isHidden();
        promptLine = dialog->Label1->text();
        preset = dialog->Edit1->text();
        dialog->Edit1->setText(typed);
        if (close == QLatin1String("ok"))
            dialog->OKBtn->click();
        else if (close == QLatin1String("cancel"))
            dialog->CancelBtn->click();
        else if (close == QLatin1String("escape"))
            pressKey(dialog, Qt::Key_Escape);
        else
            dialog->close();
    });
    m_window->Creadirectory1->trigger();

    QVERIFY(acted);
    QVERIFY(warningHidden);
    QCOMPARE(promptLine, QStringLiteral("Digitare nome directory:"));
    QCOMPARE(preset, QString());
    QVERIFY(m_messages->errors.isEmpty());
    if (message.isEmpty()) {
        QVERIFY(m_messages->messages.empty());
    } else {
        QCOMPARE(m_messages->messages.size(), std::size_t(1));
        QCOMPARE(m_messages->messages.front().text, message);
        QCOMPARE(m_messages->messages.front().kind,
            created.isEmpty() ? MessageKind::Warning : MessageKind::Information);
    }
    QCOMPARE(QDir(m_destination->path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(),
        created.isEmpty() || created.contains(QLatin1Char('/')) ? 1 : 2);
    if (!created.isEmpty())
        QVERIFY(QFileInfo(m_destination->filePath(created)).isDir());
    QVERIFY(!QFileInfo::exists(m_destination->filePath(QStringLiteral("missing"))));
    QCOMPARE(QDir(m_window->DirectoryListBox2->directory()).canonicalPath(), QDir(m_destination->path()).canonicalPath());
    // Only a success refreshes the lists, which clears the marks and lists the new folder.
    const bool refreshed = !created.isEmpty();
    QCOMPARE(texts(*m_window->FileListBox1), QStringList(refreshed ? "a.htm" : "a.htm*"));
    if (refreshed && !created.contains(QLatin1Char('/')))
        QVERIFY(texts(*m_window->DirectoryListBox2).contains(created));
    else
        QCOMPARE(texts(*m_window->DirectoryListBox2), foldersBefore);
}

QTEST_MAIN(TestCreadir)
#include "tst_creadir.moc"
