// The progress sink of the main window: drives Gauge1 while a compaction holds the event loop.
#pragma once

#include <engine/compaction.h>

#include <QElapsedTimer>
#include <QPointer>

class Gauge;

// Every change reaches the gauge at once, but the gauge is painted at most once per frame of the screen: a batch
// of small files changes it thousands of times a second, more than a screen can show, and each paint that goes
// to the display costs far more than compacting a small file. A change not painted at once is shown by the next
// paint, or when the event loop runs again after the run.
class GaugeProgress final : public ProgressSink
{
public:
    explicit GaugeProgress(Gauge* gauge);
    // For tests: a minimum interval of 0 paints every change.
    GaugeProgress(Gauge* gauge, qint64 minimumPaintIntervalMs);

    void setVisible(bool visible) override;
    void setProgress(int percent) override;

private:
    // True, and counted as a paint, when the last paint is at least one interval ago.
    bool paintDue();

    QPointer<Gauge> m_gauge;
    qint64 m_intervalMs;
    QElapsedTimer m_sinceLastPaint;
};
