#include "player/OggPlayer.h"

#include "app/Helpers.h"
#include "tags/VorbisTags.h"

#include <QFileInfo>

#include <exception>

namespace dw {

TOggPlayer::TOggPlayer()
{
    // The track bar's middle: both channels as they are.
    Chain_.SetBalanceShare(0.5f);
    TDXAudioOut& output = Chain_.Output();
    output.SetDeviceNumber(0);
    output.SetLatency(kLatencyMs);
    output.SetPrefetchData(true);
}

TOggPlayer::~TOggPlayer()
{
    Chain_.Output().Stop(false);
}

bool TOggPlayer::OpenAndPlay(const QString& fileName)
{
    // Only Ogg Vorbis files, named so; the chain checks that the decoder
    // takes the file.
    QString error;
    if (fileName.right(4).toUpper() != QLatin1String(".OGG") || !Chain_.Open(fileName, error))
        return false;
    Chain_.Output().Run();
    ElapsedMs_ = 0;
    return true;
}

TVorbisIn* TOggPlayer::VorbisIn1() const
{
    return dynamic_cast<TVorbisIn*>(Chain_.Input());
}

QString TOggPlayer::FileTitle() const
{
    return QFileInfo(Chain_.FileName()).completeBaseName();
}

QString TOggPlayer::SampleRateText()
{
    TVorbisIn* in = VorbisIn1();
    return QString::number(in ? in->GetSampleRate() : 0) + QStringLiteral(" bps");
}

int TOggPlayer::TotalSeconds()
{
    TVorbisIn* in = VorbisIn1();
    return in ? static_cast<int>(in->GetTotalTime()) : 0;
}

QString TOggPlayer::TotalTimeText()
{
    const int total = TotalSeconds();
    return QStringLiteral("%1:%2").arg(total / 60).arg(FormatTwoDigits(total % 60));
}

QStringList TOggPlayer::CommentLines()
{
    TVorbisIn* in = VorbisIn1();
    if (!in)
        return {};
    TVorbisTags& tags = in->VorbisTags();
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
    TDXAudioOut& output = Chain_.Output();
    output.Jump((p - output.Progress()) * 10);
    ElapsedMs_ = TotalSeconds() * p * 10;
}

bool TOggPlayer::TogglePause()
{
    TDXAudioOut& output = Chain_.Output();
    if (output.Status() != 0) {
        output.Resume();
        return true;
    }
    output.Pause();
    return false;
}

void TOggPlayer::Stop()
{
    TDXAudioOut& output = Chain_.Output();
    if (output.Status() == 1)
        output.Resume();
    output.Stop(true);
}

void TOggPlayer::SetBalancePosition(int position)
{
    Chain_.SetBalanceShare(static_cast<float>(position) / kBalancePositions);
}

}  // namespace dw
