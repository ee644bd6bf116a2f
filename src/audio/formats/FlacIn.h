#pragma once
// TFlacIn: a file input that decodes a FLAC file through libFLAC into
// little-endian PCM at the file's own width (8, 16, 24 or 32 bits; widths
// between those are widened to the next whole byte, low bits zero), and
// reads its stream information and Vorbis comments. Size is the total
// length in bytes of decoded frames, or unknown when STREAMINFO does not
// state the number of samples. Seeking goes through the decoder (it uses a
// seek table when the file has one).
//
// The decoder reads through callbacks over the component's stream, so a
// caller-supplied stream is read as well as a file; an ID3v2 tag in front of
// the stream is passed over. A file the decoder does not accept raises
// "<file>: not a usable FLAC file: <reason>". Damaged frames, lost sync,
// missing frames, a frame in another format or sample rate, and a stream
// shorter than STREAMINFO states raise EAuException where they are met
// (see TDecodedFileIn). Of two comment blocks the first is read.
//
// Threads: format queries and VorbisTags on any thread (FileLock); data
// calls on the worker of the output at the end of the chain (DataLock).

#include "audio/formats/DecodedFileIn.h"

#include <QStringList>

#include <cstdint>
#include <memory>
#include <vector>

namespace dw {

struct TFlacDecoder;

class TFlacIn : public TDecodedFileIn {
public:
    TFlacIn();
    ~TFlacIn() override;

    // The sample width the file was encoded with (opens the file).
    uint32_t FileBitsPerSample();
    // The minimum and maximum block size of STREAMINFO (opens the file).
    uint32_t MinBlockSize();
    uint32_t MaxBlockSize();
    // Seek points the file's seek table holds (0 without one; opens the file).
    int SeekPointCount();

protected:
    void DoGetData(void*& buffer, uint32_t& bytes) override;
    bool DoSeek(int64_t& sampleNum) override;
    void openDecoder() override;
    void closeDecoder() override;
    void afterClose() override;
    bool decoderOpen() const override { return Decoder != nullptr; }
    const char* kindName() const override { return "FLAC"; }

private:
    friend struct TFlacInCallbacks;
    void take(const int32_t* const planes[], uint32_t frames, uint32_t channels);
    // Moves the stream past ID3v2 tags in front of the FLAC stream (their
    // sizes and footers read here: the decoder's own search stops at a
    // footer) and sets StreamStart; an ID3v1 trailer at the end of the file
    // sets StreamEnd before it.
    void skipTagsInFront();
    // Where the FLAC stream ends in Stream: its size, or the start of an
    // ID3v1 trailer (which a stream of unknown length would otherwise read
    // as data that is not a frame).
    int64_t streamEnd() const;

    std::unique_ptr<TFlacDecoder> Decoder;
    std::vector<uint8_t> Buffer;  // decoded bytes; [Taken, size) not yet handed out
    size_t Taken = 0;
    uint32_t FileBits = 0;
    uint32_t Shift = 0;  // left shift from the file's width to the delivered one
    uint32_t MinBlock = 0;
    uint32_t MaxBlock = 0;
    int SeekPoints = 0;
    QString DecodeError;  // the first fault the decoder met
    QList<QByteArray> RawCommentBytes;
    int64_t StreamStart = 0;    // where the FLAC stream starts in Stream
    int64_t TrailerBytes = 0;   // an ID3v1 trailer's 128 bytes at the end, or 0
    bool HaveComments = false;  // the first comment block was read
    int64_t NextSample = -1;    // the first sample the next frame must hold (-1: any)
};

}  // namespace dw
