#include "widgets/OptionSetValues.h"

#include "app/OutputFormats.h"
#include "jobs/WmaProfiles.h"

#include <algorithm>

namespace dw {

const QStringList& OutputFormatItems()
{
    // Positions are the stored OutputFormat values.
    static const QStringList items = [] {
        QStringList list;
        for (const TOutputFormatInfo& f : OutputFormats())
            list << QString::fromLatin1(f.dialogItem);
        return list;
    }();
    return items;
}

const QStringList& Mp3BitRateItems()
{
    static const QStringList items{" 32 kbit/s", " 40 kbit/s", " 48 kbit/s", " 56 kbit/s", " 64 kbit/s",
                                   " 80 kbit/s", " 96 kbit/s", "112 kbit/s", "128 kbit/s", "160 kbit/s",
                                   "192 kbit/s", "224 kbit/s", "256 kbit/s", "320 kbit/s"};
    return items;
}

const QStringList& MpegQualityItems()
{
    static const QStringList items{"Default", "Faster encode/Lower quality", "Slower encode/Higher quality"};
    return items;
}

const QStringList& StereoModeItems()
{
    static const QStringList items{"Stereo", "Joint Stereo", "Forced Joint Stereo", "Dual Channels", "Mono"};
    return items;
}

const QStringList& OggBitRateItems()
{
    static const QStringList items{" Default",   " 45 kbit/s", " 48 kbit/s", " 56 kbit/s", " 64 kbit/s",
                                   " 80 kbit/s", " 96 kbit/s", "112 kbit/s", "128 kbit/s", "144 kbit/s",
                                   "160 kbit/s", "192 kbit/s", "224 kbit/s", "256 kbit/s", "320 kbit/s"};
    return items;
}

QString Mp3BitRateText(int kbps) { return QString::number(kbps) + QStringLiteral(" kbit/s"); }

std::optional<int> ParseMp3BitRate(const QString& text)
{
    const QString head = text.left(3).trimmed();
    // Decimal digits only: no sign, no blanks inside, no hexadecimal.
    if (head.isEmpty() || !std::all_of(head.begin(), head.end(), [](QChar c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return head.toInt();
}

int WmaProfileKbps(int profile)
{
    // The setting text begins with the bit rate: "64_44_2".
    const QString setting = WmaProfileSetting(profile);
    return setting.section('_', 0, 0).toInt();
}

int WmaEncodedKbps(int profile) { return std::max(WmaProfileKbps(profile), WmaLowestEncodedKbps); }

QString WmaProfileItem(int profile)
{
    const QString label = WmaProfileLabel(profile);
    if (WmaEncodedKbps(profile) == WmaProfileKbps(profile))
        return label;
    return label + QStringLiteral("  (%1 kbit/s)").arg(WmaEncodedKbps(profile));
}

}  // namespace dw
