// The Windows icon: scripts/png_to_ico.py must turn the program's PNG icon into an .ico with the same pixels.
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestWindowsIcon : public QObject
{
    Q_OBJECT

private slots:
    void icoHoldsThePngPixels();
};

void TestWindowsIcon::icoHoldsThePngPixels()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString ico = folder.filePath("snellitore.ico");
    QProcess script;
    script.start(QStringLiteral(PYTHON), { QStringLiteral(ICON_SCRIPT), QStringLiteral(ICON_PNG), ico });
    QVERIFY(script.waitForFinished(30000));
    QVERIFY2(script.exitCode() == 0, script.readAllStandardError().constData());

    const QImage png = QImage(QStringLiteral(ICON_PNG)).convertToFormat(QImage::Format_ARGB32);
    QImage converted(ico, "ico");
    if (converted.isNull())
        QSKIP("Qt's ICO reader is not installed");
    converted = converted.convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(converted.size(), QSize(32, 32));
    QCOMPARE(converted.size(), png.size());
    for (int y = 0; y < png.height(); ++y)
        for (int x = 0; x < png.width(); ++x)
            QCOMPARE(converted.pixel(x, y), png.pixel(x, y));
}

QTEST_GUILESS_MAIN(TestWindowsIcon)
#include "tst_windows_icon.moc"
