#include "audio/formats/MsAdpcm.h"

#include <algorithm>

namespace dw::msadpcm {

namespace {

constexpr int kAdaptation[16] = {230, 230, 230, 230, 307, 409, 512, 614,
                                 768, 614, 512, 409, 307, 230, 230, 230};

int16_t readLe16(const uint8_t* p)
{
    return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
}

struct Channel {
    Coef coef;
    int delta = 0;
    int sample1 = 0;
    int sample2 = 0;

    int16_t decode(uint8_t nibble)
    {
        const int s = (nibble & 8) ? static_cast<int>(nibble) - 16 : static_cast<int>(nibble);
        // Division truncates toward zero, as the format defines it.
        // 64-bit: two products of extreme 16-bit values overflow 32 bits.
        const int64_t predicted =
            (static_cast<int64_t>(sample1) * coef.c1 + static_cast<int64_t>(sample2) * coef.c2) / 256;
        const int value = static_cast<int>(std::clamp<int64_t>(predicted + s * delta, -32768, 32767));
        int d = static_cast<int16_t>((delta * kAdaptation[nibble & 15]) / 256);
        if (d < 16)
            d = 16;
        delta = d;
        sample2 = sample1;
        sample1 = value;
        return static_cast<int16_t>(value);
    }
};

}  // namespace

size_t headerSize(int channels)
{
    return channels == 1 ? 7 : channels == 2 ? 14 : 0;
}

size_t framesInBlock(size_t blockBytes, int channels, int samplesPerBlock)
{
    const size_t header = headerSize(channels);
    if (header == 0 || blockBytes < header || samplesPerBlock < 2)
        return 0;
    const size_t available = blockBytes - header;
    if (channels == 1) {
        const size_t bytes = std::min<size_t>((samplesPerBlock - 2) / 2, available);
        return 2 + 2 * bytes;
    }
    const size_t bytes = std::min<size_t>(samplesPerBlock - 2, available);
    return 2 + bytes;
}

DecodeResult decodeBlock(std::span<const uint8_t> block, int channels, int samplesPerBlock,
                         std::span<const Coef> coefs, std::span<int16_t> out, size_t& frames)
{
    frames = 0;
    const size_t header = headerSize(channels);
    if (header == 0)
        return DecodeResult::BadChannels;
    const size_t total = framesInBlock(block.size(), channels, samplesPerBlock);
    if (total == 0)
        return DecodeResult::ShortBlock;
    if (out.size() < total * channels)
        return DecodeResult::ShortBlock;

    Channel ch[2];
    const uint8_t* p = block.data();
    for (int c = 0; c < channels; ++c) {
        const uint8_t idx = p[c];
        if (idx >= coefs.size())
            return DecodeResult::BadPredictor;
        ch[c].coef = coefs[idx];
    }
    p += channels;
    for (int c = 0; c < channels; ++c)
        ch[c].delta = readLe16(p + 2 * c);
    p += 2 * channels;
    for (int c = 0; c < channels; ++c)
        ch[c].sample1 = readLe16(p + 2 * c);
    p += 2 * channels;
    for (int c = 0; c < channels; ++c)
        ch[c].sample2 = readLe16(p + 2 * c);

    // Output begins with sample2, then sample1, of each channel.
    size_t o = 0;
    for (int c = 0; c < channels; ++c)
        out[o++] = static_cast<int16_t>(ch[c].sample2);
    for (int c = 0; c < channels; ++c)
        out[o++] = static_cast<int16_t>(ch[c].sample1);

    const uint8_t* codes = block.data() + header;
    if (channels == 1) {
        const size_t bytes = (total - 2) / 2;
        for (size_t i = 0; i < bytes; ++i) {
            out[o++] = ch[0].decode(codes[i] >> 4);
            out[o++] = ch[0].decode(codes[i] & 15);
        }
    } else {
        const size_t bytes = total - 2;
        for (size_t i = 0; i < bytes; ++i) {
            out[o++] = ch[0].decode(codes[i] >> 4);
            out[o++] = ch[1].decode(codes[i] & 15);
        }
    }
    frames = total;
    return DecodeResult::Ok;
}

}  // namespace dw::msadpcm
