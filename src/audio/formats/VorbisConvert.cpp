#include "audio/formats/VorbisConvert.h"

#include "app/Settings.h"
#include "audio/formats/VorbisIn.h"
#include "audio/formats/VorbisOut.h"
#include "audio/formats/WaveIn.h"
#include "audio/formats/WaveOut.h"
#include "audio/stream/AuException.h"
#include "platform/InputFile.h"
#include "platform/NativePath.h"
#include "tags/VorbisTags.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QRandomGenerator>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>

#include <fcntl.h>
#include <unistd.h>

namespace dw {

namespace {

// Bit rates of the options dialog's three Ogg lists, by position.
constexpr std::array<int, 15> kDialogKbps = {0, 45, 48, 56, 64, 80, 96, 112, 128, 144, 160, 192, 224, 256, 320};

TVorbisBitRate dialogRate(int position)
{
    if (position <= 0 || position >= static_cast<int>(kDialogKbps.size()))
        return brAutoSelect;
    return VorbisBitRateFromKbps(kDialogKbps[static_cast<size_t>(position)]).value_or(brAutoSelect);
}

QString offeredRates()
{
    QStringList list;
    for (int r = bitrate24; r <= bitrate499; ++r)
        list << QString::number(VorbisBitRateValue(static_cast<TVorbisBitRate>(r)) / 1000);
    return list.join(", ");
}

// Checks shared by both conversions: the input is a file, the output is not
// the input, and an existing output is replaced only when asked.
QString checkPaths(const QString& input, const QString& output, bool overwrite)
{
    if (const QString problem = CheckInputFile(input); !problem.isEmpty())
        return problem;
    if (SameFile(input, output))
        return InputAsOutputMessage(output);
    const TPathInfo out = StatPath(output);
    if (out.exists && out.isDir)
        return QString("%1: is a folder").arg(output);
    if (out.exists && !overwrite)
        return QString("%1: already exists and replacing it was not asked for").arg(output);
    return {};
}

// Runs fn later on the main thread unless the object behind alive is gone.
void postIfAlive(const std::shared_ptr<bool>& alive, std::function<void()> fn)
{
    std::weak_ptr<bool> weak = alive;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [weak, fn = std::move(fn)] {
            if (weak.lock())
                fn();
        },
        Qt::QueuedConnection);
}

}  // namespace

TOggEncodeSettings OggSettingsFromValues(bool useCompress, int compressPosition, int nominalPosition,
                                         int maximumPosition, int minimumPosition)
{
    TOggEncodeSettings s;
    if (useCompress) {
        s.byQuality = true;
        s.quality = static_cast<float>(compressPosition - 10) / 100.0f;
        return s;
    }
    s.byQuality = false;
    s.quality = 0.2f;
    s.nominal = dialogRate(nominalPosition);
    s.maximum = dialogRate(maximumPosition);
    s.minimum = dialogRate(minimumPosition);
    if (s.nominal == brAutoSelect)
        s.byQuality = true;  // no nominal rate: the encoder works by quality
    return s;
}

TOggEncodeSettings OggSettingsFromOptions(const TStoredOptions& settings)
{
    return OggSettingsFromValues(settings.IsUseCompress, settings.CompressPosition, settings.OggNomalBitRate,
                                 settings.OggMaxBitRate, settings.OggMinBitRate);
}

void ApplyOggEncodeSettings(TVorbisOut& out, const TOggEncodeSettings& s)
{
    // An automatic nominal rate clears both bounds; the setters keep
    // minimum <= nominal <= maximum and take a maximum only beside a nominal
    // rate, so the nominal rate goes first.
    out.SetDesiredNominalBitrate(brAutoSelect);
    if (s.byQuality) {
        out.SetCompression(s.quality);
        return;
    }
    out.SetCompression(0.2f);
    out.SetDesiredNominalBitrate(s.nominal);
    out.SetDesiredMaximumBitrate(s.maximum);
    out.SetMinimumBitrate(s.minimum);
}

