#include "cd/TrackSource.h"

#include "platform/OutputFile.h"

namespace dw {

TTrackSource::~TTrackSource() = default;

void TTrackSource::tapsBegin(int track)
{
    for (TPcmTap* tap : taps_)
        tap->Begin(track);
}

void TTrackSource::tapsBlock(const uint8_t* data, size_t bytes)
{
    for (TPcmTap* tap : taps_)
        tap->Block(data, bytes);
}

void TTrackSource::tapsEnd(bool whole)
{
    for (TPcmTap* tap : taps_)
        tap->End(whole);
}

void TTrackSource::tell(TTrackReadEnd end)
{
    if (OnEnd)
        OnEnd(std::move(end));
}

void TTrackSource::progress(int percent)
{
    if (OnProgress)
        OnProgress(TTrackReadProgress{percent});
}

}  // namespace dw
