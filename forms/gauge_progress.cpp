// The progress sink of the main window.
#include "gauge_progress.h"

#include <gauge.h>

GaugeProgress::GaugeProgress(Gauge* gauge)
    : m_gauge(gauge)
{
}

void GaugeProgress::setVisible(bool visible)
{
    if (!m_gauge)
        return;
    m_gauge->setVisible(visible);
    // No event is processed until the run ends, so the change is painted here or not at all.
    if (visible)
        m_gauge->repaint();
    else if (QWidget* parent = m_gauge->parentWidget(); parent && parent->isVisible())
        parent->repaint(m_gauge->geometry());
}

void GaugeProgress::setProgress(int percent)
{
    if (m_gauge)
        m_gauge->setProgress(percent);
}
