#include "platform/CompressionManager.h"

#include "platform/FfmpegLibrary.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

namespace dw::acm {

namespace {

uint16_t get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t get32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
void put16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void put32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// The parsed fixed part of a format description.
struct Format {
    uint16_t tag = 0;
    uint16_t channels = 0;
    uint32_t rate = 0;
    uint32_t avgBytes = 0;
    uint16_t blockAlign = 0;
    uint16_t bits = 0;
    std::span<const uint8_t> extra;
};

// Reads a description; false when it is too short. A 16-byte description
// (no extra-size field) is accepted as having no extra bytes.
bool parseFormat(std::span<const uint8_t> f, Format& out)
{
    if (f.size() < 16)
        return false;
    out.tag = get16(&f[0]);
    out.channels = get16(&f[2]);
    out.rate = get32(&f[4]);
    out.avgBytes = get32(&f[8]);
    out.blockAlign = get16(&f[12]);
    out.bits = get16(&f[14]);
    out.extra = {};
    if (f.size() >= kFormatHeaderSize) {
        const size_t extra = std::min<size_t>(get16(&f[16]), f.size() - kFormatHeaderSize);
        out.extra = f.subspan(kFormatHeaderSize, extra);
    }
    return true;
}

AVCodecID codecForTag(const ffmpeg::Api& ff, uint16_t tag)
{
    const AVCodecTag* const tables[] = {ff.avformat_get_riff_audio_tags(), nullptr};
    return ff.av_codec_get_id(tables, tag);
}

// The decoder's entry points, or nullptr when a library is missing; the
// first failure of the process is also written to the log, naming the
// library, since the callers only see a result code.
const ffmpeg::Api* decoderLibraries()
{
    static std::atomic<bool> warned{false};
    QString failure;
    const ffmpeg::Api* ff = ffmpeg::LoadLibraries(&failure);
    if (!ff && !warned.exchange(true))
        qWarning("%s", qPrintable(failure));
    return ff;
}

// Decoded output larger than this is cut off (a guard against hostile files).
constexpr uint64_t kMaxTotalOutput = 1ull << 30;

}  // namespace

class AcmStream {
public:
    explicit AcmStream(const ffmpeg::Api& ff) : ff_(ff) {}
    AcmStream(const AcmStream&) = delete;
    AcmStream& operator=(const AcmStream&) = delete;

    ~AcmStream()
    {
        ff_.av_packet_free(&packet_);
        ff_.av_frame_free(&frame_);
        if (parser_)
            ff_.av_parser_close(parser_);
        ff_.swr_free(&swr_);
        ff_.avcodec_free_context(&ctx_);
    }

    MMRESULT open(const Format& src)
    {
        src_ = src;
        const AVCodecID id = codecForTag(ff_, src.tag);
        if (id == AV_CODEC_ID_NONE)
            return ACMERR_NOTPOSSIBLE;
        const AVCodec* codec = ff_.avcodec_find_decoder(id);
        if (!codec)
            return ACMERR_NOTPOSSIBLE;
        ctx_ = ff_.avcodec_alloc_context3(codec);
        packet_ = ff_.av_packet_alloc();
        frame_ = ff_.av_frame_alloc();
        if (!ctx_ || !packet_ || !frame_)
            return MMSYSERR_NOMEM;
        ctx_->sample_rate = static_cast<int>(std::min<uint32_t>(src.rate, INT32_MAX));
        ff_.av_channel_layout_default(&ctx_->ch_layout, src.channels);
        ctx_->block_align = src.blockAlign;
        ctx_->bit_rate = static_cast<int64_t>(src.avgBytes) * 8;
        ctx_->bits_per_coded_sample = src.bits;
        if (!src.extra.empty()) {
            ctx_->extradata =
                static_cast<uint8_t*>(ff_.av_mallocz(src.extra.size() + AV_INPUT_BUFFER_PADDING_SIZE));
            if (!ctx_->extradata)
                return MMSYSERR_NOMEM;
            std::memcpy(ctx_->extradata, src.extra.data(), src.extra.size());
            ctx_->extradata_size = static_cast<int>(src.extra.size());
        }
        if (ff_.avcodec_open2(ctx_, codec, nullptr) < 0)
            return ACMERR_NOTPOSSIBLE;
        parser_ = ff_.av_parser_init(id);
        return MMSYSERR_NOERROR;
    }

