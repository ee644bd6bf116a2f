#include "JobsTestSupport.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <cmath>
#include <stdexcept>

namespace jobstest {

void EventLog::jobEvent(std::unique_ptr<dw::TProcessInfo> info)
{
    events.push_back(*info);
    if (onEvent)
        onEvent(events.back());
}

std::vector<dw::TProcessInfo> EventLog::completions() const
{
    std::vector<dw::TProcessInfo> out;
    for (const auto& e : events)
        if (dw::IsJobEventCode(e.Code))
            out.push_back(e);
    return out;
}

std::vector<dw::TProcessInfo> EventLog::progress() const
{
    std::vector<dw::TProcessInfo> out;
    for (const auto& e : events)
        if (!dw::IsJobEventCode(e.Code))
            out.push_back(e);
    return out;
}

bool EventLog::waitCompletions(size_t n, int timeoutMs) const
{
    return dwtest::waitFor([&] { return completions().size() >= n; }, std::chrono::milliseconds(timeoutMs));
}

namespace {
void put16(QByteArray& b, unsigned v)
{
    b.append(char(v & 0xff));
    b.append(char((v >> 8) & 0xff));
}
void put32(QByteArray& b, uint32_t v)
{
    put16(b, v & 0xffff);
    put16(b, v >> 16);
}
}  // namespace

void writeWav(const QString& path, int rate, int channels, double seconds)
{
    const auto frames = static_cast<uint32_t>(rate * seconds);
    const uint32_t dataBytes = frames * channels * 2;
    QByteArray b;
    b.reserve(44 + dataBytes);
    b.append("RIFF");
    put32(b, 36 + dataBytes);
    b.append("WAVEfmt ");
    put32(b, 16);
    put16(b, 1);
    put16(b, channels);
    put32(b, rate);
    put32(b, rate * channels * 2);
    put16(b, channels * 2);
    put16(b, 16);
    b.append("data");
    put32(b, dataBytes);
    for (uint32_t i = 0; i < frames; ++i) {
        const double t = double(i) / rate;
        for (int c = 0; c < channels; ++c) {
            const auto s = static_cast<int16_t>(std::lround(8000.0 * std::sin(2 * M_PI * (440.0 + 110 * c) * t)));
            put16(b, static_cast<uint16_t>(s));
        }
    }
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(b) != b.size())
        throw std::runtime_error("cannot write " + path.toStdString());
}

QMap<QString, QString> probe(const QString& path)
{
    QProcess p;
    p.start("ffprobe", {"-v", "error", "-select_streams", "a:0", "-show_entries",
                        "stream=codec_name,sample_rate,channels,bit_rate:format=duration:format_tags=artist,comment", "-of",
                        "default=noprint_wrappers=1", path});
    QMap<QString, QString> out;
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return out;
    for (const QByteArray& line : p.readAllStandardOutput().split('\n')) {
        const int eq = line.indexOf('=');
        if (eq > 0)
            out.insert(QString::fromUtf8(line.left(eq)), QString::fromUtf8(line.mid(eq + 1)).trimmed());
    }
    return out;
}

void writeScript(const QString& path, const QByteArray& body)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write("#!/bin/sh\n" + body) < 0)
        throw std::runtime_error("cannot write " + path.toStdString());
    f.close();
    f.setPermissions(f.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeUser);
}

QStringList hiddenFiles(const QString& folder)
{
    QStringList out;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name))
        if (name.startsWith('.'))
            out << name;
    return out;
}

}  // namespace jobstest
