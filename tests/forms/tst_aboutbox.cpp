// Tests of the about box: its texts and picture, and the keys and buttons that close it or not.
#include <forms/aboutbox.h>
#include <tests/support/gui_helpers.h>

#include <QLabel>
#include <QPushButton>

class TestAboutBox : public QObject
{
    Q_OBJECT

private slots:
    void texts_data();
    void texts();
    void design();
    void closes_data();
    void closes();
    void escapeKeepsItOpen();
    void secondShowingLooksTheSame();
};

void TestAboutBox::texts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::newRow("ProductName") << "ProductName"
                                 << "SNELLITORE WEB 2002";
    QTest::newRow("Version") << "Version"
                             << "Versione 5.0";
    QTest::newRow("Label2, two blanks") << "Label2"
                                        << "Commenti:  versione a 32 bit";
}

void TestAboutBox::texts()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    TAbout about;
    auto* label = about.findChild<QLabel*>(name);
    QVERIFY(label);
    QCOMPARE(label->text(), text);
    QCOMPARE(label->parentWidget(), about.Panel1);
    QVERIFY(label->font().bold());
    QCOMPARE(label->font().pixelSize(), scaled(&about, 15));
}

void TestAboutBox::design()
{
    TAbout about;
    QCOMPARE(about.objectName(), QStringLiteral("About"));
    QCOMPARE(about.windowTitle(), QStringLiteral("About"));
    QCOMPARE(about.size(), QSize(scaled(&about, 366), scaled(&about, 285)));
    QCOMPARE(about.Image1->geometry(), scaledRect(&about, 10, 10, 81, 71));
    QVERIFY(about.Image1->hasScaledContents());
    const QPixmap picture = about.Image1->pixmap();
    QCOMPARE(picture.size(), QSize(32, 32));
    QVERIFY(!about.Label1->text().isEmpty());
    QVERIFY(about.Label2->wordWrap());
    QCOMPARE(about.OKButton->text(), QStringLiteral("OK"));
    QVERIFY(!about.OKButton->icon().isNull());
    QVERIFY(about.OKButton->isDefault());
    QVERIFY(!QPixmap(QStringLiteral(":/snellitore/icon.png")).isNull());
}

void TestAboutBox::closes_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("result");
    QTest::newRow("Enter") << "enter" << int(QDialog::Accepted);
    QTest::newRow("Return") << "return" << int(QDialog::Accepted);
    QTest::newRow("OK button") << "ok" << int(QDialog::Accepted);
    QTest::newRow("close box") << "close" << int(QDialog::Rejected);
}

void TestAboutBox::closes()
{
    QFETCH(QString, action);
    QFETCH(int, result);
    TAbout about;
    bool acted = false;
    whenModal<TAbout>([&](TAbout* box) {
        if (action == "enter")
            pressKey(box, Qt::Key_Enter);
        else if (action == "return")
            pressKey(box, Qt::Key_Return);
        else if (action == "ok")
            QTest::mouseClick(box->OKButton, Qt::LeftButton);
        else
            box->close();
        acted = true;
    });
    QCOMPARE(about.exec(), result);
    QVERIFY(acted);
    QVERIFY(about.isHidden());
}

void TestAboutBox::escapeKeepsItOpen()
{
    TAbout about;
    bool openAfterEscape = false;
    whenModal<TAbout>([&](TAbout* box) {
        pressKey(box, Qt::Key_Escape);
        QTest::keyClick(box, Qt::Key_Escape);
        openAfterEscape = box->isVisible();
        box->OKButton->click();
    });
    QCOMPARE(about.exec(), int(QDialog::Accepted));
    QVERIFY(openAfterEscape);
}

void TestAboutBox::secondShowingLooksTheSame()
{
    TAbout about;
    QImage first, second;
    whenModal<TAbout>([&](TAbout* box) {
        first = box->grab().toImage();
        pressKey(box, Qt::Key_Enter);
    });
    about.exec();
    whenModal<TAbout>([&](TAbout* box) {
        second = box->grab().toImage();
        pressKey(box, Qt::Key_Enter);
    });
    about.exec();
    QVERIFY(!first.isNull());
    QCOMPARE(second, first);
}

QTEST_MAIN(TestAboutBox)
#include "tst_aboutbox.moc"
