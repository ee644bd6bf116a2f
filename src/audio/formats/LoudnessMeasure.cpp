#include "audio/formats/LoudnessMeasure.h"

#include "audio/stream/AuException.h"

#include <mutex>

namespace dw {

TLoudnessMeasure::TLoudnessMeasure() = default;

TLoudnessMeasure::~TLoudnessMeasure() = default;

TLoudness TLoudnessMeasure::TrackResult()
{
    std::lock_guard<std::recursive_mutex> lock(DataLock);
    return meter_ ? meter_->Result() : TLoudness{};
}

std::unique_ptr<TLoudnessMeter> TLoudnessMeasure::TakeMeter()
{
    std::lock_guard<std::recursive_mutex> lock(DataLock);
    return std::move(meter_);
}

void TLoudnessMeasure::DoInit()
{
    if (!Input)
        throw EAuException("Input not assigned");
    meter_.reset();
    // The meter checks the format and raises before the input is opened.
    meter_ = std::make_unique<TLoudnessMeter>(Input->GetChannels(), Input->GetSampleRate(),
                                              TAuConverter::GetBitsPerSample());
    Input->Init();
    Busy = true;
    Size = Input->GetSize();
    Position = 0;
}

void TLoudnessMeasure::DoFlush()
{
    if (Input)
        Input->Flush();
    Busy = false;
}

void TLoudnessMeasure::DoGetData(void*& buffer, uint32_t& bytes)
{
    if (!Busy || !Input)
        throw EAuException("The Stream is not opened");
    Input->GetData(buffer, bytes);
}

void TLoudnessMeasure::ReadFromSource(void*& buffer, uint32_t& bytes)
{
    TAuConverter::ReadFromSource(buffer, bytes);
    if (meter_ && bytes > 0)
        meter_->Add(buffer, bytes);
}

}  // namespace dw
