#include "audio/formats/LoudnessAlbum.h"

namespace dw {

void TLoudnessAlbum::Add(std::unique_ptr<TLoudnessMeter> track)
{
    if (track)
        tracks_.push_back(std::move(track));
}

TLoudness TLoudnessAlbum::Result()
{
    std::vector<TLoudnessMeter*> meters;
    meters.reserve(tracks_.size());
    for (const auto& t : tracks_)
        meters.push_back(t.get());
    return TLoudnessMeter::Combine(meters);
}

}  // namespace dw
