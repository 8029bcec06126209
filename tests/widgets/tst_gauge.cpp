// Tests of Gauge: the value it keeps, what it paints, and that it paints without waiting for the event loop.
#include <widgets/gauge.h>

#include <QTest>

namespace {

class PaintCounter : public QObject
{
public:
    int paints = 0;

    bool eventFilter(QObject*, QEvent* event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

// Does any inner pixel differ from the plain bar or background under it?
bool showsText(const QImage& image, int filled, QRgb bar)
{
    for (int y = 1; y < image.height() - 1; ++y) {
        for (int x = 1; x < image.width() - 1; ++x) {
            if (image.pixel(x, y) != (x <= filled ? bar : qRgb(255, 255, 255)))
                return true;
        }
    }
    return false;
}

} // namespace

class TestGauge : public QObject
{
    Q_OBJECT

private slots:
    void painting_data();
    void painting();
    void repaintsAtOnceOnlyOnChange();
};

void TestGauge::painting_data()
{
    QTest::addColumn<int>("set");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("filled"); // of an inner width of 103

    QTest::newRow("empty") << 0 << "0%" << 0;
    QTest::newRow("one percent truncates") << 1 << "1%" << 1;
    QTest::newRow("half truncates") << 50 << "50%" << 51;
    QTest::newRow("full") << 100 << "100%" << 103;
    QTest::newRow("above range") << 150 << "100%" << 103;
    QTest::newRow("negative") << -5 << "0%" << 0;
}

void TestGauge::painting()
{
    QFETCH(int, set);
    QFETCH(QString, text);
    QFETCH(int, filled);
    Gauge gauge;
    gauge.resize(105, 33);
    gauge.setBarColor(Qt::green);
    gauge.setProgress(37);

    gauge.setProgress(set);
    const QImage image = gauge.grab().toImage();

    QCOMPARE(gauge.progress(), std::clamp(set, 0, 100));
    QCOMPARE(gauge.text(), text);
    QCOMPARE(image.pixel(0, 0), qRgb(0, 0, 0));
    QCOMPARE(image.pixel(104, 32), qRgb(0, 0, 0));
    if (filled > 0)
        QCOMPARE(image.pixel(filled, 1), qRgb(0, 255, 0));
    if (filled < 103)
        QCOMPARE(image.pixel(filled + 1, 1), qRgb(255, 255, 255));
    // White text drawn plainly would vanish on the white background.
    QVERIFY(showsText(image, filled, qRgb(0, 255, 0)));
}

// A compaction keeps the event loop busy, so a deferred update would never show.
void TestGauge::repaintsAtOnceOnlyOnChange()
{
    Gauge gauge;
    gauge.resize(105, 33);
    gauge.show();
    QVERIFY(QTest::qWaitForWindowExposed(&gauge));
    PaintCounter counter;
    gauge.installEventFilter(&counter);

    gauge.setProgress(37);
    QCOMPARE(counter.paints, 1);
    gauge.setProgress(37);
    gauge.setProgress(-1);
    gauge.setProgress(-20);
    QCOMPARE(counter.paints, 2);
}

QTEST_MAIN(TestGauge)
#include "tst_gauge.moc"
