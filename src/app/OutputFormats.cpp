#include "app/OutputFormats.h"

#include <array>

namespace dw {

namespace {

using E = TFormatEncoder;
using T = TFormatTags;

// In the order of the stored values (FormatInfo indexes it by them).
constexpr std::array<TOutputFormatInfo, 6> kFormats = {{
    {TOutputFormat::Mp3, "MP3", ".mp3", "MP3 file(*.MP3)", E::External, "lame", T::Id3, true},
    {TOutputFormat::Wav, "WAV", ".wav", "WAV file(*.WAV)", E::None, nullptr, T::None, false},
    {TOutputFormat::Ogg, "OGG", ".ogg", "OGG file(*.OGG)", E::InProcess, nullptr, T::VorbisComments, true},
    {TOutputFormat::Wma, "WMA", ".wma", "WMA file(*.WMA)", E::External, "WM8EUTIL", T::WmaFields, false},
    {TOutputFormat::Flac, "FLAC", ".flac", "FLAC file(*.FLAC)", E::InProcess, nullptr, T::VorbisComments, true},
    {TOutputFormat::Opus, "Opus", ".opus", "Opus file(*.OPUS)", E::InProcess, nullptr, T::VorbisComments, true},
}};

static_assert([] {
    for (std::size_t i = 0; i < kFormats.size(); ++i)
        if (static_cast<std::size_t>(kFormats[i].format) != i)
            return false;
    return true;
}());

}  // namespace

std::span<const TOutputFormatInfo> OutputFormats() { return kFormats; }

const TOutputFormatInfo& FormatInfo(TOutputFormat format)
{
    const auto index = static_cast<std::size_t>(format);
    return index < kFormats.size() ? kFormats[index] : kFormats[static_cast<std::size_t>(TOutputFormat::Wav)];
}

std::optional<TOutputFormat> OutputFormatFromStored(int value)
{
    if (value < 0 || value >= static_cast<int>(kFormats.size()))
        return std::nullopt;
    return static_cast<TOutputFormat>(value);
}

TOutputFormat StoredOutputFormat(int value) { return OutputFormatFromStored(value).value_or(TOutputFormat::Wav); }

std::optional<TOutputFormat> OutputFormatFromName(const QString& name)
{
    for (const TOutputFormatInfo& f : kFormats)
        if (name == QString::fromLatin1(f.name).toLower())
            return f.format;
    return std::nullopt;
}

QString FormatName(TOutputFormat format) { return QString::fromLatin1(FormatInfo(format).name); }

QString FormatExtension(TOutputFormat format) { return QString::fromLatin1(FormatInfo(format).extension); }

}  // namespace dw
