// The progress sink of the main window.
#include <forms/gauge_progress.h>

#include <widgets/gauge.h>

#include <QScreen>

#include <algorithm>
#include <cmath>

namespace {

// One frame of the screen the gauge is on; 60 frames a second where the screen does not tell.
qint64 frameIntervalMs(const Gauge* gauge)
{
    const QScreen* screen = gauge ? gauge->screen() : nullptr;
    const qreal rate = screen && screen->refreshRate() > 1 ? screen->refreshRate() : 60;
    return std::max<qint64>(1, std::llround(1000 / rate));
}

} // namespace

GaugeProgress::GaugeProgress(Gauge* gauge)
    : GaugeProgress(gauge, frameIntervalMs(gauge))
{
}

GaugeProgress::GaugeProgress(Gauge* gauge, qint64 minimumPaintIntervalMs)
    : m_gauge(gauge)
    , m_intervalMs(minimumPaintIntervalMs)
{
}

bool GaugeProgress::paintDue()
{
    if (m_sinceLastPaint.isValid() && m_sinceLastPaint.elapsed() < m_intervalMs)
        return false;
    m_sinceLastPaint.start();
    return true;
}

void GaugeProgress::setVisible(bool visible)
{
    if (!m_gauge)
        return;
    // Showing and hiding schedule a paint of their own; without the event loop it happens here or with the next one.
    m_gauge->setVisible(visible);
    if (!paintDue())
        return;
    if (visible)
        m_gauge->repaint();
    else if (QWidget* parent = m_gauge->parentWidget(); parent && parent->isVisible())
        parent->repaint(m_gauge->geometry());
}

void GaugeProgress::setProgress(int percent)
{
    if (!m_gauge || std::clamp(percent, 0, 100) == m_gauge->progress())
        return;
    // A hidden gauge paints nothing, so only a change on screen spends the frame.
    const bool onScreen = m_gauge->isVisible();
    m_gauge->setProgress(percent, onScreen && paintDue() ? Gauge::Paint::Now : Gauge::Paint::Later);
}
