// Tests of the message boxes and of the error display behind the event loop, under the real Application.
#include <tests/support/gui_helpers.h>

#include <shell/application.h>
#include <shell/messages.h>
#include <platform/io_error.h>

#include <QEventLoop>
#include <QLabel>
#include <QScreen>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

#include <stdexcept>

Q_DECLARE_METATYPE(MessageKind)

namespace {

enum class Closer
{
    Escape,
    Enter,
    Return,
    Click,
};

// What a box showed, read while it was on screen.
struct SeenBox
{
    bool acted = false;
    QString caption;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString text;
    Qt::TextFormat format = Qt::AutoText;
    QString labelText;
    int buttonCount = 0;
    QString buttonText;
    bool okIsDefault = false;
    bool okIsEscape = false;
    Qt::WindowModality modality = Qt::NonModal;
};

void readAndClose(QMessageBox* box, Closer closer, SeenBox& seen)
{
    seen.caption = box->windowTitle();
    seen.icon = box->icon();
    seen.text = box->text();
    seen.format = box->textFormat();
    if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label")))
        seen.labelText = label->text();
    const QList<QAbstractButton*> buttons = box->buttons();
    seen.buttonCount = static_cast<int>(buttons.size());
    if (!buttons.isEmpty()) {
        seen.buttonText = buttons.front()->text();
        seen.okIsDefault = box->defaultButton() == buttons.front();
        seen.okIsEscape = box->escapeButton() == buttons.front();
    }
    seen.modality = box->windowModality();
    seen.acted = true;
    // Keys go where the keyboard would send them: the widget with the focus.
    QWidget* focused = box->focusWidget() ? box->focusWidget() : box;
    switch (closer) {
    case Closer::Escape:
        QTest::keyClick(focused, Qt::Key_Escape);
        break;
    case Closer::Enter:
        QTest::keyClick(focused, Qt::Key_Enter);
        break;
    case Closer::Return:
        QTest::keyClick(focused, Qt::Key_Return);
        break;
    case Closer::Click:
        if (!box->buttons().isEmpty())
            QTest::mouseClick(box->buttons().front(), Qt::LeftButton);
        break;
    }
}

enum class Thrown
{
    FileNotFound,
    SharingViolation,
    OtherError,
    NotAnException,
};

void throwError(Thrown what)
{
    switch (what) {
    case Thrown::FileNotFound:
        throw EInOutError(IoCode::FileNotFound);
    case Thrown::SharingViolation:
        throw EInOutError(IoCode::SharingViolation);
    case Thrown::OtherError:
        throw std::runtime_error("Bad state (7)");
    case Thrown::NotAnException:
        throw 42;
    }
}

} // namespace

Q_DECLARE_METATYPE(Closer)
Q_DECLARE_METATYPE(Thrown)

class TestMessages : public QObject
{
    Q_OBJECT

private slots:
    void showsBoxOfEachKind_data();
    void showsBoxOfEachKind();
    void reportsErrorUnderApplicationTitle();
    void errorEscapingHandlerIsReportedAndLoopGoesOn_data();
    void errorEscapingHandlerIsReportedAndLoopGoesOn();
    void runHandlerShowsInsteadOfThrowing();
    void boxIsCentredOnScreen_data();
    void boxIsCentredOnScreen();
};

void TestMessages::showsBoxOfEachKind_data()
{
    QTest::addColumn<MessageKind>("kind");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QMessageBox::Icon>("icon");
    QTest::addColumn<Closer>("closer");

    QTest::newRow("warning, Escape") << MessageKind::Warning << "Warning" << QMessageBox::Warning << Closer::Escape;
    QTest::newRow("error, Enter") << MessageKind::Error << "Error" << QMessageBox::Critical << Closer::Enter;
    QTest::newRow("information, Return") << MessageKind::Information << "Information" << QMessageBox::Information
                                         << Closer::Return;
    QTest::newRow("information, click on OK")
        << MessageKind::Information << "Information" << QMessageBox::Information << Closer::Click;
}

void TestMessages::showsBoxOfEachKind()
{
    QFETCH(MessageKind, kind);
    QFETCH(QString, caption);
    QFETCH(QMessageBox::Icon, icon);
    QFETCH(Closer, closer);
    // A file name that rich text would swallow: it must appear exactly.
    const QString text = QStringLiteral("<b>%1.htm");

    SeenBox seen;
    whenModal<QMessageBox>([&](QMessageBox* box) { readAndClose(box, closer, seen); });
    ModalWatchdog watchdog;
    ShowMessageBox(text, kind);

    QVERIFY(seen.acted);
    QVERIFY2(!watchdog.fired(), "the box stayed open");
    QCOMPARE(seen.caption, caption);
    QCOMPARE(seen.icon, icon);
    QCOMPARE(seen.text, text);
    QCOMPARE(seen.format, Qt::PlainText);
    QCOMPARE(seen.labelText, text);
    QCOMPARE(seen.buttonCount, 1);
    QCOMPARE(seen.buttonText, QStringLiteral("OK"));
    QVERIFY(seen.okIsDefault);
    QVERIFY(seen.okIsEscape);
    QCOMPARE(seen.modality, Qt::ApplicationModal);
}

