#pragma once
// Helpers of the player tests: SDL's disk audio driver pointed at a file,
// test signals as WAV and Ogg files, and the PCM the driver wrote.

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstring>
#include <vector>

namespace dwtest {

// SDL's audio goes to a file for the object's lifetime (the driver writes at
// the pace of real playback, silence included while nothing plays). A delay
// in ms makes the driver wait that long between periods: a device that stops
// taking data.
class DiskAudio {
public:
    explicit DiskAudio(const QString& file, int delayMs = -1)
        : oldDriver_(qgetenv("SDL_AUDIODRIVER")), oldFile_(qgetenv("SDL_DISKAUDIOFILE"))
    {
        qputenv("SDL_AUDIODRIVER", "disk");
        qputenv("SDL_DISKAUDIOFILE", file.toLocal8Bit());
        if (delayMs >= 0)
            qputenv("SDL_DISKAUDIODELAY", QByteArray::number(delayMs));
        else
            qunsetenv("SDL_DISKAUDIODELAY");
    }
    ~DiskAudio()
    {
        qputenv("SDL_AUDIODRIVER", oldDriver_);
        qputenv("SDL_DISKAUDIOFILE", oldFile_);
        qunsetenv("SDL_DISKAUDIODELAY");
    }
    DiskAudio(const DiskAudio&) = delete;
    DiskAudio& operator=(const DiskAudio&) = delete;

private:
    QByteArray oldDriver_, oldFile_;
};

inline bool runTool(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

inline QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A 16-bit stereo PCM WAV file of the given frames (interleaved samples).
inline bool writeWav(const QString& path, const std::vector<int16_t>& samples, uint32_t rate = 44100)
{
    const uint32_t data = static_cast<uint32_t>(samples.size() * 2);
    QByteArray h;
    auto u32 = [&h](uint32_t v) { for (int i = 0; i < 4; ++i) h.append(char(v >> (8 * i))); };
    auto u16 = [&h](uint16_t v) { h.append(char(v)); h.append(char(v >> 8)); };
    h.append("RIFF");
    u32(36 + data);
    h.append("WAVEfmt ");
    u32(16);
    u16(1);
    u16(2);
    u32(rate);
    u32(rate * 4);
    u16(4);
    u16(16);
    h.append("data");
    u32(data);
    h.append(reinterpret_cast<const char*>(samples.data()), int(data));
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(h) == h.size();
}

// Frames that name their own place: left 1 + (n mod 16384), right
// 2 × (1 + n div 16384), never zero, so silence and skips show. The right
// channel stays exact when a balance halves it.
inline std::vector<int16_t> counterFrames(int frames)
{
    std::vector<int16_t> s;
    s.reserve(size_t(frames) * 2);
    for (int n = 0; n < frames; ++n) {
        s.push_back(int16_t(1 + n % 16384));
        s.push_back(int16_t(2 * (1 + n / 16384)));
    }
    return s;
}
// The place n of a counter frame; rightUnit 2 as written, 1 after halving.
inline int frameIndex(int16_t left, int16_t right, int rightUnit = 2)
{
    return (right / rightUnit - 1) * 16384 + (left - 1);
}

// 16-bit stereo frames of raw PCM.
inline std::vector<int16_t> samplesOf(const QByteArray& raw)
{
    std::vector<int16_t> s(size_t(raw.size()) / 4 * 2);
    std::memcpy(s.data(), raw.constData(), s.size() * 2);
    return s;
}

// The PCM without the silent frames before its first and after its last
// sound.
inline std::vector<int16_t> trimSilence(const std::vector<int16_t>& s)
{
    size_t first = 0, last = s.size() / 2;
    while (first < last && s[2 * first] == 0 && s[2 * first + 1] == 0)
        ++first;
    while (last > first && s[2 * last - 2] == 0 && s[2 * last - 1] == 0)
        --last;
    return std::vector<int16_t>(s.begin() + long(2 * first), s.begin() + long(2 * last));
}

// The non-silent frames in order (drops every silent frame, wherever it is).
inline std::vector<int16_t> soundOnly(const std::vector<int16_t>& s)
{
    std::vector<int16_t> out;
    for (size_t i = 0; i + 1 < s.size(); i += 2)
        if (s[i] != 0 || s[i + 1] != 0) {
            out.push_back(s[i]);
            out.push_back(s[i + 1]);
        }
    return out;
}

// A stereo Ogg Vorbis file of two tones made by sox and oggenc, with the
// given comments ("ARTIST=..."); false when a tool failed.
inline bool makeToneOgg(const QString& ogg, double seconds, const QStringList& comments = {}, int channels = 2)
{
    const QString wav = ogg + ".src.wav";
    QStringList synth{"-n", "-r", "44100", "-c", QString::number(channels), "-b", "16", wav, "synth",
                      QString::number(seconds), "sine", "440"};
    if (channels == 2)
        synth << "sine" << "660";
    synth << "vol" << "0.5";
    if (!runTool("sox", synth))
        return false;
    QStringList args{"-Q", "-o", ogg};
    for (const QString& c : comments)
        args << "-c" << c;
    args << wav;
    const bool ok = runTool("oggenc", args);
    QFile::remove(wav);
    return ok;
}

// oggdec's 16-bit PCM of a file (raw); empty when it failed.
inline QByteArray oggdecPcm(const QString& ogg)
{
    const QString raw = ogg + ".oggdec.raw";
    if (!runTool("oggdec", {"-Q", "-R", "-o", raw, ogg}))
        return {};
    const QByteArray pcm = readAll(raw);
    QFile::remove(raw);
    return pcm;
}

}  // namespace dwtest
