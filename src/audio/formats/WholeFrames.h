#pragma once
// Hands the bytes an input gives to an encoder in whole sample frames: a
// frame split across two reads is kept back and completed by the next one,
// so an encoder that takes frames never sees a misaligned sample. What is
// left at the end of the input (less than a frame) is dropped.
//
// One owner; not thread-safe.

#include <algorithm>
#include <cstdint>
#include <vector>

namespace dw {

class TWholeFrames {
public:
    void Reset(uint32_t frameBytes)
    {
        frameBytes_ = frameBytes;
        pending_.clear();
    }
    void Clear() { pending_.clear(); }

    // Calls encode(data, frames) for every run of whole frames in the bytes
    // (at most twice per call: the completed split frame, then the rest).
    template <typename Encode>
    void Feed(const uint8_t* in, uint32_t bytes, Encode&& encode)
    {
        if (frameBytes_ == 0)
            return;
        if (!pending_.empty()) {
            const uint32_t need = std::min<uint32_t>(frameBytes_ - static_cast<uint32_t>(pending_.size()), bytes);
            pending_.insert(pending_.end(), in, in + need);
            in += need;
            bytes -= need;
            if (pending_.size() == frameBytes_) {
                encode(pending_.data(), 1u);
                pending_.clear();
            }
        }
        const uint32_t frames = bytes / frameBytes_;
        if (frames > 0)
            encode(in, frames);
        pending_.insert(pending_.end(), in + frames * frameBytes_, in + bytes);
    }

private:
    uint32_t frameBytes_ = 0;
    std::vector<uint8_t> pending_;
};

}  // namespace dw
