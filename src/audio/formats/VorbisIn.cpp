#include "audio/formats/VorbisIn.h"

#include "audio/formats/OggStreamEnd.h"
#include "audio/formats/VorbisLibrary.h"
#include "audio/stream/AuException.h"
#include "tags/CommonTags.h"
#include "tags/VorbisTags.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <limits>

namespace dw {

// The decoder's file record; cleared (ov_clear) with the object.
struct TVorbisDecoder {
    explicit TVorbisDecoder(const vorbis::Api& a) : api(a) {}
    ~TVorbisDecoder()
    {
        if (open)
            api.ov_clear(&file);
    }
    TVorbisDecoder(const TVorbisDecoder&) = delete;
    TVorbisDecoder& operator=(const TVorbisDecoder&) = delete;

    const vorbis::Api& api;
    OggVorbis_File file{};
    bool open = false;
};

// The decoder reads the component's stream through these. No exception may
// cross the library: a failing stream reads as an error (errno set).
struct TVorbisCallbacks {
    static size_t read(void* ptr, size_t size, size_t count, void* source)
    {
        auto* self = static_cast<TVorbisIn*>(source);
        if (size == 0 || count == 0 || !self->Stream)
            return 0;
        if (count > static_cast<size_t>(std::numeric_limits<int32_t>::max()) / size) {
            errno = EINVAL;
            return 0;
        }
        try {
            const int64_t n = self->Stream->Read(ptr, static_cast<int64_t>(size * count));
            if (n <= 0)
                errno = 0;  // a clean end of the data
            return n > 0 ? static_cast<size_t>(n) : 0;
        } catch (const std::exception&) {
            errno = EIO;
            return 0;
        }
    }

    static int seek(void* source, ogg_int64_t offset, int whence)
    {
        auto* self = static_cast<TVorbisIn*>(source);
        if (!self->Seekable || !self->Stream)
            return -1;
        TSeekOrigin origin;
        switch (whence) {
        case SEEK_SET: origin = TSeekOrigin::soBeginning; break;
        case SEEK_CUR: origin = TSeekOrigin::soCurrent; break;
        case SEEK_END: origin = TSeekOrigin::soEnd; break;
        default: return -1;
        }
        try {
            const int64_t base = origin == TSeekOrigin::soBeginning ? 0
                               : origin == TSeekOrigin::soCurrent ? self->Stream->GetPosition()
                                                                   : self->Stream->GetSize();
            if (offset < -base)
                return -1;  // before the start
            const int64_t pos = self->Stream->Seek(offset, origin);
            return pos < 0 ? -1 : 0;
        } catch (const std::exception&) {
            return -1;
        }
    }

    // The stream is released by CloseFile after ov_clear.
    static int close(void*) { return 0; }

