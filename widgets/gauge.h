// Progress gauge: a framed bar filled from the left, with the percentage written across it.
#pragma once

#include <QColor>
#include <QWidget>

class Gauge : public QWidget
{
    Q_OBJECT

public:
    explicit Gauge(QWidget* parent = nullptr);

    enum class Paint
    {
        Now, // at once, without the event loop: a compaction holds it
        Later, // with the next paint of the window, or when the event loop runs again
    };

    int progress() const;
    // Clamps to 0..100 and, when the value changes, paints it as asked.
    void setProgress(int percent, Paint paint = Paint::Now);
    QColor barColor() const;
    void setBarColor(const QColor& color);
    // The percentage as written on the bar, e.g. "37%".
    QString text() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_progress = 0;
    QColor m_barColor { 0, 128, 0 };
};
