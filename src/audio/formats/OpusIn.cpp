#include "audio/formats/OpusIn.h"

#include "audio/formats/FlacComments.h"
#include "audio/formats/OggStreamEnd.h"
#include "audio/stream/AuException.h"
#include "tags/CommonTags.h"
#include "tags/VorbisTags.h"

#include <opusfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace dw {

// The decoder's file record; freed (op_free) with the object.
struct TOpusDecoder {
    TOpusDecoder() = default;
    ~TOpusDecoder()
    {
        if (file)
            op_free(file);
    }
    TOpusDecoder(const TOpusDecoder&) = delete;
    TOpusDecoder& operator=(const TOpusDecoder&) = delete;

    OggOpusFile* file = nullptr;
};

// The decoder reads the component's stream through these. No exception may
// cross the library: a failing stream reads as an error.
struct TOpusCallbacks {
    static int read(void* source, unsigned char* ptr, int nbytes)
    {
        auto* self = static_cast<TOpusIn*>(source);
        if (nbytes <= 0 || !self->Stream)
            return 0;
        try {
            const int64_t n = self->Stream->Read(ptr, nbytes);
            return n > 0 ? static_cast<int>(n) : 0;
        } catch (const std::exception&) {
            return -1;
        }
    }

    static int seek(void* source, opus_int64 offset, int whence)
    {
        auto* self = static_cast<TOpusIn*>(source);
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
            return self->Stream->Seek(offset, origin) < 0 ? -1 : 0;
        } catch (const std::exception&) {
            return -1;
        }
    }

    static opus_int64 tell(void* source)
    {
        auto* self = static_cast<TOpusIn*>(source);
        try {
            return self->Stream ? self->Stream->GetPosition() : -1;
        } catch (const std::exception&) {
            return -1;
        }
    }

    // The stream is released by CloseFile after op_free.
    static int close(void*) { return 0; }
};

namespace {

QString decoderReason(int code)
{
    switch (code) {
    case OP_EREAD: return QStringLiteral("the file could not be read");
    case OP_EFAULT: return QStringLiteral("out of memory or internal decoder error");
    case OP_EIMPL: return QStringLiteral("a feature the decoder does not implement");
    case OP_ENOTFORMAT: return QStringLiteral("not Ogg Opus data");
    case OP_EBADHEADER: return QStringLiteral("invalid Opus header");
    case OP_EVERSION: return QStringLiteral("unsupported Opus version");
    case OP_EBADLINK: return QStringLiteral("a damaged link");
    case OP_EBADTIMESTAMP: return QStringLiteral("invalid timestamps");
    default: return QStringLiteral("not a usable Ogg Opus file");
    }
}

QString readFailure(int code)
{
    switch (code) {
    case OP_HOLE: return QStringLiteral("a gap in the data (lost or damaged pages)");
    case OP_EBADPACKET: return QStringLiteral("a damaged audio packet");
    case OP_EBADLINK: return QStringLiteral("a damaged link of the chain");
    case OP_EBADTIMESTAMP: return QStringLiteral("invalid timestamps");
    case OP_EREAD: return QStringLiteral("the file could not be read");
    default: return QStringLiteral("damaged data (decoder error %1)").arg(code);
    }
}

// The decoder's output rate.
constexpr uint32_t kOpusRate = 48000;

}  // namespace

TOpusIn::TOpusIn() = default;

TOpusIn::~TOpusIn()
{
    try {
        CloseFile();
    } catch (...) {
    }
}

uint32_t TOpusIn::InputSampleRate()
{
    OpenFile();
    return InputRate;
}

int32_t TOpusIn::AverageBitRate()
{
    OpenFile();
    return BitRateAverage;
}

int TOpusIn::LinkCount()
{
    OpenFile();
    return Valid ? Links : 0;
}

