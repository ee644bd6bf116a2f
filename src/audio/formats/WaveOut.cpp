#include "audio/formats/WaveOut.h"

#include "audio/stream/AuException.h"
#include "audio/stream/AuFileStream.h"

#include <QFileInfo>

#include <algorithm>
#include <cstring>

namespace dw {

namespace {

// Bytes asked of the input per write: 64 KiB keeps system calls few.
constexpr uint32_t kChunk = 65536;
constexpr const char* kWriteError = "Error writing wave file";

}  // namespace

TWaveOut::TWaveOut() = default;

TWaveOut::~TWaveOut()
{
    Stop(false);
}

void TWaveOut::SetWavType(TWavType type)
{
    if (Busy)
        return;
    if (type == wtPCM || type == wtDVIADPCM)
        WavType = type;
}

void TWaveOut::SetBlockSize(uint16_t size)
{
    if (Busy || size == 0 || size % 4 != 0)
        return;
    BlockSize = size;
}

void TWaveOut::SetFileMode(TFileOutputMode mode)
{
    FileMode = mode;
}

void TWaveOut::failPrepare(const char* message)
{
    Input->Flush();
    FreeOwnedStream();
    throw EAuException(message);
}

void TWaveOut::writeAll(const void* data, int64_t size)
{
    if (size <= 0)
        return;
    if (!Stream || Stream->Write(data, size) != size)
        throw EAuException(kWriteError);
}

void TWaveOut::writeField32(int64_t offset, int64_t value)
{
    uint8_t b[4];
    wav::put32(b, wav::clampSize32(value));
    Stream->SetPosition(offset);
    writeAll(b, 4);
}

void TWaveOut::Prepare()
{
    prepared_ = false;
    appending_ = false;
    EndReached = false;
    framesEncoded_ = 0;
    dataStartSize_ = 0;
    existing_ = wav::HeaderInfo();

    if (FileName.isEmpty())
        throw EAuException("File name is not assigned.");
    if (FileMode == foAppend && QFileInfo::exists(FileName))
        SetOwnedStream(std::make_unique<TAuFileStream>(FileName, static_cast<uint16_t>(ShareMode | fmOpenReadWrite)));
    else
        SetOwnedStream(std::make_unique<TAuFileStream>(FileName, fmCreate));

    Input->Init();
    channels_ = static_cast<int>(Input->GetChannels());
    bits_ = static_cast<int>(Input->GetBitsPerSample());
    const uint32_t rate = Input->GetSampleRate();
    announced_ = Input->GetSize();

    if ((channels_ > 2 || bits_ >= 17) && !CreateNonMsHeaders)
        WavType = wtExtPCM;

    const int64_t fileSize = Stream->GetSize();
    if (FileMode == foAppend && fileSize > 0) {
        Stream->SetPosition(0);
        wav::ByteSource src;
        src.read = [this](uint8_t* dst, int64_t n) { return Stream->Read(dst, n); };
        src.atEnd = [this]() { return Stream->GetPosition() >= Stream->GetSize(); };
        existing_ = wav::scanHeader(src, wav::ScanMode::Append);
        // The data chunk must end the file: appended bytes go at the end.
        const bool dataLast = existing_.dataOffset >= 0 &&
                              existing_.dataOffset + static_cast<int64_t>(existing_.dataSize) >= fileSize;
        if ((existing_.type != wtPCM && existing_.type != wtDVIADPCM) || !dataLast)
            failPrepare("Cannot append data to this .wav file.");
        WavType = existing_.type;
        appending_ = true;
        dataStartSize_ = fileSize - existing_.dataOffset;
        if (WavType == wtDVIADPCM)
            BlockSize = existing_.blockAlign;
    }

    switch (WavType) {
    case wtPCM:
        if (appending_) {
            if (existing_.sampleRate != rate || existing_.bitsPerSample != bits_ || existing_.channels != channels_)
                failPrepare("Cannot append data in different audio format.");
            Stream->Seek(0, TSeekOrigin::soEnd);
            headerSize_ = static_cast<int>(existing_.dataOffset);
        } else {
            const auto h = wav::makePcmHeader(channels_, rate, bits_, announced_);
            writeAll(h.data(), h.size());
            headerSize_ = 44;
        }
        break;
    case wtDVIADPCM: {
        if (bits_ != 16)
            failPrepare("Cannot encode 8 bit sound into ADPCM.");
        if (appending_ && (existing_.sampleRate != rate || existing_.channels != channels_))
            failPrepare("Cannot append data in different audio format.");
        if (!ima::blockLayoutOk(BlockSize, channels_))
            failPrepare("Cannot encode this channel count or block size into ADPCM.");
        const int frames = ima::framesPerBlock(BlockSize, channels_);
        blockInput_.assign(static_cast<size_t>(frames) * channels_ * 2, 0);
        blockFrames_.assign(static_cast<size_t>(frames) * channels_, 0);
        blockOut_.assign(BlockSize, 0);
        if (appending_) {
            Stream->Seek(0, TSeekOrigin::soEnd);
            headerSize_ = static_cast<int>(existing_.dataOffset);
        } else {
            const int spb = wav::imaHeaderSamplesPerBlock(channels_, BlockSize);
            const int64_t count = announced_ > 0 ? announced_ / 2 / channels_ : 0;
            // Blocks rounded to the nearest whole number (ties to even), as announced.
            const double ratio = static_cast<double>(count) / spb;
            const int64_t blocks = static_cast<int64_t>(std::nearbyint(ratio));
            const auto h = wav::makeImaHeader(channels_, rate, BlockSize, wav::clampSize32(count),
                                              wav::clampSize32(blocks * BlockSize));
            writeAll(h.data(), h.size());
            headerSize_ = 60;
        }
        Ima = {};
        break;
    }
    case wtExtPCM: {
        const auto h = wav::makeExtPcmHeader(channels_, rate, bits_, announced_);
        writeAll(h.data(), h.size());
        headerSize_ = 68;
        break;
    }
    default:
        failPrepare("Cannot append data to this .wav file.");
    }
    prepared_ = true;
}

bool TWaveOut::DoOutput(bool abort)
{
    if (abort || EndReached)
        return false;
    if (WavType == wtDVIADPCM)
        return outputImaBlock();
    void* data = nullptr;
    uint32_t bytes = kChunk;
    Input->GetData(data, bytes);
    if (bytes == 0)
        return false;
    writeAll(data, bytes);
    return true;
}

bool TWaveOut::outputImaBlock()
{
    std::fill(blockInput_.begin(), blockInput_.end(), uint8_t{0});
    size_t filled = 0;
    while (filled < blockInput_.size()) {
        const uint32_t got = Input->CopyData(blockInput_.data() + filled,
                                             static_cast<uint32_t>(blockInput_.size() - filled));
        if (got == 0) {
            EndReached = true;
            break;
        }
        filled += got;
    }
    // Nothing came: no block of pure padding is written.
    if (filled == 0)
        return false;
    for (size_t i = 0; i < blockFrames_.size(); ++i)
        blockFrames_[i] = static_cast<int16_t>(wav::get16(blockInput_.data() + 2 * i));
    ima::encodeBlock(blockFrames_, channels_, Ima, blockOut_);
    writeAll(blockOut_.data(), static_cast<int64_t>(blockOut_.size()));
    framesEncoded_ += static_cast<int64_t>(filled / (2 * static_cast<size_t>(channels_)));
    return true;
}

void TWaveOut::fixSizes()
{
    const bool fromFile = announced_ < 0 || appending_ || Stopped || !GetExceptionMessage().isEmpty();
    int64_t fileSize = Stream->GetSize();

    if (WavType == wtPCM || WavType == wtExtPCM) {
        const int64_t wanted = headerSize_ + announced_;
        if (!fromFile && fileSize < wanted) {
            // The input gave less than it announced: fill up with silence.
            const uint8_t silence = bits_ == 8 ? 0x80 : 0x00;
            std::vector<uint8_t> pad(kChunk, silence);
            Stream->Seek(0, TSeekOrigin::soEnd);
            while (fileSize < wanted) {
                const int64_t n = std::min<int64_t>(wanted - fileSize, kChunk);
                writeAll(pad.data(), n);
                fileSize += n;
            }
        }
        // Sizes always from the file, so that a header never disagrees with
        // the data behind it (an input may also give more than announced).
        const int64_t sizeField = appending_ ? existing_.dataSizeOffset : headerSize_ - 4;
        writeField32(sizeField, fileSize - headerSize_);
    } else if (WavType == wtDVIADPCM) {
        const int64_t dataSize = fileSize - headerSize_;
        const int spb = wav::imaHeaderSamplesPerBlock(channels_, BlockSize);
        // Frames a reader decodes: earlier blocks whole, then this run's real input.
        const int64_t earlierBlocks = dataStartSize_ / BlockSize;
        const int64_t frames = earlierBlocks * spb + framesEncoded_;
        const int64_t sizeField = appending_ ? existing_.dataSizeOffset : 56;
        writeField32(sizeField, dataSize);
        const int64_t factField = appending_ ? existing_.factCountOffset : 48;
        if (factField >= 0)
            writeField32(factField, frames);
    }
    writeField32(4, fileSize - 8);
}

void TWaveOut::Done()
{
    // The stream is freed and the input flushed however the fix-up goes.
    struct Cleanup {
        TWaveOut* self;
        ~Cleanup()
        {
            self->FreeOwnedStream();
            self->prepared_ = false;
            try {
                if (self->Input)
                    self->Input->Flush();
            } catch (...) {
            }
        }
    } cleanup{this};
    if (prepared_ && Stream)
        fixSizes();
}

}  // namespace dw
