#include "audio/formats/OpusOut.h"

#include "audio/formats/FlacComments.h"
#include "audio/stream/AuException.h"
#include "tags/VorbisTags.h"

#include <opusenc.h>

#include <algorithm>

namespace dw {

namespace {


struct CommentsDelete {
    void operator()(OggOpusComments* c) const { ope_comments_destroy(c); }
};

}  // namespace

// The encoder with the destination its callbacks write (the client data is
// this record, which outlives every call).
struct TOpusEncoder {
    TOpusEncoder() = default;
    ~TOpusEncoder()
    {
        if (encoder)
            ope_encoder_destroy(encoder);
    }
    TOpusEncoder(const TOpusEncoder&) = delete;
    TOpusEncoder& operator=(const TOpusEncoder&) = delete;

    OggOpusEnc* encoder = nullptr;
    TStream* stream = nullptr;
    bool drained = false;
    QString writeError;  // a failure of the destination stream

    // No exception may cross the library: a failing stream answers 1.
    static int write(void* client, const unsigned char* ptr, opus_int32 len)
    {
        auto* self = static_cast<TOpusEncoder*>(client);
        if (len < 0)
            return 1;
        try {
            if (self->stream->Write(ptr, len) == len)
                return 0;
            self->writeError = QStringLiteral("Error writing opus file");
        } catch (const std::exception& e) {
            self->writeError = ExceptionText(e);
        }
        return 1;
    }
    // The stream is released by the component.
    static int close(void*) { return 0; }
};

TOpusOut::TOpusOut() = default;

TOpusOut::~TOpusOut()
{
    Stop(false);
}

void TOpusOut::SetBitRate(int kbps)
{
    BitRate = std::clamp(kbps, kMinBitRate, kMaxBitRate);
}

void TOpusOut::Prepare()
{
    beginRun();
    const uint32_t rate = Input->GetSampleRate();
    if (channels_ < 1 || channels_ > 8)
        throw EAuException(QString("%1: Opus is written from 1 to 8 channels, not %2").arg(FileName).arg(channels_));
    if (bits_ != 8 && bits_ != 16 && bits_ != 24 && bits_ != 32)
        throw EAuException(QString("%1: Opus is written from 8, 16, 24 or 32-bit samples, not %2").arg(FileName).arg(bits_));
    if (rate < 1 || rate > 768000)
        throw EAuException(QString("%1: sample rate %2 is out of the Opus encoder's range").arg(FileName).arg(rate));
    takeFrameSize();

    std::unique_ptr<OggOpusComments, CommentsDelete> comments(ope_comments_create());
    if (!comments)
        throw EAuException(QString("%1: out of memory").arg(FileName));
    for (const auto& [name, value] : CommentPairs(*CommentTags))
        if (ope_comments_add(comments.get(), name.constData(), value.constData()) != OPE_OK)
            throw EAuException(QString("%1: comment %2 cannot be stored").arg(FileName, QString::fromUtf8(name)));

    auto enc = std::make_unique<TOpusEncoder>();
    enc->stream = Stream;
    const OpusEncCallbacks callbacks{&TOpusEncoder::write, &TOpusEncoder::close};
    // Mapping family 0 holds mono and stereo; 1 the surround layouts up to 8.
    const int family = channels_ <= 2 ? 0 : 1;
    int error = OPE_OK;
    enc->encoder = ope_encoder_create_callbacks(&callbacks, enc.get(), comments.get(), static_cast<opus_int32>(rate),
                                                channels_, family, &error);
    if (!enc->encoder)
        throw EAuException(QString("%1: the Opus encoder did not start: %2").arg(FileName, ope_strerror(error)));
    if (ope_encoder_ctl(enc->encoder, OPUS_SET_BITRATE(BitRate * 1000)) != OPE_OK ||
        ope_encoder_ctl(enc->encoder, OPUS_SET_VBR(Vbr ? 1 : 0)) != OPE_OK ||
        (Vbr && ope_encoder_ctl(enc->encoder, OPUS_SET_VBR_CONSTRAINT(0)) != OPE_OK))
        throw EAuException(QString("%1: the Opus encoder refused bit rate %2 kbit/s").arg(FileName).arg(BitRate));
    // The input's real resolution (the library takes 8 to 24 bits): below it
    // there is only rounding noise, which the encoder then spends no bits on.
    if (ope_encoder_ctl(enc->encoder, OPUS_SET_LSB_DEPTH(std::clamp(bits_, 8, 24))) != OPE_OK)
        throw EAuException(QString("%1: the Opus encoder refused %2-bit input").arg(FileName).arg(bits_));
    Encoder = std::move(enc);
}

void TOpusOut::encode(const uint8_t* data, uint32_t frames)
{
    const size_t count = size_t(frames) * static_cast<size_t>(channels_);
    samples_.resize(count);
    float* out = samples_.data();
    switch (bits_) {
    case 8:
        for (size_t i = 0; i < count; ++i)
            out[i] = (static_cast<int>(data[i]) - 128) / 128.0f;
        break;
    case 16:
        for (size_t i = 0; i < count; ++i, data += 2)
            out[i] = static_cast<int16_t>(data[0] | (data[1] << 8)) / 32768.0f;
        break;
    case 24:
        for (size_t i = 0; i < count; ++i, data += 3)
            out[i] = (static_cast<int32_t>((data[0] << 8) | (data[1] << 16) | (uint32_t(data[2]) << 24)) >> 8) /
                     8388608.0f;
        break;
    default:  // 32-bit
        for (size_t i = 0; i < count; ++i, data += 4) {
            const uint32_t u = data[0] | (data[1] << 8) | (data[2] << 16) | (uint32_t(data[3]) << 24);
            out[i] = static_cast<float>(static_cast<int32_t>(u) / 2147483648.0);
        }
        break;
    }
    const int r = ope_encoder_write_float(Encoder->encoder, out, static_cast<int>(frames));
    if (r != OPE_OK)
        throw EAuException(QString("%1: Opus encoding failed: %2")
                               .arg(FileName, Encoder->writeError.isEmpty() ? QString(ope_strerror(r))
                                                                            : Encoder->writeError));
}

void TOpusOut::endStream()
{
    if (!Encoder || Encoder->drained)
        return;
    Encoder->drained = true;
    // Encodes what the library holds and writes the last page.
    const int r = ope_encoder_drain(Encoder->encoder);
    if (r != OPE_OK)
        throw EAuException(QString("%1: Opus encoding failed: %2")
                               .arg(FileName, Encoder->writeError.isEmpty() ? QString(ope_strerror(r))
                                                                            : Encoder->writeError));
}

void TOpusOut::dropEncoder()
{
    Encoder.reset();
    samples_.clear();
}

}  // namespace dw