void TOpusIn::openDecoder()
{
    const QString name = displayName();
    Problem = OggCutShortProblem(Stream, Seekable);
    const OpusFileCallbacks callbacks{&TOpusCallbacks::read, &TOpusCallbacks::seek, &TOpusCallbacks::tell,
                                      &TOpusCallbacks::close};
    int error = 0;
    auto decoder = std::make_unique<TOpusDecoder>();
    decoder->file = op_open_callbacks(this, &callbacks, nullptr, 0, &error);
    if (!decoder->file) {
        if (error == 0)
            error = OP_EFAULT;
        throw EAuException(QString("%1: not a usable Opus file: %2 (%3)").arg(name).arg(error).arg(decoderReason(error)));
    }
    Decoder = std::move(decoder);
    OggOpusFile* of = Decoder->file;
    const OpusHead* head = op_head(of, 0);
    if (!head || head->channel_count < 1 || head->channel_count > 255)
        throw EAuException(QString("%1: not a usable Opus file: %2 (%3)").arg(name).arg(OP_EBADHEADER).arg(decoderReason(OP_EBADHEADER)));
    Channels = static_cast<uint32_t>(head->channel_count);
    SampleRate = kOpusRate;
    BitsPerSample = 16;
    InputRate = head->input_sample_rate;
    Links = op_link_count(of);
    // Every link of a chain is delivered as the one stream announced here:
    // a link with another channel count cannot be, and the file is refused
    // whole (all links decode at 48 kHz).
    for (int link = 1; link < Links; ++link)
        if (op_channel_count(of, link) != head->channel_count)
            throw EAuException(QString("%1: a chained Opus file whose links differ in channels (link 1: %2, "
                                       "link %3: %4); it cannot be read as one stream")
                                   .arg(name)
                                   .arg(head->channel_count)
                                   .arg(link + 1)
                                   .arg(op_channel_count(of, link)));
    const opus_int32 rate = op_bitrate(of, -1);
    BitRateAverage = rate > 0 ? rate : 0;

    QList<QByteArray> comments;
    if (const OpusTags* tags = op_tags(of, 0); tags && tags->user_comments && tags->comment_lengths)
        for (int i = 0; i < tags->comments; ++i)
            if (tags->user_comments[i] && tags->comment_lengths[i] >= 0)
                comments << QByteArray(tags->user_comments[i], tags->comment_lengths[i]);
    ReadComments(comments, Comments, *Tags, Common());

    const ogg_int64_t total = op_pcm_total(of, -1);
    // A stream that cannot tell its length (not seekable) has an unknown
    // size, and so has one whose granule positions claim a length that a
    // time in whole seconds cannot hold (over 136 years).
    if (total < 0 || total > std::numeric_limits<int64_t>::max() / (2 * 255) ||
        total / kOpusRate >= std::numeric_limits<uint32_t>::max())
        Size = -1;
    else
        Size = static_cast<int64_t>(total) * 2 * Channels;
    DecoderEnded = false;
    BufStart = 1;
    BufEnd = 0;
}

void TOpusIn::fillBuffer()
{
    const uint32_t frame = 2 * Channels;
    // Whole frames only.
    const uint32_t capacity = kBufferSize / frame * frame;
    while (BufEnd < capacity && !DecoderEnded) {
        int link = -1;
        // Decoded as float and rounded plainly (opusfile's own 16-bit path
        // adds dither), so the same file always gives the same samples.
        const int room = static_cast<int>(std::min<uint32_t>((capacity - BufEnd) / 2, kFloatCapacity));
        const int got = op_read_float(Decoder->file, Floats.data(), room, &link);
        if (got == 0) {
            DecoderEnded = true;
            break;
        }
        // A gap or damaged data: what follows is not what the file holds.
        if (got < 0)
            failDecoding(readFailure(got));
        // A later link with another channel count cannot be delivered as
        // the format announced for the file (op_read_float gives its layout;
        // a stream that cannot seek shows its links only as they come).
        if (op_channel_count(Decoder->file, link) != static_cast<int>(Channels))
            failDecoding(QString("link %1 of the chain has %2 channels")
                             .arg(link + 1)
                             .arg(op_channel_count(Decoder->file, link)));
        const size_t count = static_cast<size_t>(got) * Channels;
        uint8_t* out = Buffer.data() + BufEnd;
        for (size_t i = 0; i < count; ++i) {
            const float v = std::clamp(Floats[i] * 32768.0f, -32768.0f, 32767.0f);
            const auto u = static_cast<uint16_t>(static_cast<int16_t>(std::lrint(v)));
            *out++ = static_cast<uint8_t>(u);
            *out++ = static_cast<uint8_t>(u >> 8);
        }
        BufEnd += static_cast<uint32_t>(count * 2);
        endAtStatedSize();
    }
}

void TOpusIn::DoGetData(void*& buffer, uint32_t& bytes)
{
    handOutBlock(Buffer.data(), buffer, bytes);
}

bool TOpusIn::DoSeek(int64_t& sampleNum)
{
    OpenFile();
    if (!Decoder)
        return false;
    const bool ok = op_pcm_seek(Decoder->file, sampleNum) == 0;
    resetBlock();
    return ok;
}

void TOpusIn::closeDecoder()
{
    Decoder.reset();  // op_free
}

}  // namespace dw