void TestMessages::reportsErrorUnderApplicationTitle()
{
    // Application took the title from this test's program file.
    QCOMPARE(applicationTitle(), QStringLiteral("tst_messages"));

    SeenBox seen;
    whenModal<QMessageBox>([&](QMessageBox* box) { readAndClose(box, Closer::Escape, seen); });
    ModalWatchdog watchdog;
    ReportError(EInOutError(IoCode::FileNotFound));

    QVERIFY(seen.acted);
    QVERIFY2(!watchdog.fired(), "the box stayed open");
    QCOMPARE(seen.caption, QStringLiteral("tst_messages"));
    QCOMPARE(seen.icon, QMessageBox::Critical);
    QCOMPARE(seen.text, QStringLiteral("File not found."));
    QCOMPARE(seen.buttonCount, 1);
    QVERIFY(seen.okIsDefault);
    QVERIFY(seen.okIsEscape);
}

void TestMessages::errorEscapingHandlerIsReportedAndLoopGoesOn_data()
{
    QTest::addColumn<Thrown>("thrown");
    QTest::addColumn<QString>("shown");

    QTest::newRow("file not found") << Thrown::FileNotFound << "File not found.";
    QTest::newRow("code without a text of its own") << Thrown::SharingViolation << "I/O error 32.";
    QTest::newRow("other error ending in a bracket") << Thrown::OtherError << "Bad state (7)";
    QTest::newRow("not an exception object") << Thrown::NotAnException << "Unknown error.";
}

void TestMessages::errorEscapingHandlerIsReportedAndLoopGoesOn()
{
    QFETCH(Thrown, thrown);
    QFETCH(QString, shown);
    MessageRecorder recorder;
    QEventLoop loop;
    bool afterError = false;
    bool abandoned = true;

    QTimer::singleShot(0, &loop, [&] {
        throwError(thrown);
        abandoned = false;
    });
    QTimer::singleShot(20, &loop, [&] {
        afterError = true;
        loop.quit();
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, &loop, [&] { loop.exit(1); });
    watchdog.start(5000);

    QCOMPARE(loop.exec(), 0);
    QVERIFY(afterError);
    QVERIFY(abandoned);
    QCOMPARE(recorder.errors.size(), 1);
    QCOMPARE(recorder.errorCaptions.front(), applicationTitle());
    QCOMPARE(recorder.errors.front(), shown);
    QVERIFY(recorder.messages.empty());
}

void TestMessages::runHandlerShowsInsteadOfThrowing()
{
    MessageRecorder recorder;
    runHandler([] { throw EInOutError(IoCode::DiskFull); });
    QCOMPARE(recorder.errors.size(), 1);
    QCOMPARE(recorder.errors.front(), QStringLiteral("Disk full."));
}

void TestMessages::boxIsCentredOnScreen_data()
{
    QTest::addColumn<bool>("mainWindowActive");
    QTest::addColumn<bool>("error");
    QTest::addColumn<QString>("text");
    const QString summary = QStringLiteral("/home/user/sites/a/very/long/folder/index.htm 10240 byte  ==> "
                                           "/home/user/sites/a/very/long/folder/index.big 8000 byte -22%");
    QTest::newRow("no active window") << false << false << "Nessun file selezionato";
    QTest::newRow("main window active") << true << false << "Nessun file selezionato";
    QTest::newRow("error display, main window active") << true << true << "Disk full";
    QTest::newRow("long summary, main window active") << true << false << summary;
}

// The box stands at the screen's centre even while a window in a corner is active, and its one button is
// centred below the text.
void TestMessages::boxIsCentredOnScreen()
{
    QFETCH(bool, mainWindowActive);
    QFETCH(bool, error);
    QFETCH(QString, text);
    QWidget mainWindow;
    if (mainWindowActive) {
        mainWindow.setGeometry(10, 10, 300, 200);
        mainWindow.show();
        mainWindow.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&mainWindow));
    }
    QPoint boxCentre;
    QPoint screenCentre;
    int buttonCentre = -1;
    int boxMiddle = -2;
    whenModal<QMessageBox>([&](QMessageBox* box) {
        const QRect frame = box->frameGeometry();
        boxCentre = frame.center();
        screenCentre = box->screen()->availableGeometry().center();
        const QAbstractButton* ok = box->buttons().value(0);
        buttonCentre = ok ? ok->mapTo(box, ok->rect().center()).x() : -1;
        boxMiddle = box->rect().center().x();
        QTest::keyClick(box, Qt::Key_Escape);
    });
    ModalWatchdog watchdog;
    if (error)
        ReportError(QStringLiteral("Disk full"));
    else
        ShowMessageBox(text, MessageKind::Warning);
    QVERIFY2(!watchdog.fired(), "the box stayed open");
    QVERIFY2((boxCentre - screenCentre).manhattanLength() <= 2,
        qPrintable(QStringLiteral("box centre (%1, %2), screen centre (%3, %4)")
                       .arg(boxCentre.x()).arg(boxCentre.y()).arg(screenCentre.x()).arg(screenCentre.y())));
    QVERIFY2(qAbs(buttonCentre - boxMiddle) <= 2,
        qPrintable(QStringLiteral("button centre %1, box middle %2").arg(buttonCentre).arg(boxMiddle)));
}

int main(int argc, char** argv)
{
    // The real Application, so that its notify() is the one under test.
    Application application(argc, argv);
    TestMessages test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_messages.moc"