    // Feeds source bytes through the parser (or in block-sized packets).
    void feed(const uint8_t* data, size_t size, bool end)
    {
        if (parser_) {
            // The parser reads a little past its input: give it padded copies.
            if (size > (size_t(1) << 31))
                return;  // far beyond any WAV data chunk
            std::vector<uint8_t> padded(size + AV_INPUT_BUFFER_PADDING_SIZE, 0);
            if (size)
                std::memcpy(padded.data(), data, size);
            const uint8_t* p = padded.data();
            size_t left = size;
            while (left > 0 || end) {
                uint8_t* out = nullptr;
                int outSize = 0;
                const int used = ff_.av_parser_parse2(parser_, ctx_, &out, &outSize, left ? p : nullptr,
                                                      static_cast<int>(std::min<size_t>(left, INT32_MAX)),
                                                      AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
                if (used < 0)
                    break;
                p += used;
                left -= static_cast<size_t>(used);
                if (outSize > 0)
                    decodePacket(out, outSize);
                if (left == 0 && (outSize == 0 || !end))
                    break;
                if (used == 0 && outSize == 0)
                    break;
            }
        } else {
            carry_.insert(carry_.end(), data, data + size);
            // Block codecs take one block per packet; tiny units (sample
            // formats) are grouped so that packets are not absurdly small.
            const size_t unit = src_.blockAlign ? src_.blockAlign : 4096;
            size_t chunk = unit;
            if (unit < 64)
                chunk = unit * (4096 / unit);
            size_t at = 0;
            while (carry_.size() - at >= chunk) {
                decodePacket(carry_.data() + at, static_cast<int>(chunk));
                at += chunk;
            }
            if (end && carry_.size() > at) {
                // A short final block: the block decoders take what is there.
                decodePacket(carry_.data() + at, static_cast<int>(carry_.size() - at));
                at = carry_.size();
            }
            carry_.erase(carry_.begin(), carry_.begin() + static_cast<std::ptrdiff_t>(at));
        }
        if (end)
            drain();
    }

    // Moves ready output into dst; returns the bytes given.
    uint32_t take(uint8_t* dst, uint32_t capacity)
    {
        const uint32_t frame = 2u * std::max<uint16_t>(src_.channels, 1);
        const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(capacity - capacity % frame, pending()));
        if (n)
            std::memcpy(dst, pending_.data() + pendingOff_, n);
        pendingOff_ += n;
        if (pendingOff_ == pending_.size()) {
            pending_.clear();
            pendingOff_ = 0;
        } else if (pendingOff_ > (1u << 20) && pendingOff_ > pending_.size() / 2) {
            pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(pendingOff_));
            pendingOff_ = 0;
        }
        return n;
    }

