#pragma once
// Microsoft ADPCM (format tag 2) block decoding, mono and stereo.
//
// Block header, mono (7 bytes): predictor index (8-bit), delta, sample1,
// sample2 (signed 16-bit LE each). Stereo (14 bytes): predictor index left,
// right; then delta, sample1 and sample2 as left/right pairs. Codes follow:
// mono two per byte, high nibble first; stereo one byte per frame, high nibble
// left and low nibble right.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace dw::msadpcm {

struct Coef {
    int16_t c1 = 0;
    int16_t c2 = 0;
};

// The most coefficient pairs a file may declare.
constexpr size_t kMaxCoefs = 32;

// Bytes of block header for 1 or 2 channels (0 for other counts).
size_t headerSize(int channels);

// Sample frames a block decodes to, given the samples per block the file
// declares and the code bytes actually present (a short last block decodes
// only what it holds). 0 when the block is shorter than its header.
size_t framesInBlock(size_t blockBytes, int channels, int samplesPerBlock);

enum class DecodeResult { Ok, ShortBlock, BadPredictor, BadChannels };

// Decodes one block into interleaved 16-bit samples. `out` must hold
// framesInBlock(...) * channels samples; `frames` receives the frame count.
// A predictor index outside `coefs` is refused (BadPredictor).
DecodeResult decodeBlock(std::span<const uint8_t> block, int channels, int samplesPerBlock,
                         std::span<const Coef> coefs, std::span<int16_t> out, size_t& frames);

}  // namespace dw::msadpcm
