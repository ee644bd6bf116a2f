#include "audio/formats/ImaAdpcm.h"

#include <algorithm>

namespace dw::ima {

namespace {

constexpr int16_t kStepTable[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,   253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,   876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749,  3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493,  10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

constexpr int8_t kIndexTable[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

int16_t readLe16(const uint8_t* p)
{
    return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
}

// Applies a code to the state: shared by decoder and encoder.
int16_t apply(ChannelState& st, uint8_t code)
{
    const int step = kStepTable[std::min<int>(st.index, 88)];
    int diff = step >> 3;
    if (code & 4)
        diff += step;
    if (code & 2)
        diff += step >> 1;
    if (code & 1)
        diff += step >> 2;
    int pred = st.predictor;
    pred = (code & 8) ? pred - diff : pred + diff;
    pred = std::clamp(pred, -32767, 32767);
    st.predictor = static_cast<int16_t>(pred);
    st.index = static_cast<uint8_t>(std::clamp(st.index + kIndexTable[code & 15], 0, 88));
    return st.predictor;
}

}  // namespace

int16_t decodeCode(ChannelState& st, uint8_t code)
{
    if (st.index > 88)
        st.index = 88;
    return apply(st, code & 15);
}

uint8_t encodeCode(ChannelState& st, int16_t sample)
{
    if (st.index > 88)
        st.index = 88;
    const int step = kStepTable[st.index];
    int diff = sample - st.predictor;
    uint8_t code = 0;
    if (diff < 0) {
        code = 8;
        diff = -diff;
    }
    if (diff >= step) {
        code |= 4;
        diff -= step;
    }
    if (diff >= (step >> 1)) {
        code |= 2;
        diff -= step >> 1;
    }
    if (diff >= (step >> 2))
        code |= 1;
    apply(st, code);
    return code;
}

bool blockLayoutOk(int blockAlign, int channels)
{
    if (channels == 1)
        return blockAlign > 4;
    if (channels == 2)
        return blockAlign > 8 && (blockAlign - 8) % 8 == 0;
    return false;
}

int framesPerBlock(int blockAlign, int channels)
{
    if ((channels == 1 && blockAlign > 4) || (channels == 2 && blockAlign > 8))
        return framesInBytes(blockAlign, channels);
    return 0;
}

int framesInBytes(int64_t bytes, int channels)
{
    if ((channels != 1 && channels != 2) || bytes < 4 * channels)
        return 0;
    // A block is at most 65535 bytes, so the count fits an int.
    bytes = std::min<int64_t>(bytes, 65535);
    if (channels == 1)
        return static_cast<int>(1 + 2 * (bytes - 4));
    return static_cast<int>(1 + 8 * ((bytes - 8) / 8));
}

size_t decodeBlock(std::span<const uint8_t> block, int channels, std::span<int16_t> out)
{
    if (channels != 1 && channels != 2)
        return 0;
    const size_t header = 4 * static_cast<size_t>(channels);
    if (block.size() < header || out.size() < static_cast<size_t>(channels))
        return 0;
    ChannelState st[2];
    for (int c = 0; c < channels; ++c) {
        st[c].predictor = readLe16(block.data() + 4 * c);
        st[c].index = std::min<uint8_t>(block[4 * c + 2], 88);
        out[c] = st[c].predictor;
    }
    const std::span<const uint8_t> codes = block.subspan(header);
    const size_t maxFrames = out.size() / channels;
    size_t frames = 1;
    if (channels == 1) {
        for (uint8_t b : codes) {
            if (frames < maxFrames)
                out[frames++] = decodeCode(st[0], b & 15);
            if (frames < maxFrames)
                out[frames++] = decodeCode(st[0], b >> 4);
        }
        return frames;
    }
    // Stereo: whole pairs of 4-byte groups, 8 frames per pair.
    const size_t pairs = codes.size() / 8;
    for (size_t g = 0; g < pairs && frames + 8 <= maxFrames; ++g) {
        const uint8_t* left = codes.data() + 8 * g;
        const uint8_t* right = left + 4;
        for (int k = 0; k < 8; ++k) {
            const uint8_t lb = left[k / 2], rb = right[k / 2];
            const uint8_t lc = (k & 1) ? (lb >> 4) : (lb & 15);
            const uint8_t rc = (k & 1) ? (rb >> 4) : (rb & 15);
            out[2 * (frames + k)] = decodeCode(st[0], lc);
            out[2 * (frames + k) + 1] = decodeCode(st[1], rc);
        }
        frames += 8;
    }
    return frames;
}

void encodeBlock(std::span<const int16_t> frames, int channels, std::span<ChannelState> state,
                 std::span<uint8_t> block)
{
    std::fill(block.begin(), block.end(), uint8_t{0});
    const size_t nFrames = static_cast<size_t>(framesPerBlock(static_cast<int>(block.size()), channels));
    if (!blockLayoutOk(static_cast<int>(block.size()), channels) || frames.size() < nFrames * channels || state.size() < static_cast<size_t>(channels))
        return;
    for (int c = 0; c < channels; ++c) {
        state[c].predictor = frames[c];
        if (state[c].index > 88)
            state[c].index = 88;
        const uint16_t p = static_cast<uint16_t>(state[c].predictor);
        block[4 * c] = static_cast<uint8_t>(p & 0xFF);
        block[4 * c + 1] = static_cast<uint8_t>(p >> 8);
        block[4 * c + 2] = state[c].index;
        block[4 * c + 3] = 0;
    }
    uint8_t* codes = block.data() + 4 * channels;
    if (channels == 1) {
        for (size_t i = 1; i < nFrames; ++i) {
            const uint8_t code = encodeCode(state[0], frames[i]);
            const size_t k = i - 1;
            codes[k / 2] |= (k & 1) ? static_cast<uint8_t>(code << 4) : code;
        }
        return;
    }
    for (size_t i = 1; i < nFrames; ++i) {
        const size_t k = i - 1;           // code number within the channel
        const size_t group = k / 8;       // pair of 4-byte groups
        const size_t within = k % 8;
        for (int c = 0; c < 2; ++c) {
            const uint8_t code = encodeCode(state[c], frames[2 * i + c]);
            uint8_t& b = codes[group * 8 + c * 4 + within / 2];
            b |= (within & 1) ? static_cast<uint8_t>(code << 4) : code;
        }
    }
}

}  // namespace dw::ima
