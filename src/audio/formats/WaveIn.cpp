#include "audio/formats/WaveIn.h"

#include "audio/formats/ImaAdpcm.h"
#include "audio/formats/WaveConverter.h"
#include "audio/stream/AuException.h"
#include "audio/stream/AuFileStream.h"
#include "platform/CompressionManager.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace dw {

namespace {

// 64 KiB per read: a quarter of the system calls of 16 KiB reads, still small
// enough to keep a chain's memory flat.
constexpr uint32_t kReadBufferSize = 65536;
constexpr uint32_t kMaxChannels = 256;

void putSample16(uint8_t* p, int16_t v)
{
    wav::put16(p, static_cast<uint16_t>(v));
}

// A float sample as a signed 32-bit integer: clipped at +-1, NaN as silence.
int32_t floatToInt(double v)
{
    if (v >= 1.0)
        return 0x7FFFFFFF;
    if (v <= -1.0)
        return INT32_MIN;
    if (v == 0.0 || std::isnan(v))
        return 0;
    return static_cast<int32_t>(std::floor(v * 2147483647.0));
}

}  // namespace

TWaveIn::TWaveIn() : ReadBuffer(kReadBufferSize) {}

TWaveIn::~TWaveIn()
{
    try {
        CloseFile();
    } catch (...) {
    }
}

TWavType TWaveIn::GetWavType()
{
    try {
        OpenFile();
    } catch (const std::exception&) {
        return wtUnsupported;
    }
    return WavType;
}

void TWaveIn::OpenFile()
{
    std::lock_guard<std::recursive_mutex> lock(FileLock);
    if (OpenCount != 0)
        return;
    Valid = true;
    IsFloat32 = false;
    WavType = wtUnsupported;
    if (!StreamAssigned) {
        try {
            SetOwnedStream(std::make_unique<TAuFileStream>(FileName, fmOpenRead | fmShareDenyWrite));
        } catch (...) {
            Valid = false;
            throw;
        }
    }
    try {
        parseAndSetUp();
    } catch (const std::exception&) {
        // A read error while looking at the header: the file is not usable.
        Valid = false;
        WavType = wtUnsupported;
    }
    ++OpenCount;
}

void TWaveIn::parseAndSetUp()
{
    Size = 0;
    BitsPerSample = 0;
    Channels = 0;
    SampleRate = 0;
    StatedDataBytes = -1;
    if (!Stream) {
        Valid = false;
        return;
    }
    if (Seekable)
        Stream->SetPosition(0);
    wav::ByteSource src;
    src.read = [this](uint8_t* dst, int64_t n) { return Stream->Read(dst, n); };
    src.atEnd = [this]() { return Seekable && Stream->GetPosition() >= Stream->GetSize(); };
    // Chunks before the data are passed over by seeking, whatever their size.
    if (Seekable)
        src.skip = [this](int64_t n) {
            Stream->Seek(n, TSeekOrigin::soCurrent);
            return true;
        };
    const wav::HeaderInfo info = wav::scanHeader(src, wav::ScanMode::Reader);
    if (info.type == wtACM) {
        if (!setUpAcm(info))
            Valid = false;
        return;
    }
    applyHeader(info);
}

