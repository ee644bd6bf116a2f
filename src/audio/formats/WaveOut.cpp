#include "audio/formats/WaveOut.h"

#include "audio/stream/AuException.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace dw {

namespace {

// Bytes asked of the input per write: 64 KiB keeps system calls few.
constexpr uint32_t kChunk = 65536;
constexpr const char* kWriteError = "Error writing wave file";

bool allZero(const void* data, int64_t size)
{
    const auto* p = static_cast<const uint8_t*>(data);
    // Compare in words where possible; the tail byte by byte.
    int64_t i = 0;
    for (; i + 8 <= size; i += 8) {
        uint64_t w;
        std::memcpy(&w, p + i, 8);
        if (w != 0)
            return false;
    }
    for (; i < size; ++i)
        if (p[i] != 0)
            return false;
    return true;
}

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
    DiscardDestination();
    throw EAuException(message);
}

void TWaveOut::writeAll(const void* data, int64_t size)
{
    if (size <= 0)
        return;
    if (!Stream || Stream->Write(data, size) != size)
        throw EAuException(kWriteError);
}

// Audio bytes at the end of the file: a block of zeros becomes a hole.
void TWaveOut::writeData(const void* data, int64_t size)
{
    if (size <= 0)
        return;
    checkAppendLimit(size);
    if (allZero(data, size))
        Stream->Seek(size, TSeekOrigin::soCurrent);
    else
        writeAll(data, size);
    end_ += size;
}

// An appended file stays a 32-bit RIFF file: there is no room in it for the
// RF64 chunk, so a run that would take it past 4 GiB fails (and the file is
// put back as it was).
void TWaveOut::checkAppendLimit(int64_t bytes)
{
    if (appending_ && end_ + bytes - 8 > wav::kMaxRiffSize)
        throw EAuException(FileName + ": appending would take the file past 4 GiB, more than a WAV file can hold");
}

void TWaveOut::writeField32(int64_t offset, int64_t value)
{
    uint8_t b[4];
    wav::put32(b, wav::clampSize32(value));
    Stream->SetPosition(offset);
    writeAll(b, 4);
}

// Writes the header of a new file; RF64 when the announced data does not fit
// 32-bit sizes.
void TWaveOut::writeHeader(std::span<const uint8_t> header, int64_t dataSize, int64_t frames)
{
    header_.assign(header.begin(), header.end());
    const int64_t riffSize = dataSize + static_cast<int64_t>(header.size()) - 8;
    if (riffSize > wav::kMaxRiffSize) {
        std::vector<uint8_t> h = wav::makeRf64Header(header);
        wav::setDs64(h.data(), static_cast<uint64_t>(riffSize) + wav::kDs64ChunkBytes,
                     static_cast<uint64_t>(dataSize), static_cast<uint64_t>(frames));
        writeAll(h.data(), static_cast<int64_t>(h.size()));
        rf64_ = true;
        headerSize_ = static_cast<int>(h.size());
    } else {
        writeAll(header.data(), static_cast<int64_t>(header.size()));
        headerSize_ = static_cast<int>(header.size());
    }
    end_ = headerSize_;
}

void TWaveOut::scanExisting(int64_t fileSize)
{
    Stream->SetPosition(0);
    wav::ByteSource src;
    src.read = [this](uint8_t* dst, int64_t n) { return Stream->Read(dst, n); };
    src.atEnd = [this]() { return Stream->GetPosition() >= Stream->GetSize(); };
    src.skip = [this](int64_t n) {
        Stream->Seek(n, TSeekOrigin::soCurrent);
        return true;
    };
    existing_ = wav::scanHeader(src, wav::ScanMode::Append);
    if (existing_.type != wtPCM && existing_.type != wtDVIADPCM)
        failPrepare("Cannot append data to this .wav file.");
    // Appended bytes go at the end, so nothing may follow the data chunk. A
    // data size that stops short of the end with no chunk behind it is a
    // header never fixed (a write that was cut off): the rest is audio.
    const int64_t dataEnd = existing_.dataOffset + static_cast<int64_t>(existing_.dataSize);
    const auto readAt = [this](int64_t pos, uint8_t* dst) {
        Stream->SetPosition(pos);
        return Stream->Read(dst, 8) == 8;
    };
    if (dataEnd < fileSize && wav::chunksFollow(readAt, dataEnd + static_cast<int64_t>(existing_.dataSize & 1), fileSize))
        failPrepare("Cannot append data to this .wav file.");

    // What a failed run must put back.
    originalSize_ = fileSize;
    originalFields_.clear();
    for (int64_t at : {int64_t{4}, existing_.dataSizeOffset, existing_.factCountOffset}) {
        if (at < 0 || at + 4 > fileSize)
            continue;
        std::array<uint8_t, 4> b{};
        Stream->SetPosition(at);
        if (Stream->Read(b.data(), 4) == 4)
            originalFields_.emplace_back(at, b);
    }
}

