#pragma once
// TOpusIn: a file input that decodes an Ogg Opus file (every link of a
// chain, one after the other; a chain whose links differ in channel count is
// refused when it opens) through
// opusfile into 16-bit little-endian PCM at 48 kHz, the decoder's rate, and
// reads its comments. Size is the total length in bytes of 16-bit frames,
// or unknown when the stream cannot tell it.
//
// The decoder reads through callbacks over the component's stream, so a
// caller-supplied stream is read as well as a file. A file the decoder does
// not accept raises "<file>: not a usable Opus file: <code> (<reason>)".
// A gap or damage in the data, and a file cut short, raise EAuException
// (see TDecodedFileIn).
//
// Threads: format queries and VorbisTags on any thread (FileLock); data
// calls on the worker of the output at the end of the chain (DataLock).

#include "audio/formats/DecodedFileIn.h"

#include <QStringList>

#include <array>
#include <cstdint>
#include <memory>

namespace dw {

struct TOpusDecoder;

class TOpusIn : public TDecodedFileIn {
public:
    TOpusIn();
    ~TOpusIn() override;

    // The sample rate the encoder was given, as the header records it
    // (0 when not recorded; opens the file).
    uint32_t InputSampleRate();
    // The average bit rate of the whole file in bits per second (0 when it
    // cannot be told; opens the file).
    int32_t AverageBitRate();
    // Links in the file (opens the file; 0 when it is not valid).
    int LinkCount();

protected:
    void DoGetData(void*& buffer, uint32_t& bytes) override;
    bool DoSeek(int64_t& sampleNum) override;
    void openDecoder() override;
    void closeDecoder() override;
    bool decoderOpen() const override { return Decoder != nullptr; }
    const char* kindName() const override { return "Opus"; }
    void fillBuffer() override;

private:
    friend struct TOpusCallbacks;

    static constexpr uint32_t kBufferSize = 23040;  // 120 ms of 48 kHz stereo, twice
    static constexpr uint32_t kFloatCapacity = kBufferSize / 2;
    std::array<uint8_t, kBufferSize> Buffer{};
    std::array<float, kFloatCapacity> Floats{};  // one decoder read before rounding
    std::unique_ptr<TOpusDecoder> Decoder;
    uint32_t InputRate = 0;
    int32_t BitRateAverage = 0;
    int Links = 0;
};

}  // namespace dw
