#include "audio/formats/FramedFileOut.h"

#include "audio/stream/AuException.h"
#include "tags/VorbisTags.h"

namespace dw {

namespace {
// Bytes asked of the input per DoOutput.
constexpr uint32_t kChunk = 0x6000;
}  // namespace

TFramedFileOut::TFramedFileOut() : CommentTags(std::make_unique<TVorbisTags>()) {}

TFramedFileOut::~TFramedFileOut() = default;

void TFramedFileOut::SetComments(const TVorbisTags& tags)
{
    CommentTags->Assign(tags);
}

void TFramedFileOut::SetFileMode(TFileOutputMode)
{
    FileMode = foRewrite;
}

void TFramedFileOut::beginRun()
{
    EndOfStream = false;
    wholeFrames_.Clear();
    if (FileName.isEmpty())
        throw EAuException("File name is not assigned.");
    RefuseInputAsOutput();
    OpenDestination();

    Input->Init();
    channels_ = static_cast<int>(Input->GetChannels());
    bits_ = static_cast<int>(Input->GetBitsPerSample());
}

void TFramedFileOut::takeFrameSize()
{
    frameBytes_ = static_cast<uint32_t>(channels_ * bits_ / 8);
    wholeFrames_.Reset(frameBytes_);
}

bool TFramedFileOut::DoOutput(bool abort)
{
    if (abort || EndOfStream || !encoderOpen())
        return false;
    void* data = nullptr;
    uint32_t bytes = kChunk;
    Input->GetData(data, bytes);
    if (bytes == 0) {
        // A partial frame left at the end of the input is dropped.
        EndOfStream = true;
        endStream();
        return false;
    }
    const auto* in = static_cast<const uint8_t*>(data);
    wholeFrames_.Feed(in, bytes, [this](const uint8_t* frames, uint32_t count) { encode(frames, count); });
    return true;
}

void TFramedFileOut::Done()
{
    bool failed = !GetExceptionMessage().isEmpty();
    // A stopped run's file is removed unless the owner keeps it; only a kept
    // one needs its stream ended.
    if (!failed && !DiscardsStoppedRun() && encoderOpen()) {
        // A stopped run that is kept ends its stream here.
        try {
            endStream();
        } catch (const std::exception& e) {
            ReportWindUpFailure(ExceptionText(e));
            failed = true;
        }
    }
    dropEncoder();
    wholeFrames_.Clear();
    // The next file needs its comment values set again; the names stay.
    CommentTags->Clear();
    WindUpDestination(failed);
}

}  // namespace dw
