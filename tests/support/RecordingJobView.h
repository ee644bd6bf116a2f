#pragma once
// A job view that records what an engine tells a window: the captions of the
// stages, the items' results and how often it closed; tests may react to a
// stage or a gauge value.

#include "runner/JobView.h"

#include <QStringList>

#include <functional>
#include <vector>

namespace dwtest {

class RecordingView : public dw::TJobView {
public:
    void StageStarted(const dw::TJobStage& stage) override
    {
        captions << stage.Caption();
        if (onStage)
            onStage(stage);
    }
    void Gauge(int percent) override
    {
        if (onGauge)
            onGauge(percent);
    }
    void ItemFinished(const dw::TJobItemResult& result) override { finished.push_back(result); }
    void Closed() override { ++closed; }

    QStringList captions;
    std::vector<dw::TJobItemResult> finished;
    int closed = 0;
    std::function<void(const dw::TJobStage&)> onStage;
    std::function<void(int)> onGauge;
};

}  // namespace dwtest
