#include "player/PlayChain.h"

#include "audio/formats/VorbisIn.h"
#include "audio/formats/WaveIn.h"
#include "platform/InputFile.h"

#include <QFileInfo>

#include <cmath>

namespace dw {

TPlayChain::TPlayChain() = default;

TPlayChain::~TPlayChain()
{
    Output_.Stop(false);
}

bool TPlayChain::Open(const QString& fileName, QString& error)
{
    const QString ext = QFileInfo(fileName).suffix().toLower();
    if (ext == QLatin1String("ogg"))
        Input_ = std::make_unique<TVorbisIn>();
    else if (ext == QLatin1String("wav"))
        Input_ = std::make_unique<TWaveIn>();
    else {
        error = QStringLiteral("%1: only .ogg and .wav files are played").arg(fileName);
        return false;
    }
    Input_->SetFileName(fileName);
    // A missing file, a folder, a FIFO or a device, named as what it is.
    if (const QString problem = CheckInputFile(fileName); !problem.isEmpty()) {
        error = problem;
        return false;
    }
    if (!Input_->IsValid()) {
        error = QStringLiteral("%1: not a playable %2 file").arg(fileName, ext == "ogg" ? "Ogg Vorbis" : "WAV");
        return false;
    }
    SampleRate_ = Input_->GetSampleRate();
    FrameBytes_ = Input_->GetChannels() * (Input_->GetBitsPerSample() / 8);
    TotalFrames_ = Input_->GetTotalSamples();
    if (SampleRate_ == 0 || FrameBytes_ == 0) {
        error = QStringLiteral("%1: the file holds no playable audio").arg(fileName);
        return false;
    }
    wire();
    return true;
}

bool TPlayChain::SetBalance(int percent)
{
    if (percent < -100 || percent > 100)
        return false;
    if (percent == 0) {
        Balance_.reset();
    } else {
        if (!Balance_)
            Balance_ = std::make_unique<TStereoBalance>();
        Balance_->SetBalance(static_cast<float>((percent + 100) / 200.0));
    }
    wire();
    return true;
}

bool TPlayChain::StartAt(double seconds, QString& error)
{
    if (!Input_ || !(seconds >= 0)) {
        error = QStringLiteral("the start must be a number of seconds, 0 or more");
        return false;
    }
    const auto frame = static_cast<int64_t>(std::llround(seconds * SampleRate_));
    if (frame > TotalFrames_) {
        error = QStringLiteral("the start %1 s lies beyond the end of the file (%2 s)")
                    .arg(seconds)
                    .arg(TotalSeconds(), 0, 'f', 1);
        return false;
    }
    Input_->Seek(frame);
    StartFrame_ = frame;
    return true;
}

void TPlayChain::wire()
{
    if (!Input_)
        return;
    if (Balance_) {
        Balance_->SetInput(Input_.get());
        Output_.SetInput(Balance_.get());
    } else {
        Output_.SetInput(Input_.get());
    }
}

double TPlayChain::TotalSeconds() const
{
    return SampleRate_ ? static_cast<double>(TotalFrames_) / SampleRate_ : 0.0;
}

double TPlayChain::PositionSeconds() const
{
    if (!SampleRate_)
        return 0.0;
    // The balance stage turns mono into stereo: count frames of what the
    // device plays, 16-bit stereo then.
    uint32_t playedFrame = FrameBytes_;
    if (Balance_ && Input_->GetChannels() == 1)
        playedFrame *= 2;
    const double played = static_cast<double>(Output_.PlayedBytes() / playedFrame) / SampleRate_;
    return std::min(TotalSeconds(), static_cast<double>(StartFrame_) / SampleRate_ + played);
}

}  // namespace dw