    static long tell(void* source)
    {
        auto* self = static_cast<TVorbisIn*>(source);
        try {
            return self->Stream ? static_cast<long>(self->Stream->GetPosition()) : -1;
        } catch (const std::exception&) {
            return -1;
        }
    }
};

namespace {

QString decoderReason(int code)
{
    switch (code) {
    case OV_EREAD: return QStringLiteral("the file could not be read");
    case OV_ENOTVORBIS: return QStringLiteral("not Ogg Vorbis data");
    case OV_EVERSION: return QStringLiteral("unsupported Vorbis version");
    case OV_EBADHEADER: return QStringLiteral("invalid Vorbis header");
    case OV_EFAULT: return QStringLiteral("internal decoder error");
    default: return QStringLiteral("not a usable Ogg Vorbis file");
    }
}

QString readFailure(long code)
{
    switch (code) {
    case OV_HOLE: return QStringLiteral("a gap in the data (lost or damaged pages)");
    case OV_EBADLINK: return QStringLiteral("a damaged link of the chain");
    case OV_EREAD: return QStringLiteral("the file could not be read");
    default: return QStringLiteral("damaged data (decoder error %1)").arg(code);
    }
}

}  // namespace

TVorbisIn::TVorbisIn() = default;

TVorbisIn::~TVorbisIn()
{
    try {
        CloseFile();
    } catch (...) {
    }
}

long TVorbisIn::UpperBitRate()
{
    OpenFile();
    return BitRateUpper;
}

long TVorbisIn::NominalBitRate()
{
    OpenFile();
    return BitRateNominal;
}

long TVorbisIn::LowerBitRate()
{
    OpenFile();
    return BitRateLower;
}

int TVorbisIn::StreamCount()
{
    OpenFile();
    return Valid ? Streams : 0;
}

void TVorbisIn::beforeOpen()
{
    vorbis::LoadLibraries();  // a missing library is reported before anything else
}

void TVorbisIn::openDecoder()
{
    const vorbis::Api& api = vorbis::LoadLibraries();
    const QString name = displayName();
    Problem = OggCutShortProblem(Stream, Seekable);
    auto decoder = std::make_unique<TVorbisDecoder>(api);
    const ov_callbacks callbacks{&TVorbisCallbacks::read, &TVorbisCallbacks::seek, &TVorbisCallbacks::close,
                                 &TVorbisCallbacks::tell};
    int r = api.ov_test_callbacks(this, &decoder->file, nullptr, 0, callbacks);
    if (r == 0) {
        decoder->open = true;
        r = api.ov_test_open(&decoder->file);
    }
    if (r != 0)
        throw EAuException(QString("%1: Failed to open an ogg file: %2 (%3)").arg(name).arg(r).arg(decoderReason(r)));
    Decoder = std::move(decoder);

    readComments();

    const vorbis_info* info = api.ov_info(&Decoder->file, -1);
    if (!info || info->channels < 1 || info->rate < 1)
        throw EAuException(QString("%1: Failed to open an ogg file: %2 (%3)").arg(name).arg(OV_EBADHEADER).arg(decoderReason(OV_EBADHEADER)));
    Channels = static_cast<uint32_t>(info->channels);
    SampleRate = static_cast<uint32_t>(std::min<long>(info->rate, std::numeric_limits<int32_t>::max()));
    BitsPerSample = 16;
    BitRateUpper = info->bitrate_upper;
    BitRateNominal = info->bitrate_nominal;
    BitRateLower = info->bitrate_lower;
    Streams = static_cast<int>(api.ov_streams(&Decoder->file));
    // Every link of a chain is delivered as the one stream announced here:
    // a link in another format cannot be, and the file is refused whole.
    for (int link = 1; link < Streams; ++link) {
        const vorbis_info* li = api.ov_info(&Decoder->file, link);
        if (!li || li->channels != info->channels || li->rate != info->rate)
            throw EAuException(QString("%1: a chained Ogg Vorbis file whose links differ in format "
                                       "(link 1: %2 channels at %3 Hz, link %4: %5 channels at %6 Hz); "
                                       "it cannot be read as one stream")
                                   .arg(name)
                                   .arg(info->channels)
                                   .arg(info->rate)
                                   .arg(link + 1)
                                   .arg(li ? li->channels : 0)
                                   .arg(li ? li->rate : 0));
    }

    const ogg_int64_t total = api.ov_pcm_total(&Decoder->file, -1);
    // A stream that cannot tell its length (not seekable) has an unknown size.
    if (total < 0 || total > std::numeric_limits<int64_t>::max() / (2 * 255))
        Size = -1;
    else
        Size = static_cast<int64_t>(total) * 2 * Channels;
    CurrentStream = -1;
    DecoderEnded = false;
    BufStart = 1;
    BufEnd = 0;
}

void TVorbisIn::readComments()
{
    const vorbis::Api& api = vorbis::LoadLibraries();
    Tags->Clear();
    Comments.clear();
    const vorbis_comment* vc = api.ov_comment(&Decoder->file, -1);
    if (vc && vc->user_comments && vc->comment_lengths) {
        for (int i = 0; i < vc->comments; ++i) {
            if (!vc->user_comments[i] || vc->comment_lengths[i] < 0)
                continue;
            const QByteArray text(vc->user_comments[i], vc->comment_lengths[i]);
            Comments << QString::fromUtf8(text);
            const int eq = text.indexOf('=');
            // A comment without "=" has an empty name and value.
            const QString key = eq < 0 ? QString() : QString::fromUtf8(text.left(eq)).toLower();
            const QString value = eq < 0 ? QString() : QString::fromUtf8(text.mid(eq + 1));
            static const char* const kKeys[] = {"artist", "album", "title", "date", "genre", "tracknumber"};
            for (const char* k : kKeys)
                if (key == QLatin1String(k))
                    Tags->SetValue(key, value);
        }
    }
    // The common container follows the Vorbis one.
    TCommonTags& common = Common();
    common.Clear();
    common.SetArtist(Tags->Artist());
    common.SetAlbum(Tags->Album());
    common.SetTitle(Tags->Title());
    common.SetValue("Year", Tags->AsWideString("date").toUtf8());
    common.SetValue("Track", Tags->AsWideString("tracknumber").toUtf8());
    common.SetGenre(Tags->Genre());
}

void TVorbisIn::fillBuffer()
{
    const vorbis::Api& api = vorbis::LoadLibraries();
    const uint32_t frame = 2 * Channels;
    // Whole frames only: the decoder refuses a request smaller than one frame.
    const uint32_t capacity = kBufferSize / frame * frame;
    while (BufEnd < capacity && !DecoderEnded) {
        int link = -1;
        const long got = api.ov_read(&Decoder->file, reinterpret_cast<char*>(Buffer.data() + BufEnd),
                                     static_cast<int>(capacity - BufEnd), 0, 2, 1, &link);
        if (got == 0) {
            DecoderEnded = true;
            break;
        }
        // A gap or damaged data: what follows is not what the file holds.
        if (got < 0)
            failDecoding(readFailure(got));
        if (link != CurrentStream) {
            // A later link of a chain in another format cannot be delivered
            // as the format announced for the file (a stream that cannot
            // seek shows its links only as they come).
            const vorbis_info* info = api.ov_info(&Decoder->file, link);
            if (!info || static_cast<uint32_t>(info->channels) != Channels ||
                static_cast<uint32_t>(info->rate) != SampleRate)
                failDecoding(QString("link %1 of the chain has another format (%2 channels at %3 Hz)")
                                 .arg(link + 1)
                                 .arg(info ? info->channels : 0)
                                 .arg(info ? info->rate : 0));
            CurrentStream = link;
        }
        BufEnd += static_cast<uint32_t>(got);
        endAtStatedSize();
    }
}

void TVorbisIn::DoGetData(void*& buffer, uint32_t& bytes)
{
    handOutBlock(Buffer.data(), buffer, bytes);
}

bool TVorbisIn::DoSeek(int64_t& sampleNum)
{
    OpenFile();
    if (!Decoder)
        return false;
    const vorbis::Api& api = vorbis::LoadLibraries();
    const bool ok = api.ov_pcm_seek(&Decoder->file, sampleNum) == 0;
    resetBlock();
    return ok;
}

void TVorbisIn::closeDecoder()
{
    Decoder.reset();  // ov_clear
}

void TVorbisIn::afterClose()
{
    CurrentStream = -1;
}

}  // namespace dw
