#include "audio/formats/StereoBalance.h"

#include "audio/formats/ConvertBalance.h"
#include "audio/formats/ConvertSamples.h"
#include "audio/stream/AuException.h"

#include <algorithm>

namespace dw {

TStereoBalance::TStereoBalance() = default;

TStereoBalance::~TStereoBalance() = default;

uint32_t TStereoBalance::GetChannels()
{
    if (!Input)
        throw EAuException("Input not assigned");
    const uint32_t in = Input->GetChannels();
    return in <= 2 ? 2 : in;
}

void TStereoBalance::SetBalance(float balance)
{
    if (balance >= 0.0f && balance <= 1.0f)
        Balance.store(balance);
}

void TStereoBalance::DoInit()
{
    if (!Input)
        throw EAuException("Input not assigned");
    RunChannels = Input->GetChannels();
    const uint32_t bits = TAuConverter::GetBitsPerSample();
    if (RunChannels <= 2 && !IsSupportedPcmWidth(int(bits)))
        throw EAuException("Unsupported sample format");
    RunBytesPerSample = bits / 8;

    Input->Init();
    Busy = true;
    const int64_t inSize = Input->GetSize();
    Size = (RunChannels == 1 && inSize > 0) ? inSize * 2 : inSize;
    Position = 0;
    BufStart = 0;
    BufEnd = 0;
    if (RunChannels <= 2)
        WorkBuffer.assign(kWorkBufferBytes, 0);
}

void TStereoBalance::DoFlush()
{
    if (Input)
        Input->Flush();
    std::vector<uint8_t>().swap(WorkBuffer);
    Busy = false;
}

// Copies up to `want` bytes (a multiple of `unit`) from the input into the
// work buffer. A read that ends inside a unit is completed from the input so
// that the next block starts on a sample (mono) or frame (stereo) boundary.
uint32_t TStereoBalance::readWholeSamples(uint32_t want, uint32_t unit)
{
    uint32_t got = Input->CopyData(WorkBuffer.data(), want);
    if (got % unit != 0) {
        bool end = false;
        const uint32_t missing = unit - got % unit;
        got += Input->FillBuffer(WorkBuffer.data() + got, missing, end);
        got -= got % unit;  // the input ended inside a unit: drop the fragment
    }
    return got;
}

void TStereoBalance::DoGetData(void*& buffer, uint32_t& bytes)
{
    if (!Busy || !Input)
        throw EAuException("The Stream is not opened");
    if (RunChannels >= 3) {
        Input->GetData(buffer, bytes);
        return;
    }

    // What is left of the last block goes first (a caller that asked for less
    // than a whole frame).
    if (BufStart < BufEnd) {
        bytes = std::min(bytes, BufEnd - BufStart);
        buffer = WorkBuffer.data() + BufStart;
        BufStart += bytes;
        return;
    }

    const uint32_t w = RunBytesPerSample;
    const uint32_t limit = std::min(bytes, kWorkBufferBytes);
    uint32_t got = 0;
    if (RunChannels == 2) {
        const uint32_t frame = 2 * w;
        got = readWholeSamples(std::max(frame, limit / frame * frame), frame);
    } else {
        // Mono: read half the wanted bytes and spread them to both channels.
        got = readWholeSamples(std::max(w, limit / 2 / w * w), w);
        got = static_cast<uint32_t>(SpreadMonoToStereo(WorkBuffer.data(), got, int(w)));
    }
    if (got == 0) {
        buffer = nullptr;
        bytes = 0;
        return;
    }
    ApplyStereoBalance(WorkBuffer.data(), got, int(w), Balance.load());
    bytes = std::min(bytes, got);
    buffer = WorkBuffer.data();
    BufStart = bytes;
    BufEnd = got;
}

}  // namespace dw
