#include "runner/LoudnessScan.h"

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

}  // namespace dw
