#include "audio/formats/WaveConverter.h"

#include "audio/formats/WaveFormat.h"
#include "audio/stream/AuException.h"
#include "platform/CompressionManager.h"

#include <QByteArray>

#include <algorithm>
#include <cstring>
#include <exception>
#include <vector>

namespace dw {

namespace {

// Compressed files are read whole; this keeps a hostile size from exhausting memory.
constexpr int64_t kMaxInput = int64_t{1} << 30;

}  // namespace

TWaveConverter::TWaveConverter()
{
    uint32_t size = 0;
    if (acm::acmMetrics(acm::ACM_METRIC_MAX_SIZE_FORMAT, size) == acm::MMSYSERR_NOERROR)
        MaxFormatSize = size;
}

void TWaveConverter::LoadFile(TStream& stream)
{
    stream.SetPosition(0);
    const int64_t total = std::min(stream.GetSize(), kMaxInput);
    if (total < 12)
        return;
    std::vector<uint8_t> file(static_cast<size_t>(total));
    int64_t got = 0;
    while (got < total) {
        const int64_t n = stream.Read(file.data() + got, total - got);
        if (n <= 0)
            break;
        got += n;
    }
    file.resize(static_cast<size_t>(got));
    if (file.size() < 12 || std::memcmp(file.data(), "RIFF", 4) != 0 || std::memcmp(file.data() + 8, "WAVE", 4) != 0)
        return;

    const int64_t size = static_cast<int64_t>(file.size());
    // An 8-byte window (identifier and size) slides one byte per step.
    int64_t w = 12 - 7;
    while (w + 8 <= size) {
        const uint8_t* id = file.data() + w;
        const int64_t chunk = wav::get32(id + 4);
        const int64_t start = w + 8;
        const int64_t avail = std::min(chunk, size - start);
        if (std::memcmp(id, "fmt ", 4) == 0) {
            CurrentFormat.fill(0);
            std::memcpy(CurrentFormat.data(), file.data() + start,
                        static_cast<size_t>(std::min<int64_t>(avail, kFormatBytes)));
        } else if (std::memcmp(id, "data", 4) == 0) {
            if (chunk != 0) {
                SetSize(0);
                WriteBuffer(file.data() + start, avail);
            }
        } else if (std::memcmp(id, "fact", 4) != 0) {
            ++w;
            continue;
        }
        // Go on from 7 bytes before the chunk's end, so the window meets the
        // next identifier; never step backwards.
        w = std::max(w + 1, start + avail - 7);
    }
    SetPosition(0);
}

uint32_t TWaveConverter::Convert()
{
    using namespace acm;
    acm::HACMSTREAM hs;
    MMRESULT r = acmStreamOpen(hs, CurrentFormat, NewFormat, ACM_STREAMOPENF_NONREALTIME);
    if (r != MMSYSERR_NOERROR)
        return r;
    const QByteArray& src = Data();
    const uint32_t srcLen = static_cast<uint32_t>(std::min<int64_t>(src.size(), UINT32_MAX));
    uint32_t dstLen = 0;
    r = acmStreamSize(hs.get(), srcLen, dstLen, ACM_STREAMSIZEF_SOURCE);
    if (r != MMSYSERR_NOERROR)
        return r;
    dstLen = std::max<uint32_t>(dstLen, 65536);
    std::vector<uint8_t> dst(dstLen, 0);
    ACMSTREAMHEADER h;
    h.pbSrc = reinterpret_cast<const uint8_t*>(src.constData());
    h.cbSrcLength = srcLen;
    h.pbDst = dst.data();
    h.cbDstLength = dstLen;
    r = acmStreamPrepareHeader(hs.get(), h, 0);
    if (r != MMSYSERR_NOERROR)
        return r;
    // The whole source in one call; whatever did not fit the estimated
    // buffer is collected by further calls without source.
    QByteArray result;
    r = acmStreamConvert(hs.get(), h, ACM_STREAMCONVERTF_BLOCKALIGN | ACM_STREAMCONVERTF_END);
    while (r == MMSYSERR_NOERROR) {
        result.append(reinterpret_cast<const char*>(dst.data()), h.cbDstLengthUsed);
        if (acmStreamPending(hs.get()) == 0 || h.cbDstLengthUsed == 0)
            break;
        h.pbSrc = nullptr;
        h.cbSrcLength = 0;
        r = acmStreamConvert(hs.get(), h, ACM_STREAMCONVERTF_BLOCKALIGN);
    }
    if (r != MMSYSERR_NOERROR) {
        acmStreamUnprepareHeader(hs.get(), h, 0);
        return r;
    }
    CurrentFormat = NewFormat;
    SetSize(0);
    if (!result.isEmpty())
        WriteBuffer(result.constData(), result.size());
    SetPosition(0);
    r = acmStreamUnprepareHeader(hs.get(), h, 0);
    if (r != MMSYSERR_NOERROR)
        return r;
    return acmStreamClose(hs, 0);
}

uint32_t TWaveConverter::SaveWav(TStream& stream)
{
    const int64_t keep = GetPosition();
    try {
        const int64_t dataSize = GetSize();
        uint8_t h[44];
        std::memcpy(h, "RIFF", 4);
        wav::put32(h + 4, 0);
        std::memcpy(h + 8, "WAVEfmt ", 8);
        wav::put32(h + 16, 16);
        std::memcpy(h + 20, CurrentFormat.data(), 16);
        std::memcpy(h + 36, "data", 4);
        wav::put32(h + 40, wav::clampSize32(dataSize));
        stream.WriteBuffer(h, sizeof h);
        if (dataSize > 0)
            stream.WriteBuffer(Data().constData(), dataSize);
        const int64_t total = stream.GetSize();
        stream.SetPosition(0);
        uint8_t riff[8];
        std::memcpy(riff, "RIFF", 4);
        wav::put32(riff + 4, wav::clampSize32(total - 8));
        stream.WriteBuffer(riff, sizeof riff);
    } catch (const std::exception&) {
        SetPosition(keep);
        return kSaveFailed;
    }
    SetPosition(keep);
    return 0;
}

}  // namespace dw