void TWaveIn::applyHeader(const wav::HeaderInfo& info)
{
    WavType = info.type;
    Channels = info.channels;
    SampleRate = info.sampleRate;
    BitsPerSample = info.bitsPerSample;
    DataOffset = info.dataOffset;
    if (info.type == wtDVIADPCM) {
        DviBlockAlign = info.blockAlign;
        DviSamplesPerBlock = info.samplesPerBlock;
        DviSampleCount = info.sampleCount;
    } else {
        MsBlockAlign = info.blockAlign;
        MsSamplesPerBlock = info.samplesPerBlock;
        MsSampleCount = info.sampleCount;
        Coefs = info.coefs;
    }

    // The data ends with its chunk or with the file, whichever comes first.
    int64_t announced = static_cast<int64_t>(std::min<uint64_t>(info.dataSize, INT64_MAX));
    int64_t available = announced;
    StatedDataBytes = -1;
    if (Seekable && WavType != wtUnsupported) {
        const int64_t fileSize = Stream->GetSize();
        const int64_t held = std::max<int64_t>(fileSize - DataOffset, 0);
        // 0xFFFFFFFF is the size of a WAV written as a stream: its data runs
        // to the end of the file. So does that of a data chunk of size 0
        // that audio follows (a writer that never came back to fix its
        // header), unless what follows is a run of whole chunks.
        const bool streamed = !info.rf64 && info.dataSize == 0xFFFFFFFFu;
        if (!info.rf64 && info.dataSize == 0 && held > 0 && !dataFollowedByChunks(fileSize))
            announced = held;
        available = std::min(held, announced);
        // Less in the file than the header states: the file is cut short.
        if (!streamed && announced > held)
            StatedDataBytes = announced;
    }
    DataEnd = DataOffset + available;

    const bool channelsOk = Channels >= 1 && Channels <= kMaxChannels;
    switch (WavType) {
    case wtUnsupported:
        Valid = false;
        break;
    case wtPCM:
    case wtExtPCM:
        if (!channelsOk || SampleRate == 0 ||
            (BitsPerSample != 8 && BitsPerSample != 16 && BitsPerSample != 24 && BitsPerSample != 32)) {
            Valid = false;
            break;
        }
        Size = available;
        break;
    case wtDVIADPCM: {
        const int fpb = ima::framesPerBlock(DviBlockAlign, static_cast<int>(Channels));
        if (BitsPerSample != 4 || fpb == 0 || SampleRate == 0) {
            Valid = false;
            break;
        }
        BitsPerSample = 16;
        // Frames the data can actually yield: whole blocks plus a short last one.
        const int64_t blocks = available / DviBlockAlign;
        const int64_t rest = available % DviBlockAlign;
        // Exactly what the decoder yields, so Size never promises more.
        int64_t frames = blocks * fpb + ima::framesInBytes(rest, static_cast<int>(Channels));
        if (info.hasFact)
            frames = std::min<int64_t>(frames, DviSampleCount);
        Size = static_cast<int64_t>(Channels) * frames * 2;
        Block.resize(DviBlockAlign);
        Decoded.resize(static_cast<size_t>(fpb) * Channels);
        ReadBuffer.resize(std::max<size_t>(kReadBufferSize, Decoded.size() * 2));
        break;
    }
    case wtMSADPCM: {
        const size_t fpb = msadpcm::framesInBlock(MsBlockAlign, static_cast<int>(Channels), MsSamplesPerBlock);
        if (fpb == 0 || Coefs.empty() || SampleRate == 0) {
            Valid = false;
            break;
        }
        BitsPerSample = 16;
        const int64_t blocks = available / MsBlockAlign;
        const int64_t rest = available % MsBlockAlign;
        int64_t frames = blocks * static_cast<int64_t>(fpb);
        frames += static_cast<int64_t>(
            msadpcm::framesInBlock(static_cast<size_t>(rest), static_cast<int>(Channels), MsSamplesPerBlock));
        if (info.hasFact)
            frames = std::min<int64_t>(frames, MsSampleCount);
        Size = static_cast<int64_t>(Channels) * frames * 2;
        Block.resize(MsBlockAlign);
        Decoded.resize(fpb * Channels);
        ReadBuffer.resize(std::max<size_t>(kReadBufferSize, Decoded.size() * 2));
        break;
    }
    case wtIEEEFloat:
    case wtExtIEEEFloat:
        if (!channelsOk || SampleRate == 0 || (BitsPerSample != 32 && BitsPerSample != 64)) {
            Valid = false;
            break;
        }
        IsFloat32 = BitsPerSample == 32;
        Size = IsFloat32 ? available : available / 2;
        BitsPerSample = 32;
        break;
    case wtACM:
        break;
    }
    if (!Valid)
        Size = 0;
}

bool TWaveIn::dataFollowedByChunks(int64_t fileSize)
{
    const int64_t was = Stream->GetPosition();
    const auto readAt = [this](int64_t pos, uint8_t* dst) {
        Stream->SetPosition(pos);
        int64_t got = 0;
        while (got < 8) {
            const int64_t n = Stream->Read(dst + got, 8 - got);
            if (n <= 0)
                return false;
            got += n;
        }
        return true;
    };
    const bool chunks = wav::chunksFollow(readAt, DataOffset, fileSize);
    Stream->SetPosition(was);
    return chunks;
}

QString TWaveIn::OpenProblem()
{
    try {
        OpenFile();
    } catch (const std::exception&) {
        return {};
    }
    if (!Valid || StatedDataBytes < 0)
        return {};
    return QString("%1: the WAV data ends after %2 of the %3 bytes its header states (the file is cut short)")
        .arg(FileName.isEmpty() ? QStringLiteral("(stream)") : FileName)
        .arg(DataEnd - DataOffset)
        .arg(StatedDataBytes);
}

