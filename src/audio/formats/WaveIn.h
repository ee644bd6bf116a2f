#pragma once
// TWaveIn: a file input for RIFF/WAVE files. Reads PCM, IEEE float (32 and
// 64 bit), extensible PCM and float, IMA/DVI ADPCM, Microsoft ADPCM and,
// through the compression manager, MPEG audio in WAV (tag $55); it always
// delivers integer PCM (float as 32-bit, ADPCM and MPEG as 16-bit).
//
// A file that cannot be read is not an error at open time: Valid is false
// and the input delivers nothing. Reads stay within the "data" chunk and
// the file: a file cut short fails as its end is reached (OpenProblem),
// and damaged ADPCM data fails where it is met. A data chunk whose size is
// 0 (a header never fixed) or 0xFFFFFFFF (written as a stream) runs to the
// end of the file.
//
// Threads: format queries on any thread (FileLock); data calls on the worker
// of the output at the end of the chain (DataLock, taken by the base).

#include "audio/formats/MsAdpcm.h"
#include "audio/formats/WaveFormat.h"
#include "audio/stream/AuFileIn.h"
#include "audio/stream/MemoryStream.h"

#include <memory>
#include <vector>

namespace dw {

class TWaveIn : public TAuFileIn {
public:
    TWaveIn();
    ~TWaveIn() override;

    // The kind of data in the file (opens it first; wtUnsupported when the
    // file cannot be opened).
    TWavType GetWavType();
    // "<file>: the WAV data ends after N of the M bytes its header states
    // ..." when the file holds less audio than its data chunk states, else
    // empty (opens the file). Reading such a file raises this message as
    // its last data is reached, instead of ending as if it were whole.
    QString OpenProblem();

protected:
    void DoGetData(void*& buffer, uint32_t& bytes) override;
    bool DoSeek(int64_t& sampleNum) override;
    void OpenFile() override;
    void CloseFile() override;

private:
    void parseAndSetUp();
    bool setUpAcm(const wav::HeaderInfo& info);
    void applyHeader(const wav::HeaderInfo& info);
    int64_t readData(uint8_t* dst, int64_t n);  // never past the data chunk
    bool readBlock(uint32_t blockAlign, size_t headerBytes);
    void refill();
    bool dataFollowedByChunks(int64_t fileSize);

    std::vector<uint8_t> ReadBuffer;
    TWavType WavType = wtUnsupported;
    // IMA/DVI ADPCM
    uint16_t DviBlockAlign = 0;
    uint16_t DviSamplesPerBlock = 0;
    uint32_t DviSampleCount = 0;
    // Microsoft ADPCM (MsBlockAlign also holds the other formats' alignment)
    uint16_t MsBlockAlign = 0;
    uint16_t MsSamplesPerBlock = 0;
    uint32_t MsSampleCount = 0;
    std::vector<msadpcm::Coef> Coefs;
    bool IsFloat32 = false;
    int64_t DataOffset = 0;
    int64_t DataEnd = 0;             // one past the last byte of the "data" chunk
    int64_t StatedDataBytes = -1;    // the data size stated, when the file holds less
    uint32_t SkipBytes = 0;          // decoded bytes to drop after an ADPCM seek
    std::vector<uint8_t> Block;      // one ADPCM block as read
    std::vector<int16_t> Decoded;    // one ADPCM block decoded
    // MPEG audio in WAV: the decoded data and the file's own stream set aside.
    std::unique_ptr<TMemoryStream> AcmData;
    TStream* SetAsideStream = nullptr;
};

}  // namespace dw