void TWaveOut::Prepare()
{
    prepared_ = false;
    appending_ = false;
    rf64_ = false;
    EndReached = false;
    framesEncoded_ = 0;
    dataStartSize_ = 0;
    end_ = 0;
    header_.clear();
    originalFields_.clear();
    existing_ = wav::HeaderInfo();

    if (FileName.isEmpty())
        throw EAuException("File name is not assigned.");
    // Before anything is created or opened for writing.
    RefuseInputAsOutput();
    const bool existingFile = OpenDestination();

    Input->Init();
    channels_ = static_cast<int>(Input->GetChannels());
    bits_ = static_cast<int>(Input->GetBitsPerSample());
    const uint32_t rate = Input->GetSampleRate();
    announced_ = Input->GetSize();

    if ((channels_ > 2 || bits_ >= 17) && !CreateNonMsHeaders)
        WavType = wtExtPCM;

    const int64_t fileSize = existingFile ? Stream->GetSize() : 0;
    if (existingFile && fileSize > 0) {
        scanExisting(fileSize);
        WavType = existing_.type;
        appending_ = true;
        dataStartSize_ = fileSize - existing_.dataOffset;
        end_ = fileSize;
        headerSize_ = static_cast<int>(existing_.dataOffset);
        if (WavType == wtDVIADPCM)
            BlockSize = existing_.blockAlign;
    }

    const int frameBytes = std::max(1, channels_ * (bits_ / 8));
    switch (WavType) {
    case wtPCM:
        if (appending_) {
            if (existing_.sampleRate != rate || existing_.bitsPerSample != bits_ || existing_.channels != channels_)
                failPrepare("Cannot append data in different audio format.");
        } else {
            const auto h = wav::makePcmHeader(channels_, rate, bits_, announced_);
            writeHeader(h, announced_, announced_ / frameBytes);
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
        if (!appending_) {
            const int spb = wav::imaHeaderSamplesPerBlock(channels_, BlockSize);
            const int64_t count = announced_ > 0 ? announced_ / 2 / channels_ : 0;
            // Blocks rounded to the nearest whole number (ties to even), as announced.
            const double ratio = static_cast<double>(count) / spb;
            const int64_t dataSize = static_cast<int64_t>(std::nearbyint(ratio)) * BlockSize;
            const auto h = wav::makeImaHeader(channels_, rate, BlockSize, wav::clampSize32(count),
                                              wav::clampSize32(dataSize));
            writeHeader(h, dataSize, count);
        }
        Ima = {};
        break;
    }
    case wtExtPCM: {
        const auto h = wav::makeExtPcmHeader(channels_, rate, bits_, announced_);
        writeHeader(h, announced_, announced_ / frameBytes);
        break;
    }
    default:
        failPrepare("Cannot append data to this .wav file.");
    }
    Stream->SetPosition(end_);
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
    writeData(data, bytes);
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
    writeData(blockOut_.data(), static_cast<int64_t>(blockOut_.size()));
    framesEncoded_ += static_cast<int64_t>(filled / (2 * static_cast<size_t>(channels_)));
    return true;
}

// Sample frames per channel the data of the file holds.
int64_t TWaveOut::framesWritten(int64_t dataSize) const
{
    if (WavType == wtDVIADPCM) {
        // Earlier blocks whole, then this run's real input.
        const int spb = wav::imaHeaderSamplesPerBlock(channels_, BlockSize);
        return (dataStartSize_ / BlockSize) * spb + framesEncoded_;
    }
    const int frameBytes = std::max(1, channels_ * (bits_ / 8));
    return dataSize / frameBytes;
}

