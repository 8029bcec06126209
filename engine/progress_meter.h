// The gauge's value during a run.
#pragma once

#include <cstdint>

class ProgressSink;

// Tells the sink each new whole percentage. The value only changes at known positions, so the main loop
// compares one number per character and computes a percentage about a hundred times per file.
class ProgressMeter
{
public:
    ProgressMeter(ProgressSink& sink, std::int64_t size);
    void reached(std::int64_t position)
    {
        if (position >= m_nextChange)
            change(position);
    }
    std::int64_t nextChange() const { return m_nextChange; }

private:
    void change(std::int64_t position);

    ProgressSink& m_sink;
    std::int64_t m_size;
    int m_shown = -1;
    std::int64_t m_nextChange = 1;
};
