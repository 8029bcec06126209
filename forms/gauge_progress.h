// The progress sink of the main window: drives Gauge1 while a compaction holds the event loop.
#pragma once

#include <compaction.h>

#include <QPointer>

class Gauge;

class GaugeProgress final : public ProgressSink
{
public:
    explicit GaugeProgress(Gauge* gauge);

    void setVisible(bool visible) override;
    void setProgress(int percent) override;

private:
    QPointer<Gauge> m_gauge;
};
