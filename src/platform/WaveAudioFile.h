#pragma once
// The plain PCM WAV files the wave-audio device works on: 8-bit (unsigned)
// or 16-bit (signed, little-endian) samples, one or two channels. Reading
// walks the RIFF chunks to "fmt " and "data"; writing produces the canonical
// 44-byte header. Other encodings are refused by name, so the device never
// plays or extends a file it does not understand.
//
// Thread-safe (pure functions over the path or bytes given).

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>

namespace dw {

struct TWaveAudioFormat {
    int channels = 2;
    int sampleRate = 44100;
    int bits = 16;

    int blockAlign() const { return channels * (bits / 8); }
    int64_t bytesPerSecond() const { return int64_t(sampleRate) * blockAlign(); }
    // Whether the device can record and play this format.
    bool supported() const;
    bool operator==(const TWaveAudioFormat&) const = default;
};

// Where the audio of a WAV file lies.
struct TWaveAudioLayout {
    TWaveAudioFormat format;
    int64_t dataOffset = 0;  // first audio byte
    int64_t dataBytes = 0;   // whole sample frames, within the file
};

constexpr int kWaveHeaderBytes = 44;
// The most audio a 32-bit RIFF header can state after a 44-byte header.
constexpr int64_t kMaxWaveDataBytes = 0xFFFFFFFFLL - (kWaveHeaderBytes - 8);

// The 44-byte header: "RIFF", 36 + dataBytes, "WAVE", "fmt " of 16 bytes
// (format 1, channels, rate, bytes per second, block align, bits), "data",
// dataBytes. All numbers little-endian.
std::array<uint8_t, kWaveHeaderBytes> WaveAudioHeader(const TWaveAudioFormat& format, int64_t dataBytes);

// Reads the layout of the PCM WAV file at path. False with *error set
// ("<path>: <reason>") when it cannot be opened or is not a supported PCM
// file. A data size beyond the end of the file is cut to what is there.
bool ReadWaveAudioLayout(const QString& path, TWaveAudioLayout& layout, QString* error);

}  // namespace dw
