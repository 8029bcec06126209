// The gauge's value during a run.
#include <engine/progress_meter.h>

#include <engine/arithmetic.h>
#include <engine/compaction.h>

#include <limits>

ProgressMeter::ProgressMeter(ProgressSink& sink, std::int64_t size)
    : m_sink(sink)
    , m_size(size)
{
}

void ProgressMeter::change(std::int64_t position)
{
    const int percent = progressPercent(position, m_size);
    if (percent != m_shown) {
        m_shown = percent;
        m_sink.setProgress(percent);
    }
    if (percent >= 100) {
        m_nextChange = std::numeric_limits<std::int64_t>::max();
        return;
    }
    // First position whose percentage passes percent + 1/2; one more when that is an exact half rounded down.
    std::int64_t next = ((2 * percent + 1) * m_size + 199) / 200;
    while (progressPercent(next, m_size) <= percent)
        ++next;
    m_nextChange = next;
}