bool TWaveIn::setUpAcm(const wav::HeaderInfo& info)
{
    WavType = wtACM;
    if (!Seekable)
        return false;
    TWaveConverter conv;
    conv.LoadFile(*Stream);
    // Ask for 16-bit PCM of the file's own channels and rate.
    std::array<uint8_t, TWaveConverter::kFormatBytes> suggested{};
    wav::put16(suggested.data(), wav::kTagPcm);
    if (acm::acmFormatSuggest(conv.CurrentFormat, suggested, acm::ACM_FORMATSUGGESTF_WFORMATTAG) !=
        acm::MMSYSERR_NOERROR)
        return false;
    conv.NewFormat = suggested;
    // Nothing decodable (no "data", or no MPEG frame in it): not a usable file.
    if (conv.Convert() != 0 || conv.GetSize() == 0)
        return false;
    auto decoded = std::make_unique<TMemoryStream>();
    if (conv.SaveWav(*decoded) != 0)
        return false;
    decoded->SetPosition(0);
    AcmData = std::move(decoded);
    SetAsideStream = Stream;
    Stream = AcmData.get();
    const wav::HeaderInfo pcm = wav::scanHeader(
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(AcmData->Data().constData()),
                                 static_cast<size_t>(AcmData->Data().size())),
        wav::ScanMode::Reader);
    AcmData->SetPosition(pcm.dataOffset < 0 ? 0 : pcm.dataOffset);
    applyHeader(pcm);
    if (WavType != wtPCM)
        return false;
    WavType = wtACM;
    (void)info;
    return Valid;
}

void TWaveIn::CloseFile()
{
    std::lock_guard<std::recursive_mutex> lock(FileLock);
    if (OpenCount == 0)
        return;
    SkipBytes = 0;
    if (AcmData) {
        Stream = SetAsideStream;
        SetAsideStream = nullptr;
        AcmData.reset();
    }
    if (OwnsStream()) {
        FreeOwnedStream();
    } else if (Stream && Seekable) {
        try {
            Stream->SetPosition(0);
        } catch (const std::exception&) {
        }
    }
    OpenCount = 0;
}

int64_t TWaveIn::readData(uint8_t* dst, int64_t n)
{
    if (!Stream)
        return 0;
    if (Seekable) {
        const int64_t left = DataEnd - Stream->GetPosition();
        n = std::min(n, left);
    }
    int64_t got = 0;
    while (n > 0) {
        const int64_t r = Stream->Read(dst + got, n);
        if (r <= 0)
            break;
        got += r;
        n -= r;
    }
    return got;
}

bool TWaveIn::readBlock(uint32_t blockAlign, size_t headerBytes)
{
    if (Seekable && Stream->GetPosition() >= DataEnd)
        return false;
    const int64_t got = readData(Block.data(), blockAlign);
    if (got < static_cast<int64_t>(headerBytes) || got <= 0)
        return false;
    Block.resize(static_cast<size_t>(got));
    return true;
}

void TWaveIn::refill()
{
    BufStart = 1;
    BufEnd = 0;
    const uint32_t channels = Channels;
    switch (WavType) {
    case wtPCM:
    case wtExtPCM:
    case wtACM: {
        const uint32_t frame = std::max<uint32_t>(1, channels * (BitsPerSample / 8));
        const uint32_t want = kReadBufferSize - kReadBufferSize % frame;
        BufEnd = static_cast<uint32_t>(readData(ReadBuffer.data(), want));
        break;
    }
    case wtDVIADPCM: {
        Block.resize(DviBlockAlign);
        if (!readBlock(DviBlockAlign, 4 * channels))
            break;
        const size_t frames = ima::decodeBlock(Block, static_cast<int>(channels), Decoded);
        for (size_t i = 0; i < frames * channels; ++i)
            putSample16(ReadBuffer.data() + 2 * i, Decoded[i]);
        BufEnd = static_cast<uint32_t>(frames * channels * 2);
        break;
    }
    case wtMSADPCM: {
        Block.resize(MsBlockAlign);
        if (!readBlock(MsBlockAlign, msadpcm::headerSize(static_cast<int>(channels))))
            break;
        size_t frames = 0;
        // A block with a predictor index outside the file's table is damaged
        // data: nothing after it can be trusted.
        if (msadpcm::decodeBlock(Block, static_cast<int>(channels), MsSamplesPerBlock, Coefs, Decoded, frames) !=
            msadpcm::DecodeResult::Ok) {
            if (Seekable)
                Stream->SetPosition(DataEnd);
            throw EAuException(QString("%1: Microsoft ADPCM decoding failed: a block names a predictor the "
                                       "file does not have")
                                   .arg(FileName.isEmpty() ? QStringLiteral("(stream)") : FileName));
        }
        for (size_t i = 0; i < frames * channels; ++i)
            putSample16(ReadBuffer.data() + 2 * i, Decoded[i]);
        BufEnd = static_cast<uint32_t>(frames * channels * 2);
        break;
    }
    case wtIEEEFloat:
    case wtExtIEEEFloat: {
        const uint32_t want = kReadBufferSize - kReadBufferSize % (channels * 8);
        const int64_t got = readData(ReadBuffer.data(), want);
        uint8_t* p = ReadBuffer.data();
        if (IsFloat32) {
            const int64_t n = got / 4;
            for (int64_t i = 0; i < n; ++i) {
                float f;
                const uint32_t bits = wav::get32(p + 4 * i);
                std::memcpy(&f, &bits, 4);
                wav::put32(p + 4 * i, static_cast<uint32_t>(floatToInt(f)));
            }
            BufEnd = static_cast<uint32_t>(n * 4);
        } else {
            const int64_t n = got / 8;
            for (int64_t i = 0; i < n; ++i) {
                const uint64_t bits = static_cast<uint64_t>(wav::get32(p + 8 * i)) |
                                      (static_cast<uint64_t>(wav::get32(p + 8 * i + 4)) << 32);
                double d;
                std::memcpy(&d, &bits, 8);
                // Packed from the start: slot i never overlaps a value not yet read.
                wav::put32(p + 4 * i, static_cast<uint32_t>(floatToInt(d)));
            }
            BufEnd = static_cast<uint32_t>(n * 4);
        }
        break;
    }
    case wtUnsupported:
        break;
    }
    // A file cut inside a frame: never hand out part of a frame.
    const uint32_t frame = (Channels * BitsPerSample) / 8;
    if (frame > 1)
        BufEnd -= BufEnd % frame;
}

