#include "runner/LoudnessScan.h"

#include "audio/stream/AuException.h"
#include "audio/formats/LoudnessMeasure.h"
#include "audio/formats/WaveIn.h"

#include <vector>

namespace dw {

namespace {

constexpr size_t kReadBlock = 64 * 1024;

}  // namespace

bool MeasureWaveFile(const QString& path, TLoudness& result, std::unique_ptr<TLoudnessMeter>& meter,
                     const std::atomic<bool>& stop)
{
    TWaveIn in;
    in.SetFileName(path);
    TLoudnessMeasure measure;
    measure.SetInput(&in);
    measure.Init();
    std::vector<char> buffer(kReadBlock);
    bool whole = false;
    while (!stop.load()) {
        if (measure.CopyData(buffer.data(), uint32_t(buffer.size())) == 0) {
            whole = true;
            break;
        }
    }
    measure.Flush();
    if (!whole)
        return false;
    result = measure.TrackResult();
    meter = measure.TakeMeter();
    return true;
}

TLoudnessScan::~TLoudnessScan() { Cancel(); }

void TLoudnessScan::Start(const QString& path)
{
    Cancel();
    stop_ = false;
    path_ = path;
    whole_ = false;
    result_ = {};
    meter_.reset();
    failure_.clear();
    thread_ = std::thread([this] {
        try {
            whole_ = MeasureWaveFile(path_, result_, meter_, stop_);
            if (!whole_)
                failure_ = path_ + QStringLiteral(": the measurement was stopped");
        } catch (const std::exception& e) {
            whole_ = false;
            const QString why = ExceptionText(e);
            failure_ = why.contains(path_) ? why : path_ + QStringLiteral(": ") + why;
        }
    });
}

bool TLoudnessScan::Wait(TLoudness& result, std::unique_ptr<TLoudnessMeter>& meter, QString* failure)
{
    if (!thread_.joinable()) {
        if (failure)
            failure->clear();
        return false;
    }
    thread_.join();
    if (!whole_) {
        if (failure)
            *failure = failure_;
        return false;
    }
    result = result_;
    meter = std::move(meter_);
    return true;
}

void TLoudnessScan::Cancel()
{
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
}

}  // namespace dw
