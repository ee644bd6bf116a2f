#pragma once
// TWaveOut: a file output writing RIFF/WAVE files as plain PCM, extensible
// PCM (tag $FFFE, for more than 2 channels or more than 16 bits when
// CreateNonMsHeaders is false) or IMA/DVI ADPCM, new or appended to an
// existing PCM or IMA ADPCM file. Done fixes the header sizes from the file
// whenever the run did not write exactly what the header announced.
//
// Threads: properties are set on the main thread while idle; Prepare,
// DoOutput and Done run on the output's worker thread.

#include "audio/formats/ImaAdpcm.h"
#include "audio/formats/WaveFormat.h"
#include "audio/stream/AuFileOut.h"

#include <array>
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
    void writeField32(int64_t offset, int64_t value);
    bool outputImaBlock();
    void fixSizes();

    TWavType WavType = wtPCM;
    uint16_t BlockSize = 512;
    bool CreateNonMsHeaders = true;
    bool EndReached = false;
    std::array<ima::ChannelState, 2> Ima{};

    // The run in progress.
    bool prepared_ = false;
    bool appending_ = false;
    int headerSize_ = 0;
    int64_t announced_ = 0;        // input Size at Prepare (-1 unknown)
    int channels_ = 0;
    int bits_ = 0;
    int64_t framesEncoded_ = 0;    // IMA: real input frames of this run
    int64_t dataStartSize_ = 0;    // bytes of data already in the file at Prepare
    wav::HeaderInfo existing_;     // header of the file appended to
    std::vector<uint8_t> blockInput_;
    std::vector<int16_t> blockFrames_;
    std::vector<uint8_t> blockOut_;
};

}  // namespace dw
