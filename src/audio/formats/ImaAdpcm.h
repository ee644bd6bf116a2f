#pragma once
// IMA/DVI ADPCM as stored in RIFF/WAVE files (format tag $11): block decoding
// for one or two channels and the matching block encoder.
//
// Block layout: per channel a 4-byte header (predictor, signed 16-bit LE;
// step index, 8-bit; a zero byte), left first; then the codes. Mono packs two
// codes per byte, earlier sample in the low nibble. Stereo interleaves 4-byte
// groups: 8 codes of the left channel, then 8 of the right.

#include <cstddef>
#include <cstdint>
#include <span>

namespace dw::ima {

// Predictor and step index of one channel, carried from code to code.
struct ChannelState {
    int16_t predictor = 0;
    uint8_t index = 0;
};

// Decodes one code (low four bits of `code`) and updates the state. Returns
// the new sample. The predictor stays within -32767 ... 32767.
int16_t decodeCode(ChannelState& st, uint8_t code);

// Chooses the code for `sample` given the state and updates the state exactly
// as decodeCode would, so the encoder tracks the decoder.
uint8_t encodeCode(ChannelState& st, int16_t sample);

// Sample frames one block of `blockAlign` bytes holds; 0 when a block of that
// size cannot hold the headers of `channels` channels (only 1 and 2 are
// supported). Stereo codes come in pairs of 4-byte groups (8 frames); bytes
// short of a whole pair at the end of a block hold no frame, so a stereo
// block gives 1 + 8 x ((blockAlign - 8) div 8) frames.
int framesPerBlock(int blockAlign, int channels);

// Frames decodeBlock yields from a block of `bytes` bytes (a short last block
// included): 0 below the headers, else the header frame plus the codes.
int framesInBytes(int64_t bytes, int channels);

// Whether a block of this size can be laid out for this channel count: mono
// needs more than the 4 header bytes; stereo needs whole pairs of 4-byte
// groups behind the 8 header bytes.
bool blockLayoutOk(int blockAlign, int channels);

// Decodes one block (which may be shorter than a full block: only the codes
// present are decoded) into interleaved 16-bit samples. `out` must hold
// framesPerBlock(block.size(), channels) * channels samples. Returns the number
// of sample frames written; 0 when the block is shorter than its headers.
size_t decodeBlock(std::span<const uint8_t> block, int channels, std::span<int16_t> out);

// Encodes framesPerBlock(block.size(), channels) frames of interleaved samples
// into one block. The first frame becomes the header predictors; the step
// indexes in `state` (one per channel) carry over from the previous block and
// are updated. `block` is overwritten completely.
void encodeBlock(std::span<const int16_t> frames, int channels, std::span<ChannelState> state,
                 std::span<uint8_t> block);

}  // namespace dw::ima
