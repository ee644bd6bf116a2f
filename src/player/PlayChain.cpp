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
    if (Output_.IsBusy()) {
        error = QStringLiteral("%1: the player is still playing").arg(fileName);
        return false;
    }
    const QString ext = QFileInfo(fileName).suffix().toLower();
    std::unique_ptr<TAuFileIn> input;
    if (ext == QLatin1String("ogg"))
        input = std::make_unique<TVorbisIn>();
    else if (ext == QLatin1String("wav"))
        input = std::make_unique<TWaveIn>();
    else {
        error = QStringLiteral("%1: only .ogg and .wav files are played").arg(fileName);
        return false;
    }
    input->SetFileName(fileName);
    // A missing file, a folder, a FIFO or a device, named as what it is.
    if (const QString problem = CheckInputFile(fileName); !problem.isEmpty()) {
        error = problem;
        return false;
    }
    if (!input->IsValid()) {
        error = QStringLiteral("%1: not a playable %2 file").arg(fileName, ext == "ogg" ? "Ogg Vorbis" : "WAV");
        return false;
    }
    const uint32_t rate = input->GetSampleRate();
    const uint32_t frameBytes = input->GetChannels() * (input->GetBitsPerSample() / 8);
    if (rate == 0 || frameBytes == 0) {
        error = QStringLiteral("%1: the file holds no playable audio").arg(fileName);
        return false;
    }
    // The stages point at the new input before the old one goes.
    Input_.swap(input);
    SampleRate_ = rate;
    FrameBytes_ = frameBytes;
    TotalFrames_ = Input_->GetTotalSamples();
    StartFrame_ = 0;
    FileName_ = fileName;
    wire();
    return true;
}

bool TPlayChain::SetBalance(int percent)
{
    if (percent < -100 || percent > 100)
        return false;
    if (percent == 0 && !KeepBalance_) {
        if (Balance_)
            Output_.SetInput(Input_.get());
        Balance_.reset();
    } else {
        if (!Balance_)
            Balance_ = std::make_unique<TStereoBalance>();
        Balance_->SetBalance(static_cast<float>((percent + 100) / 200.0));
    }
    wire();
    return true;
}

void TPlayChain::SetBalanceShare(float share)
{
    KeepBalance_ = true;
    if (Balance_) {
        // Moved while playing: the running chain stays as it is.
        Balance_->SetBalance(share);
        return;
    }
    Balance_ = std::make_unique<TStereoBalance>();
    Balance_->SetBalance(share);
    wire();
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
