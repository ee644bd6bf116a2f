#include "cd/LoudnessTap.h"

#include "audio/stream/AuException.h"

namespace dw {

void TLoudnessTap::Begin(int)
{
    meter_.reset();
    failure_.clear();
    try {
        meter_ = std::make_unique<TLoudnessMeter>(2, 44100, 16, budget_);
    } catch (const std::exception& e) {
        failure_ = ExceptionText(e);
    }
}

void TLoudnessTap::Block(const uint8_t* data, size_t bytes)
{
    if (!meter_)
        return;
    try {
        meter_->Add(data, bytes);
    } catch (const std::exception& e) {
        // A measurement cut short counts for nothing; the rip goes on.
        failure_ = ExceptionText(e);
        meter_.reset();
    }
}

void TLoudnessTap::End(bool whole)
{
    if (!whole)
        meter_.reset();
}

}  // namespace dw