bool OggBitRateSettings(int nominalKbps, int minimumKbps, int maximumKbps, TOggEncodeSettings* out, QString* problem)
{
    const auto pick = [&](int kbps, const char* what, TVorbisBitRate* rate) {
        if (kbps == 0) {
            *rate = brAutoSelect;
            return true;
        }
        const auto r = VorbisBitRateFromKbps(kbps);
        if (!r) {
            *problem = QString("%1 must be one of %2 kbit/s, not %3").arg(QLatin1String(what), offeredRates()).arg(kbps);
            return false;
        }
        *rate = *r;
        return true;
    };
    TOggEncodeSettings s;
    s.byQuality = false;
    if (!pick(nominalKbps, "the bit rate", &s.nominal) || !pick(minimumKbps, "the minimum bit rate", &s.minimum) ||
        !pick(maximumKbps, "the maximum bit rate", &s.maximum))
        return false;
    if (s.nominal == brAutoSelect) {
        *problem = QStringLiteral("a bit rate is needed for minimum and maximum bit rates");
        return false;
    }
    if (s.minimum != brAutoSelect && s.minimum > s.nominal) {
        *problem = QStringLiteral("the minimum bit rate must not be above the bit rate");
        return false;
    }
    if (s.maximum != brAutoSelect && s.maximum < s.nominal) {
        *problem = QStringLiteral("the maximum bit rate must not be below the bit rate");
        return false;
    }
    *out = s;
    return true;
}

bool OggQualitySettings(double q, TOggEncodeSettings* out, QString* problem)
{
    if (!std::isfinite(q) || q < -1.0 || q > 10.0) {
        *problem = QString("the quality must be from -1 to 10, not %1").arg(q);
        return false;
    }
    TOggEncodeSettings s;
    s.byQuality = true;
    s.quality = static_cast<float>(q / 10.0);
    *out = s;
    return true;
}

QStringList OggCommentNames()
{
    TVorbisTags tags;
    QStringList names;
    for (int i = 0; i < tags.Count(); ++i)
        names << tags.Names(i).toLower();
    return names;
}

TOggConversion::TOggConversion(std::unique_ptr<TAuInput> input, std::unique_ptr<TAuOutput> output,
                               TConversionControl control, TConversionDone done)
    : input_(std::move(input)), output_(std::move(output)), control_(std::move(control)), done_(std::move(done))
{
    output_->OnProgress = [this](TAuOutput* o) {
        if (control_.progress)
            control_.progress(o->Progress());
    };
    output_->OnDone = [this](TAuOutput*) { outputDone(); };
    // Started from the event loop, so that done never runs before the
    // caller holds the object.
    postIfAlive(alive_, [this] { start(); });
    // A cancellation may come from any thread: the stop is posted to the
    // main thread, after the start (a token cancelled already stops the
    // conversion as soon as it has begun). The callback holds its own weak
    // reference, so it never reads alive_ while the destructor clears it.
    std::weak_ptr<bool> weak = alive_;
    onCancel_ = std::make_unique<TCancelCallback>(control_.cancel, [this, weak] {
        if (const std::shared_ptr<bool> alive = weak.lock())
            postIfAlive(alive, [this] { Stop(); });
    });
}

TOggConversion::TOggConversion(const QString& error, TConversionDone done) : done_(std::move(done))
{
    TConversionResult r;
    r.error = error;
    postIfAlive(alive_, [this, r] { finish(r); });
}

TOggConversion::~TOggConversion()
{
    onCancel_.reset();
    alive_.reset();
    if (output_) {
        output_->OnProgress = nullptr;
        output_->OnDone = nullptr;
        output_->Stop(false);
    }
    output_.reset();  // before the input it reads
}

void TOggConversion::start()
{
    try {
        output_->Run();
    } catch (const EAuException& e) {
        TConversionResult r;
        r.error = e.Message();
        finish(r);
        return;
    }
}

void TOggConversion::Stop()
{
    if (finished_ || stopAsked_ || !output_)
        return;
    stopAsked_ = true;
    output_->Stop(true);
}

void TOggConversion::outputDone()
{
    TConversionResult r;
    r.error = output_->GetExceptionMessage();
    r.stopped = r.error.isEmpty() && stopAsked_;
    r.ok = r.error.isEmpty() && !stopAsked_;
    if (r.ok && control_.progress)
        control_.progress(100);
    finish(r);
}