void TWaveOut::fixSizes()
{
    const bool fromFile = announced_ < 0 || appending_ || Stopped || !GetExceptionMessage().isEmpty();
    // A run that ended in a hole: the file reaches its last byte.
    if (Stream->GetSize() < end_)
        Stream->SetSize(end_);

    if ((WavType == wtPCM || WavType == wtExtPCM) && !fromFile && end_ < headerSize_ + announced_) {
        // The input gave less than it announced: fill up with silence.
        const uint8_t silence = bits_ == 8 ? 0x80 : 0x00;
        std::vector<uint8_t> pad(kChunk, silence);
        Stream->SetPosition(end_);
        const int64_t wanted = headerSize_ + announced_;
        while (end_ < wanted)
            writeData(pad.data(), std::min<int64_t>(wanted - end_, kChunk));
        if (Stream->GetSize() < end_)
            Stream->SetSize(end_);
    }

    // The data grew past what a 32-bit header can state: move it behind an
    // RF64 header in a new temporary file.
    if (!appending_ && !rf64_ && end_ - 8 > wav::kMaxRiffSize) {
        const int oldHeader = headerSize_;
        std::vector<uint8_t> h = wav::makeRf64Header(header_);
        RewriteWithHeader(h, oldHeader, end_);
        rf64_ = true;
        headerSize_ = static_cast<int>(h.size());
        end_ = end_ - oldHeader + headerSize_;
    }

    const int64_t dataSize = end_ - headerSize_;
    if (rf64_) {
        uint8_t ds64[48];
        Stream->SetPosition(0);
        if (Stream->Read(ds64, sizeof ds64) != sizeof ds64)
            throw EAuException(kWriteError);
        wav::setDs64(ds64, static_cast<uint64_t>(end_ - 8), static_cast<uint64_t>(dataSize),
                     static_cast<uint64_t>(framesWritten(dataSize)));
        Stream->SetPosition(20);
        writeAll(ds64 + 20, 24);
        return;
    }
    if (WavType == wtPCM || WavType == wtExtPCM) {
        // Sizes always from the file, so that a header never disagrees with
        // the data behind it (an input may also give more than announced).
        const int64_t sizeField = appending_ ? existing_.dataSizeOffset : headerSize_ - 4;
        writeField32(sizeField, dataSize);
    } else if (WavType == wtDVIADPCM) {
        const int64_t sizeField = appending_ ? existing_.dataSizeOffset : 56;
        writeField32(sizeField, dataSize);
        const int64_t factField = appending_ ? existing_.factCountOffset : 48;
        if (factField >= 0)
            writeField32(factField, framesWritten(dataSize));
    }
    writeField32(4, end_ - 8);
}

// A failed append: the file gets back its length and header fields.
void TWaveOut::restoreAppended()
{
    Stream->SetSize(originalSize_);
    for (const auto& [at, bytes] : originalFields_) {
        Stream->SetPosition(at);
        writeAll(bytes.data(), 4);
    }
}

void TWaveOut::Done()
{
    // The input is flushed however the wind-up goes.
    struct Cleanup {
        TWaveOut* self;
        ~Cleanup()
        {
            self->prepared_ = false;
            self->DiscardDestination();
            try {
                if (self->Input)
                    self->Input->Flush();
            } catch (...) {
            }
        }
    } cleanup{this};
    if (!prepared_ || !Stream)
        return;  // Prepare failed: a temporary file, if any, goes with cleanup
    const bool failed = !GetExceptionMessage().isEmpty();
    try {
        const bool discard = failed || DiscardsStoppedRun();
        if (appending_) {
            if (discard)
                restoreAppended();
            else
                fixSizes();
        } else if (!discard) {
            // Complete (or stopped and kept): header sizes from the data,
            // then in place.
            fixSizes();
            CommitDestination();
        }
    } catch (const std::exception& e) {
        if (appending_) {
            try {
                restoreAppended();
            } catch (const std::exception&) {
            }
        }
        ReportWindUpFailure(ExceptionText(e));
    }
}

}  // namespace dw
