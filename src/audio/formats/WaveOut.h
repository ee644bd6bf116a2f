#pragma once
// TWaveOut: a file output writing RIFF/WAVE files as plain PCM, extensible
// PCM (tag $FFFE, for more than 2 channels or more than 16 bits when
// CreateNonMsHeaders is false) or IMA/DVI ADPCM, new or appended to an
// existing PCM or IMA ADPCM file. Done fixes the header sizes from the file
// whenever the run did not write exactly what the header announced.
//
// A new file is written under a temporary name and put in place by Done
// when the run ends (or is stopped, with SetKeepStopped); a failed or
// stopped run leaves no file and an existing file untouched. A failed (or
// stopped, not kept) append puts the file back as it was.
// Files that grow past 4 GiB are written as RF64 (EBU Tech 3306): when the
// input announces such a size the RF64 header is written at once; when the
// data only turns out that large, Done writes the RF64 header into a fresh
// temporary file and copies the data behind it (holes stay holes). Files
// below 4 GiB keep the plain 44/60/68-byte headers. Blocks of zero bytes
// are written as holes, so long silence costs no disk space.
//
// Threads: properties are set on the main thread while idle; Prepare,
// DoOutput and Done run on the output's worker thread.

#include "audio/formats/ImaAdpcm.h"
#include "audio/formats/WaveFormat.h"
#include "audio/stream/AuFileOut.h"

#include <array>
#include <span>
#include <utility>
#include <vector>

namespace dw {

class TWaveOut : public TAuFileOut {
public:
    TWaveOut();
    ~TWaveOut() override;

    // Only wtPCM or wtDVIADPCM, only while idle; other values are ignored.
    TWavType GetWavType() const { return WavType; }
    void SetWavType(TWavType type);
    // ADPCM block size in bytes: only while idle, non-zero, a multiple of 4.
    uint16_t GetBlockSize() const { return BlockSize; }
    void SetBlockSize(uint16_t size);
    bool GetCreateNonMsHeaders() const { return CreateNonMsHeaders; }
    void SetCreateNonMsHeaders(bool value) { CreateNonMsHeaders = value; }
    void SetFileMode(TFileOutputMode mode) override;

protected:
    void Prepare() override;
    bool DoOutput(bool abort) override;
    void Done() override;

private:
    [[noreturn]] void failPrepare(const char* message);
    void writeAll(const void* data, int64_t size);
    void writeData(const void* data, int64_t size);
    void writeField32(int64_t offset, int64_t value);
    void writeHeader(std::span<const uint8_t> header, int64_t dataSize, int64_t frames);
    bool outputImaBlock();
    void checkAppendLimit(int64_t bytes);
    void scanExisting(int64_t fileSize);
    void fixSizes();
    void restoreAppended();
    int64_t framesWritten(int64_t dataSize) const;

    TWavType WavType = wtPCM;
    uint16_t BlockSize = 512;
    bool CreateNonMsHeaders = true;
    bool EndReached = false;
    std::array<ima::ChannelState, 2> Ima{};

    // The run in progress.
    bool prepared_ = false;
    bool appending_ = false;
    bool rf64_ = false;            // the header has a ds64 chunk
    int headerSize_ = 0;
    std::vector<uint8_t> header_;  // the 32-bit RIFF header as first written
    int64_t end_ = 0;              // where the file ends (zero blocks may be holes)
    int64_t announced_ = 0;        // input Size at Prepare (-1 unknown)
    int channels_ = 0;
    int bits_ = 0;
    int64_t framesEncoded_ = 0;    // IMA: real input frames of this run
    int64_t dataStartSize_ = 0;    // bytes of data already in the file at Prepare
    wav::HeaderInfo existing_;     // header of the file appended to
    // An appended file as it was: its length and the header fields a run
    // changes, so that a failed run can put it back.
    int64_t originalSize_ = 0;
    std::vector<std::pair<int64_t, std::array<uint8_t, 4>>> originalFields_;
    std::vector<uint8_t> blockInput_;
    std::vector<int16_t> blockFrames_;
    std::vector<uint8_t> blockOut_;
};

}  // namespace dw
