#include "player/OggPlayer.h"

#include "app/Helpers.h"
#include "tags/VorbisTags.h"

#include <QFileInfo>

#include <exception>

namespace dw {

TOggPlayer::TOggPlayer()
{
    VorbisIn1_.SetLoop(false);
    VorbisIn1_.SetEndSample(-1);
    StereoBalance1_.SetBalance(0.5f);
    StereoBalance1_.SetInput(&VorbisIn1_);
    Output_.SetDeviceNumber(0);
    Output_.SetLatency(kLatencyMs);
    Output_.SetPrefetchData(true);
    Output_.SetInput(&StereoBalance1_);
}

TOggPlayer::~TOggPlayer()
{
    Output_.Stop(false);
}

bool TOggPlayer::OpenAndPlay(const QString& fileName)
{
    VorbisIn1_.SetFileName(fileName);
    if (fileName.right(4).toUpper() != QLatin1String(".OGG") || !VorbisIn1_.IsValid())
        return false;
    Output_.Run();
    ElapsedMs_ = 0;
    return true;
}

QString TOggPlayer::FileTitle() const
{
    return QFileInfo(VorbisIn1_.GetFileName()).completeBaseName();
}

QString TOggPlayer::SampleRateText()
{
    return QString::number(VorbisIn1_.GetSampleRate()) + QStringLiteral(" bps");
}

int TOggPlayer::TotalSeconds()
{
    return static_cast<int>(VorbisIn1_.GetTotalTime());
}

QString TOggPlayer::TotalTimeText()
{
    const int total = TotalSeconds();
    return QStringLiteral("%1:%2").arg(total / 60).arg(FormatTwoDigits(total % 60));
}

QStringList TOggPlayer::CommentLines()
{
    TVorbisTags& tags = VorbisIn1_.VorbisTags();
    const std::pair<const char*, QString> items[] = {
        {"Artist: ", tags.Artist()}, {"Album: ", tags.Album()}, {"Title: ", tags.Title()},
        {"Date: ", tags.Date()},     {"Genre: ", tags.Genre()}, {"Track: ", tags.Track()},
    };
    QStringList lines;
    for (const auto& [label, value] : items)
        if (!value.isEmpty())
            lines << QLatin1String(label) + value;
    return lines;
}

void TOggPlayer::Tick()
{
    if (ElapsedMs_ < TotalSeconds() * 1000)
        ElapsedMs_ += kTimerMs;
}

QString TOggPlayer::ElapsedText() const
{
    return QString::number(ElapsedMs_ / 60000) + QLatin1Char(':') + FormatTwoDigits(ElapsedMs_ / 1000 % 60);
}

void TOggPlayer::MoveTo(int p)
{
    Output_.Jump((p - Output_.Progress()) * 10);
    ElapsedMs_ = TotalSeconds() * p * 10;
}

bool TOggPlayer::TogglePause()
{
    if (Output_.Status() != 0) {
        Output_.Resume();
        return true;
    }
    Output_.Pause();
    return false;
}

void TOggPlayer::Stop()
{
    if (Output_.Status() == 1)
        Output_.Resume();
    Output_.Stop(true);
}

void TOggPlayer::SetBalancePosition(int position)
{
    StereoBalance1_.SetBalance(static_cast<float>(position) / kBalancePositions);
}

}  // namespace dw
