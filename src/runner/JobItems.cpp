#include "runner/JobItems.h"

#include "app/FileNames.h"
#include "app/OutputFormats.h"
#include "platform/NativePath.h"

#include <QFileInfo>
#include <QHash>

namespace dw {

std::optional<TTrackItemText> ParseTrackItem(const QString& text)
{
    if (text.size() < 2 || !text[0].isDigit() || !text[1].isDigit())
        return std::nullopt;
    const int track = text.left(2).toInt();
    if (track < 1)
        return std::nullopt;
    return TTrackItemText{track, text.mid(2)};
}

std::vector<TJobItem> ResolveJobItems(TJobKind kind, const QStringList& items, TOutputFormat outputFormat)
{
    std::vector<TJobItem> out;
    out.reserve(std::size_t(items.size()));
    if (kind != jkRipTracks) {
        for (const QString& text : items)
            out.push_back(TJobItem{text, 0, {}, {}, text});
        return out;
    }
    std::vector<TTitledTrack> titled;
    for (const QString& text : items) {
        TJobItem item;
        item.text = text;
        if (const auto parsed = ParseTrackItem(text)) {
            item.track = parsed->track;
            item.title = parsed->title;
        } else {
            item.title = text.mid(2);
        }
        item.name = item.title;
        titled.push_back({item.track, item.title});
        out.push_back(std::move(item));
    }
    const int extensionBytes = int(JobOutputExt(jkRipTracks, outputFormat).toUtf8().size());
    const QStringList stems = UniqueFileStems(titled, extensionBytes);
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i].stem = stems.value(int(i));
    return out;
}

QString ChangeFileExt(const QString& path, const QString& ext)
{
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    const int dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot <= slash)
        return path + ext;
    return path.left(dot) + ext;
}

QString JobOutputExt(TJobKind kind, TOutputFormat outputFormat)
{
    switch (kind) {
    case jkRipTracks: return FormatExtension(outputFormat);
    case jkWavToMp3:
    case jkRecordingToMp3: return FormatExtension(TOutputFormat::Mp3);
    case jkMp3ToWav: return FormatExtension(TOutputFormat::Wav);
    case jkWavToOgg: return FormatExtension(TOutputFormat::Ogg);
    case jkWavToWma: return FormatExtension(TOutputFormat::Wma);
    case jkToFlac: return FormatExtension(TOutputFormat::Flac);
    case jkToOpus: return FormatExtension(TOutputFormat::Opus);
    }
    return {};
}

QString JobFileOutput(TJobKind kind, const QString& out, const QString& input)
{
    const QString ext = JobOutputExt(kind, TOutputFormat::Mp3);  // the format counts for CD jobs alone
    if (kind == jkRecordingToMp3)
        return ChangeFileExt(input, ext);
    return out + ChangeFileExt(QFileInfo(input).fileName(), ext);
}

QString JobTrackWav(const QString& out, const TJobItem& item) { return out + item.stem + QStringLiteral(".wav"); }

QString Mp3ResampleBuffer(const QString& out, const QString& tag)
{
    return out + QStringLiteral("MyMP3ReTemp") + tag + QStringLiteral(".wav");
}

QString OggResampleBuffer(const QString& out, const QString& tag)
{
    return out + QStringLiteral("MyReTemp") + tag + QStringLiteral(".wav");
}

std::vector<TOutputClash> FindOutputClashes(TJobKind kind, const QString& out, const QStringList& inputs)
{
    std::vector<TOutputClash> clashes;
    if (kind == jkRipTracks)
        return clashes;
    QHash<QString, int> first;
    for (int i = 0; i < inputs.size(); ++i) {
        const QString output = JobFileOutput(kind, out, inputs[i]);
        // The same folder and name: cleanPath folds "a/./b" and "a//b".
        const QString key = QFileInfo(output).absoluteFilePath();
        const auto it = first.constFind(key);
        if (it != first.constEnd())
            clashes.push_back({i, it.value(), output});
        else
            first.insert(key, i);
    }
    return clashes;
}

QString OutputIsInput(TJobKind kind, const QString& out, const QStringList& inputs, int index)
{
    if (kind == jkRipTracks || index < 0 || index >= inputs.size())
        return {};
    const QString output = JobFileOutput(kind, out, inputs[index]);
    const QString outputKey = QFileInfo(output).absoluteFilePath();
    // Only an output that exists can be an input under another name.
    const bool exists = StatPath(output).exists;
    for (int i = 0; i < inputs.size(); ++i) {
        if (QFileInfo(inputs[i]).absoluteFilePath() != outputKey && !(exists && SameFile(inputs[i], output)))
            continue;
        if (i == index)
            return InputAsOutputMessage(output);
        return output + QStringLiteral(": is also an input of this job (") + inputs[i]
               + QStringLiteral("); an input is never overwritten");
    }
    return {};
}

}  // namespace dw
