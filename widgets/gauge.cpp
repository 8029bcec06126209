// Progress gauge: a framed bar filled from the left, with the percentage written across it.
#include <widgets/gauge.h>

#include <QPainter>

#include <algorithm>

Gauge::Gauge(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

int Gauge::progress() const
{
    return m_progress;
}

void Gauge::setProgress(int percent, Paint paint)
{
    percent = std::clamp(percent, 0, 100);
    if (percent == m_progress)
        return;
    m_progress = percent;
    if (paint == Paint::Now)
        repaint();
    else
        update();
}

QColor Gauge::barColor() const
{
    return m_barColor;
}

void Gauge::setBarColor(const QColor& color)
{
    m_barColor = color;
    update();
}

QString Gauge::text() const
{
    return QStringLiteral("%1%").arg(m_progress);
}

QSize Gauge::sizeHint() const
{
    return { 100, fontMetrics().height() + 12 };
}

void Gauge::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect inner = rect().adjusted(1, 1, -1, -1);
    painter.fillRect(rect(), Qt::black);
    painter.fillRect(inner, Qt::white);
    painter.fillRect(QRect(inner.topLeft(), QSize(inner.width() * m_progress / 100, inner.height())), m_barColor);
    // White by difference is the inverse of whatever lies beneath, so the text reads on both parts of the bar.
    painter.setCompositionMode(QPainter::CompositionMode_Difference);
    painter.setPen(Qt::white);
    painter.drawText(inner, Qt::AlignCenter, text());
}