void TWaveIn::DoGetData(void*& buffer, uint32_t& bytes)
{
    if (!Busy)
        throw EAuException("The Stream is not opened");
    if (BufEnd < BufStart) {
        refill();
        if (SkipBytes > 0) {
            const uint32_t held = BufEnd >= BufStart ? BufEnd - BufStart + 1 : 0;
            BufStart += std::min(held, SkipBytes);
            SkipBytes = 0;
            if (BufEnd < BufStart)
                refill();
        }
        // The end of what the file holds, short of what its header states:
        // the read fails here rather than ending as if the data were whole.
        if (StatedDataBytes >= 0 && WavType != wtACM && Stream && Stream->GetPosition() >= DataEnd)
            throw EAuException(OpenProblem());
    }
    const uint32_t frame = (Channels * BitsPerSample) / 8;
    if (frame > 0)
        bytes -= bytes % frame;
    const uint32_t held = BufEnd >= BufStart ? BufEnd - BufStart + 1 : 0;
    bytes = std::min(bytes, held);
    buffer = ReadBuffer.data() + (BufStart - 1);
    BufStart += bytes;
}

bool TWaveIn::DoSeek(int64_t& sampleNum)
{
    BufStart = 1;
    BufEnd = 0;
    SkipBytes = 0;
    if (!Stream || sampleNum < 0)
        return false;
    int64_t offset = 0;
    int64_t skipFrames = 0;
    switch (WavType) {
    case wtPCM:
    case wtExtPCM:
    case wtACM:
        offset = sampleNum * (BitsPerSample >> 3) * Channels;
        break;
    case wtIEEEFloat:
    case wtExtIEEEFloat:
        offset = sampleNum * Channels * (IsFloat32 ? 4 : 8);
        break;
    case wtDVIADPCM: {
        // The decoder's own block length is used, which equals the header's
        // samples per block in every well-formed file.
        const int fpb = ima::framesPerBlock(DviBlockAlign, static_cast<int>(Channels));
        if (fpb == 0)
            return false;
        offset = (sampleNum / fpb) * DviBlockAlign;
        skipFrames = sampleNum % fpb;
        break;
    }
    case wtMSADPCM: {
        const size_t fpb = msadpcm::framesInBlock(MsBlockAlign, static_cast<int>(Channels), MsSamplesPerBlock);
        if (fpb == 0)
            return false;
        offset = (sampleNum / static_cast<int64_t>(fpb)) * MsBlockAlign;
        skipFrames = sampleNum % static_cast<int64_t>(fpb);
        break;
    }
    case wtUnsupported:
        return false;
    }
    Stream->SetPosition(std::min(DataOffset + offset, std::max(DataEnd, DataOffset)));
    // ADPCM: the next block read is the one holding the sample; start inside it.
    SkipBytes = static_cast<uint32_t>(skipFrames) * Channels * 2;
    return true;
}

}  // namespace dw