    uint64_t pending() const { return pending_.size() - pendingOff_; }
    const Format& source() const { return src_; }
    bool busy = false;

private:
    void decodePacket(const uint8_t* data, int size)
    {
        std::vector<uint8_t> padded(static_cast<size_t>(size) + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        std::memcpy(padded.data(), data, static_cast<size_t>(size));
        packet_->data = padded.data();
        packet_->size = size;
        // A rejected packet (corrupt data) is skipped.
        if (ff_.avcodec_send_packet(ctx_, packet_) == 0)
            receiveFrames();
        packet_->data = nullptr;
        packet_->size = 0;
    }

    void drain()
    {
        if (ff_.avcodec_send_packet(ctx_, nullptr) == 0)
            receiveFrames();
    }

    void receiveFrames()
    {
        while (ff_.avcodec_receive_frame(ctx_, frame_) == 0) {
            appendFrame();
            ff_.av_frame_unref(frame_);
        }
    }

    void appendFrame()
    {
        // Frames whose shape differs from the declared format are dropped:
        // the output format was promised to the caller.
        if (frame_->ch_layout.nb_channels != src_.channels || frame_->nb_samples <= 0)
            return;
        if (!swr_) {
            AVChannelLayout layout;
            ff_.av_channel_layout_default(&layout, src_.channels);
            if (ff_.swr_alloc_set_opts2(&swr_, &layout, AV_SAMPLE_FMT_S16, frame_->sample_rate,
                                        &frame_->ch_layout, static_cast<AVSampleFormat>(frame_->format),
                                        frame_->sample_rate, 0, nullptr) < 0 ||
                ff_.swr_init(swr_) < 0) {
                ff_.swr_free(&swr_);
                return;
            }
            swrFormat_ = frame_->format;
            swrRate_ = frame_->sample_rate;
        }
        if (frame_->format != swrFormat_ || frame_->sample_rate != swrRate_)
            return;
        const size_t bytes = static_cast<size_t>(frame_->nb_samples) * src_.channels * 2;
        if (total_ + bytes > kMaxTotalOutput)
            return;
        std::vector<uint8_t> buf(bytes + 64);
        uint8_t* outPlanes[1] = {buf.data()};
        const int got = ff_.swr_convert(swr_, outPlanes, frame_->nb_samples,
                                        const_cast<const uint8_t**>(frame_->extended_data), frame_->nb_samples);
        if (got <= 0)
            return;
        const size_t gotBytes = static_cast<size_t>(got) * src_.channels * 2;
        pending_.insert(pending_.end(), buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(gotBytes));
        total_ += gotBytes;
    }

    const ffmpeg::Api& ff_;
    Format src_;
    AVCodecContext* ctx_ = nullptr;
    AVCodecParserContext* parser_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    SwrContext* swr_ = nullptr;
    int swrFormat_ = -1;
    int swrRate_ = 0;
    std::vector<uint8_t> carry_;
    std::vector<uint8_t> pending_;
    size_t pendingOff_ = 0;
    uint64_t total_ = 0;
};

void AcmStreamDeleter::operator()(AcmStream* s) const
{
    delete s;
}

MMRESULT acmMetrics(uint32_t metric, uint32_t& value)
{
    if (metric != ACM_METRIC_MAX_SIZE_FORMAT)
        return MMSYSERR_INVALPARAM;
    value = kMaxFormatSize;
    return MMSYSERR_NOERROR;
}

bool canDecodeTag(uint16_t formatTag)
{
    const ffmpeg::Api* ff = decoderLibraries();
    if (!ff)
        return false;
    const AVCodecID id = codecForTag(*ff, formatTag);
    return id != AV_CODEC_ID_NONE && ff->avcodec_find_decoder(id) != nullptr;
}

QString acmLibraryFailure()
{
    QString failure;
    ffmpeg::LoadLibraries(&failure);
    return failure;
}

MMRESULT acmFormatSuggest(std::span<const uint8_t> src, std::span<uint8_t> dst, uint32_t flags)
{
    Format f;
    if (!parseFormat(src, f) || dst.size() < kFormatHeaderSize)
        return MMSYSERR_INVALPARAM;
    if ((flags & ACM_FORMATSUGGESTF_WFORMATTAG) && get16(dst.data()) != 1)
        return ACMERR_NOTPOSSIBLE;
    if (!decoderLibraries())
        return MMSYSERR_ERROR;
    if (f.channels == 0 || f.channels > 8 || f.rate == 0 || !canDecodeTag(f.tag))
        return ACMERR_NOTPOSSIBLE;
    std::fill(dst.begin(), dst.end(), uint8_t{0});
    const uint16_t align = static_cast<uint16_t>(2 * f.channels);
    put16(&dst[0], 1);
    put16(&dst[2], f.channels);
    put32(&dst[4], f.rate);
    put32(&dst[8], f.rate * align);
    put16(&dst[12], align);
    put16(&dst[14], 16);
    put16(&dst[16], 0);
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamOpen(HACMSTREAM& stream, std::span<const uint8_t> src, std::span<const uint8_t> dst,
                       uint32_t flags)
{
    stream.reset();
    Format in, out;
    if (!parseFormat(src, in) || !parseFormat(dst, out))
        return MMSYSERR_INVALPARAM;
    if (out.tag != 1 || out.bits != 16 || out.channels != in.channels || out.rate != in.rate ||
        in.channels == 0 || in.channels > 8 || in.rate == 0)
        return ACMERR_NOTPOSSIBLE;
    const ffmpeg::Api* ff = decoderLibraries();
    if (!ff)
        return MMSYSERR_ERROR;
    HACMSTREAM s(new AcmStream(*ff));
    const MMRESULT r = s->open(in);
    if (r != MMSYSERR_NOERROR)
        return r;
    stream = std::move(s);
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamSize(AcmStream* stream, uint32_t input, uint32_t& output, uint32_t flags)
{
    if (!stream)
        return MMSYSERR_INVALHANDLE;
    if (flags != ACM_STREAMSIZEF_SOURCE)
        return MMSYSERR_INVALFLAG;
    const Format& f = stream->source();
    const uint64_t outRate = static_cast<uint64_t>(f.rate) * f.channels * 2;
    // Compressed rates are at least a byte per 64 output bytes; an absent or
    // absurd average rate falls back to a generous factor.
    uint64_t estimate;
    if (f.avgBytes > 0 && outRate / f.avgBytes <= 64)
        estimate = static_cast<uint64_t>(input) * outRate / f.avgBytes;
    else
        estimate = static_cast<uint64_t>(input) * 16;
    estimate += 1152 * 2 * static_cast<uint64_t>(f.channels);  // one frame of slack
    estimate -= estimate % (2u * f.channels);
    output = static_cast<uint32_t>(std::min<uint64_t>(estimate, 64u << 20));
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamPrepareHeader(AcmStream* stream, ACMSTREAMHEADER& header, uint32_t)
{
    if (!stream)
        return MMSYSERR_INVALHANDLE;
    header.fdwStatus |= ACMSTREAMHEADER_STATUSF_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamConvert(AcmStream* stream, ACMSTREAMHEADER& header, uint32_t flags)
{
    if (!stream)
        return MMSYSERR_INVALHANDLE;
    if (!(header.fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED))
        return ACMERR_UNPREPARED;
    if ((header.cbSrcLength && !header.pbSrc) || (header.cbDstLength && !header.pbDst))
        return MMSYSERR_INVALPARAM;
    header.fdwStatus &= ~ACMSTREAMHEADER_STATUSF_DONE;
    if (header.cbSrcLength || (flags & ACM_STREAMCONVERTF_END))
        stream->feed(header.pbSrc, header.cbSrcLength, (flags & ACM_STREAMCONVERTF_END) != 0);
    header.cbSrcLengthUsed = header.cbSrcLength;
    header.cbDstLengthUsed = stream->take(header.pbDst, header.cbDstLength);
    header.fdwStatus |= ACMSTREAMHEADER_STATUSF_DONE;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamUnprepareHeader(AcmStream* stream, ACMSTREAMHEADER& header, uint32_t)
{
    if (!stream)
        return MMSYSERR_INVALHANDLE;
    if (!(header.fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED))
        return ACMERR_UNPREPARED;
    header.fdwStatus &= ~ACMSTREAMHEADER_STATUSF_PREPARED;
    return MMSYSERR_NOERROR;
}

uint64_t acmStreamPending(AcmStream* stream)
{
    return stream ? stream->pending() : 0;
}

MMRESULT acmStreamClose(HACMSTREAM& stream, uint32_t)
{
    if (!stream)
        return MMSYSERR_INVALHANDLE;
    stream.reset();
    return MMSYSERR_NOERROR;
}

}  // namespace dw::acm
