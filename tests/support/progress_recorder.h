// A progress sink that records every call, for checking what the gauge was told.
#pragma once

#include <engine/compaction.h>

#include <string>
#include <vector>

class ProgressRecorder : public ProgressSink
{
public:
    void setVisible(bool v) override
    {
        visible = v;
        calls.push_back(v ? "show" : "hide");
    }
    void setProgress(int percent) override
    {
        progress = percent;
        values.push_back(percent);
        calls.push_back(std::to_string(percent));
    }

    bool visible = false;
    int progress = 0;
    std::vector<int> values;
    std::vector<std::string> calls;
};
