#pragma once
// The loudness of an album: the measurements of its tracks combined as if
// the tracks were played one after another (BS.1770 gating over every block
// of every track, through ebur128_loudness_global_multiple), and the highest
// peak of any track.
//
//   TLoudnessAlbum album;
//   for each track: run a TLoudnessMeasure, then album.Add(measure.TakeMeter());
//   const TLoudness a = album.Result();
//
// Threads: one thread at a time.

#include "audio/formats/LoudnessMeter.h"

#include <memory>
#include <vector>

namespace dw {

class TLoudnessAlbum {
public:
    // Keeps the track's measurement (its gating blocks are needed for the
    // album). A null meter is ignored.
    void Add(std::unique_ptr<TLoudnessMeter> track);

    size_t Tracks() const { return tracks_.size(); }
    void Clear() { tracks_.clear(); }

    // Unmeasured when there are no tracks or all of them are silent.
    TLoudness Result();

private:
    std::vector<std::unique_ptr<TLoudnessMeter>> tracks_;
};

}  // namespace dw
