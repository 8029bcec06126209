// Tests of the name prompt: its design, the result of each way of closing it, and that the result stays.
#include <forms/diredit2.h>
#include <tests/support/gui_helpers.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

class TestDiredit : public QObject
{
    Q_OBJECT

private slots:
    void design();
    void closing_data();
    void closing();
    void resultStaysAndCanBeSet();
    void typedTextIsKeptAsTyped();
};

void TestDiredit::design()
{
    TDiredit dialog;
    QCOMPARE(dialog.objectName(), QStringLiteral("Diredit"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Snellitore Web 2002"));
    QCOMPARE(dialog.size(), QSize(scaled(&dialog, 420), scaled(&dialog, 198)));
    QVERIFY(dialog.Label2->isHidden());
    QCOMPARE(dialog.Label2->text(), QStringLiteral("Non posso sovrascrivere sul medesimo file"));
    QCOMPARE(dialog.Label1->text(), QStringLiteral("Digitare nome directory:"));
    QVERIFY(dialog.Edit1->text().isEmpty());
    QVERIFY(dialog.Edit1->font().bold());
    QCOMPARE(dialog.Edit1->font().pixelSize(), scaled(&dialog, 15));
    QCOMPARE(dialog.Edit1->geometry(), scaledRect(&dialog, 120, 80, 161, 26));
    QVERIFY(dialog.OKBtn->isDefault());
    QVERIFY(!dialog.CancelBtn->isDefault());
    QCOMPARE(dialog.Edit1->nextInFocusChain(), dialog.OKBtn);
    QCOMPARE(dialog.OKBtn->nextInFocusChain(), dialog.CancelBtn);
    QCOMPARE(dialog.modalResult(), int(TDiredit::None));
}

void TestDiredit::closing_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("result");
    QTest::newRow("Enter in the field") << "enter" << int(TDiredit::Ok);
    QTest::newRow("OK button") << "ok" << int(TDiredit::Ok);
    QTest::newRow("Escape in the field") << "escape" << int(TDiredit::Cancel);
    QTest::newRow("Cancel button") << "cancel" << int(TDiredit::Cancel);
    QTest::newRow("close box") << "close" << int(TDiredit::Cancel);
}

void TestDiredit::closing()
{
    QFETCH(QString, action);
    QFETCH(int, result);
    TDiredit dialog;
    bool fieldHadFocus = false;
    whenModal<TDiredit>([&](TDiredit* d) {
        fieldHadFocus = d->focusWidget() == d->Edit1;
        if (action == "enter")
            QTest::keyClick(d->Edit1, Qt::Key_Enter);
        else if (action == "escape")
            QTest::keyClick(d->Edit1, Qt::Key_Escape);
        else if (action == "ok")
            QTest::mouseClick(d->OKBtn, Qt::LeftButton);
        else if (action == "cancel")
            QTest::mouseClick(d->CancelBtn, Qt::LeftButton);
        else
            d->close();
    });
    dialog.exec();
    QVERIFY(fieldHadFocus);
    QVERIFY(dialog.isHidden());
    QCOMPARE(dialog.modalResult(), result);
}

void TestDiredit::resultStaysAndCanBeSet()
{
    TDiredit dialog;
    whenModal<TDiredit>([](TDiredit* d) { d->CancelBtn->click(); });
    dialog.exec();
    QCOMPARE(dialog.modalResult(), int(TDiredit::Cancel));
    QCoreApplication::processEvents();
    QCOMPARE(dialog.modalResult(), int(TDiredit::Cancel));
    dialog.setModalResult(TDiredit::Ok);
    QCOMPARE(dialog.modalResult(), int(TDiredit::Ok));

    int whileShown = -1;
    whenModal<TDiredit>([&](TDiredit* d) {
        whileShown = d->modalResult();
        d->OKBtn->click();
    });
    dialog.exec();
    QCOMPARE(whileShown, int(TDiredit::None));
    QCOMPARE(dialog.modalResult(), int(TDiredit::Ok));
}

void TestDiredit::typedTextIsKeptAsTyped()
{
    TDiredit dialog;
    dialog.Edit1->clear();
    whenModal<TDiredit>([](TDiredit* d) {
        QTest::keyClicks(d->Edit1, QStringLiteral(" a b.htm "));
        QTest::keyClick(d->Edit1, Qt::Key_Return);
    });
    dialog.exec();
    QCOMPARE(dialog.Edit1->text(), QStringLiteral(" a b.htm "));
    QCOMPARE(dialog.modalResult(), int(TDiredit::Ok));
}

QTEST_MAIN(TestDiredit)
#include "tst_diredit2.moc"
