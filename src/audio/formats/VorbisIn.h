#pragma once
// TVorbisIn: a file input that decodes an Ogg Vorbis file (every logical
// stream of a chain, one after the other) into 16-bit little-endian PCM
// through libvorbisfile, and reads its comments. The stream information is
// that of the whole file: channels and rate as the decoder reports them for
// the file, Size the total length in bytes of 16-bit frames.
//
// The decoder reads through four callbacks over the component's stream, so
// a caller-supplied stream (memory, say) is read as well as a file. A file
// the decoder does not accept raises "Failed to open an ogg file: <code>";
// a chain whose links differ in channels or rate is refused when it opens.
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

struct TVorbisDecoder;

class TVorbisIn : public TDecodedFileIn {
public:
    TVorbisIn();
    ~TVorbisIn() override;

    // Bit rates of the first logical stream in bits per second, as its
    // identification header states them (0 or less when not set; opens the file).
    long UpperBitRate();
    long NominalBitRate();
    long LowerBitRate();
    // Logical streams in the file (opens the file; 0 when it is not valid).
    int StreamCount();

protected:
    void DoGetData(void*& buffer, uint32_t& bytes) override;
    bool DoSeek(int64_t& sampleNum) override;
    void openDecoder() override;
    void closeDecoder() override;
    void beforeOpen() override;
    void afterClose() override;
    bool decoderOpen() const override { return Decoder != nullptr; }
    const char* kindName() const override { return "Ogg Vorbis"; }
    void fillBuffer() override;

private:
    friend struct TVorbisCallbacks;
    void readComments();

    static constexpr uint32_t kBufferSize = 12288;
    std::array<uint8_t, kBufferSize> Buffer{};
    std::unique_ptr<TVorbisDecoder> Decoder;
    int CurrentStream = -1;
    long BitRateUpper = 0;
    long BitRateNominal = 0;
    long BitRateLower = 0;
    int Streams = 0;
};

}  // namespace dw
