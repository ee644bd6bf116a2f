#include "audio/stream/AuFileIn.h"

#include "audio/stream/AuException.h"

#include <cmath>

namespace dw {

TAuFileIn::TAuFileIn() = default;

TAuFileIn::~TAuFileIn() = default;

void TAuFileIn::DoInit()
{
    if (Busy)
        throw EAuException("The component is Busy");
    if (!StreamAssigned && FileName.isEmpty())
        throw EAuException("The file name is not assigned");
    Busy = true;
    Position = 0;
    OpenFile();

    SampleSize = static_cast<uint16_t>((Channels * BitsPerSample) >> 3);
    if (!Valid || SampleSize == 0 || SampleRate == 0) {
        // Nothing usable: the output finds no data.
        SampleSize = 8;
        SampleRate = 8000;
        BitsPerSample = 8;
        Channels = 1;
        TotalSamples = 0;
        Size = 0;
        TotalTime = 0;
        EndOfData = true;
        return;
    }
    TotalSamples = Size / SampleSize;
    TotalTime = static_cast<uint32_t>(TotalSamples / SampleRate);

    if (StartSample < 0)
        StartSample = 0;
    if (StartSample > 0) {
        Seek(0);  // positions at StartSample
        Position = 0;
    }
    if (StartSample <= 0 && EndSample == -1) {
        BufStart = 1;
        BufEnd = 0;
        return;  // the whole file; Size stays the data size
    }
    // EndSample is the index of the last frame delivered; the last frame of
    // the file is TotalSamples - 1.
    if (EndSample >= TotalSamples)
        EndSample = -1;
    TotalSamples = EndSample != -1 ? EndSample - StartSample + 1 : TotalSamples - StartSample;
    if (TotalSamples <= 0) {
        // An empty range delivers nothing (rather than the rest of the file).
        TotalSamples = 0;
        EndOfData = true;
    }
    Size = TotalSamples * SampleSize;
    BufStart = 1;
    BufEnd = 0;
}

void TAuFileIn::DoFlush()
{
    CloseFile();
    StartSample = 0;
    EndSample = -1;
    Busy = false;
}

uint32_t TAuFileIn::GetBitsPerSample()
{
    OpenFile();
    return BitsPerSample;
}

uint32_t TAuFileIn::GetChannels()
{
    OpenFile();
    return Channels;
}

uint32_t TAuFileIn::GetSampleRate()
{
    OpenFile();
    return SampleRate;
}

uint32_t TAuFileIn::GetTotalTime()
{
    OpenFile();
    const uint64_t bytesPerSecond = uint64_t(SampleRate) * Channels * (BitsPerSample / 8);
    const int64_t size = Size;
    if (bytesPerSecond == 0 || size <= 0)
        return 0;
    return static_cast<uint32_t>(std::nearbyint(static_cast<double>(size) / static_cast<double>(bytesPerSecond)));
}

int64_t TAuFileIn::GetTotalSamples()
{
    OpenFile();
    const uint32_t frame = (Channels * BitsPerSample) >> 3;
    const int64_t size = Size;
    TotalSamples = (size > 0 && frame > 0) ? size / frame : -1;
    return TotalSamples;
}

void TAuFileIn::SetFileName(const QString& fileName)
{
    CloseFile();
    FileName = fileName;
}

void TAuFileIn::SetStream(TStream* stream)
{
    CloseFile();
    TAuStreamedInput::SetStream(stream);
}

void TAuFileIn::Reset()
{
    TAuStreamedInput::Reset();
    OpenCount = 0;
}

bool TAuFileIn::IsValid()
{
    if (StreamAssigned || !FileName.isEmpty()) {
        try {
            OpenFile();
        } catch (const std::exception&) {
            Valid = false;
        }
        if (!Valid) {
            if (OpenCount != 0) {
                try {
                    CloseFile();
                } catch (const std::exception&) {
                }
            } else {
                FreeOwnedStream();
            }
        }
    }
    return Valid;
}

}  // namespace dw