void TOggConversion::finish(const TConversionResult& result)
{
    if (finished_)
        return;
    finished_ = true;
    onCancel_.reset();
    // A copy: done may destroy this object.
    const TConversionDone done = done_;
    if (done)
        done(result);
}

std::unique_ptr<TOggConversion> StartWaveToOgg(const TOggEncodeRequest& request, TConversionControl control,
                                               TConversionDone done)
{
    const QString error = checkPaths(request.input, request.output, request.overwrite);
    if (!error.isEmpty())
        return std::make_unique<TOggConversion>(error, std::move(done));

    TVorbisTags comments;
    const QStringList names = OggCommentNames();
    for (const auto& [name, value] : request.comments) {
        if (!names.contains(name.toLower()))
            return std::make_unique<TOggConversion>(QString("%1: a comment named %2 is not written (names: %3)")
                                                        .arg(request.output, name, names.join(", ")),
                                                    std::move(done));
        comments.SetValue(name.toLower(), value);
    }

    auto waveIn = std::make_unique<TWaveIn>();
    waveIn->SetFileName(request.input);
    if (!waveIn->IsValid())
        return std::make_unique<TOggConversion>(QString("%1: not a WAV file this program can read").arg(request.input),
                                                std::move(done));

    auto out = std::make_unique<TVorbisOut>();
    out->SetInput(waveIn.get());
    out->SetFileName(request.output);
    out->SetFileMode(foRewrite);
    // A stopped one-file conversion keeps the part encoded so far.
    out->SetKeepStopped(true);
    ApplyOggEncodeSettings(*out, request.settings);
    out->SetComments(comments);
    // A serial of its own, so the file can be chained with others (as the
    // Vorbis tools do); zero is avoided, some tools mistrust it.
    out->SetSerial(static_cast<int32_t>(QRandomGenerator::global()->bounded(1, std::numeric_limits<int32_t>::max())));
    return std::make_unique<TOggConversion>(std::move(waveIn), std::move(out), std::move(control), std::move(done));
}

std::unique_ptr<TOggConversion> StartOggToWave(const TOggDecodeRequest& request, TConversionControl control,
                                               TConversionDone done)
{
    const QString error = checkPaths(request.input, request.output, request.overwrite);
    if (!error.isEmpty())
        return std::make_unique<TOggConversion>(error, std::move(done));
    auto vorbisIn = std::make_unique<TVorbisIn>();
    vorbisIn->SetFileName(request.input);
    try {
        (void)vorbisIn->GetChannels();  // opens the file: a refusal is reported now
    } catch (const EAuException& e) {
        return std::make_unique<TOggConversion>(e.Message(), std::move(done));
    }
    auto out = std::make_unique<TWaveOut>();
    out->SetInput(vorbisIn.get());
    out->SetFileName(request.output);
    out->SetFileMode(foRewrite);
    out->SetKeepStopped(true);
    out->SetWavType(wtPCM);
    return std::make_unique<TOggConversion>(std::move(vorbisIn), std::move(out), std::move(control), std::move(done));
}

bool ReadOggInfo(const QString& path, TOggInfo* info, QString* error)
{
    if (const QString problem = CheckInputFile(path); !problem.isEmpty()) {
        *error = problem;
        return false;
    }
    TVorbisIn in;
    in.SetFileName(path);
    try {
        TOggInfo i;
        i.channels = static_cast<int>(in.GetChannels());
        i.sampleRate = static_cast<int>(in.GetSampleRate());
        i.frames = std::max<int64_t>(in.GetTotalSamples(), 0);
        i.seconds = i.sampleRate ? static_cast<double>(i.frames) / i.sampleRate : 0.0;
        i.nominalBitRate = in.NominalBitRate();
        i.upperBitRate = in.UpperBitRate();
        i.lowerBitRate = in.LowerBitRate();
        i.streams = in.StreamCount();
        i.comments = in.RawComments();
        *info = i;
    } catch (const EAuException& e) {
        *error = e.Message();
        return false;
    }
    return true;
}

bool LooksLikeOgg(const QString& path)
{
    const UniqueFd fd = OpenInputFile(path);
    char magic[4] = {};
    return fd && ReadFull(fd.get(), magic, 4) == 4 && std::memcmp(magic, "OggS", 4) == 0;
}

}  // namespace dw
