#include "audio/formats/FlacOut.h"

#include "audio/formats/FlacComments.h"
#include "audio/stream/AuException.h"
#include "tags/VorbisTags.h"

#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>

#include <algorithm>
#include <cstring>

namespace dw {

namespace {

// Seconds between seek points.
constexpr uint32_t kSeekSpacing = 10;
// Room left after the comments so tag editors can grow them in place.
constexpr unsigned kPadding = 4096;

struct MetadataDelete {
    void operator()(FLAC__StreamMetadata* m) const { FLAC__metadata_object_delete(m); }
};
using MetadataPtr = std::unique_ptr<FLAC__StreamMetadata, MetadataDelete>;

}  // namespace

// The encoder and the metadata blocks it refers to until it is finished.
struct TFlacEncoder {
    TFlacEncoder() : encoder(FLAC__stream_encoder_new()) {}
    ~TFlacEncoder()
    {
        if (encoder)
            FLAC__stream_encoder_delete(encoder);  // finishes an unfinished stream first
    }
    TFlacEncoder(const TFlacEncoder&) = delete;
    TFlacEncoder& operator=(const TFlacEncoder&) = delete;

    FLAC__StreamEncoder* encoder;
    TStream* stream = nullptr;  // the destination, written by the callbacks
    std::vector<MetadataPtr> blocks;
    bool finished = false;
    QString writeError;  // a failure of the destination stream
};

// The encoder writes the destination through these (the client data is the
// TFlacEncoder record, which outlives every call). No exception may cross
// the library: a failing stream answers an error status.
struct TFlacOutCallbacks {
    static FLAC__StreamEncoderWriteStatus write(const FLAC__StreamEncoder*, const FLAC__byte buffer[], size_t bytes,
                                                uint32_t, uint32_t, void* client)
    {
        auto* self = static_cast<TFlacEncoder*>(client);
        try {
            if (self->stream->Write(buffer, static_cast<int64_t>(bytes)) == static_cast<int64_t>(bytes))
                return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
            self->writeError = QStringLiteral("Error writing flac file");
        } catch (const std::exception& e) {
            self->writeError = ExceptionText(e);
        }
        return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
    }

    static FLAC__StreamEncoderSeekStatus seek(const FLAC__StreamEncoder*, FLAC__uint64 offset, void* client)
    {
        auto* self = static_cast<TFlacEncoder*>(client);
        try {
            return self->stream->Seek(static_cast<int64_t>(offset), TSeekOrigin::soBeginning) ==
                           static_cast<int64_t>(offset)
                       ? FLAC__STREAM_ENCODER_SEEK_STATUS_OK
                       : FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
        } catch (const std::exception&) {
            return FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
        }
    }

    static FLAC__StreamEncoderTellStatus tell(const FLAC__StreamEncoder*, FLAC__uint64* offset, void* client)
    {
        auto* self = static_cast<TFlacEncoder*>(client);
        try {
            const int64_t pos = self->stream->GetPosition();
            if (pos < 0)
                return FLAC__STREAM_ENCODER_TELL_STATUS_ERROR;
            *offset = static_cast<FLAC__uint64>(pos);
            return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
        } catch (const std::exception&) {
            return FLAC__STREAM_ENCODER_TELL_STATUS_ERROR;
        }
    }
};

TFlacOut::TFlacOut() = default;

TFlacOut::~TFlacOut()
{
    Stop(false);
}

void TFlacOut::SetCompressionLevel(int level)
{
    CompressionLevel = std::clamp(level, kMinLevel, kMaxLevel);
}

void TFlacOut::Prepare()
{
    beginRun();
    const uint32_t rate = Input->GetSampleRate();
    if (channels_ < 1 || channels_ > 8)
        throw EAuException(QString("%1: FLAC takes 1 to 8 channels, not %2").arg(FileName).arg(channels_));
    if (bits_ != 8 && bits_ != 16 && bits_ != 24)
        throw EAuException(QString("%1: FLAC is written from 8, 16 or 24-bit samples, not %2").arg(FileName).arg(bits_));
    if (rate < 1 || rate > FLAC__MAX_SAMPLE_RATE)
        throw EAuException(QString("%1: sample rate %2 is out of FLAC's range").arg(FileName).arg(rate));
    takeFrameSize();

    auto enc = std::make_unique<TFlacEncoder>();
    FLAC__StreamEncoder* e = enc->encoder;
    if (!e)
        throw EAuException(QString("%1: the FLAC encoder could not be created").arg(FileName));
    bool ok = FLAC__stream_encoder_set_channels(e, static_cast<uint32_t>(channels_)) &&
              FLAC__stream_encoder_set_bits_per_sample(e, static_cast<uint32_t>(bits_)) &&
              FLAC__stream_encoder_set_sample_rate(e, rate) &&
              FLAC__stream_encoder_set_compression_level(e, static_cast<uint32_t>(CompressionLevel)) &&
              FLAC__stream_encoder_set_verify(e, Verify);
    const int64_t size = Input->GetSize();
    const uint64_t totalFrames = size > 0 ? static_cast<uint64_t>(size) / frameBytes_ : 0;
    if (totalFrames > 0)
        ok = ok && FLAC__stream_encoder_set_total_samples_estimate(e, totalFrames);

    // Metadata: the comments, a seek table when the length is known, padding.
    MetadataPtr comments(FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT));
    if (!comments)
        throw EAuException(QString("%1: out of memory").arg(FileName));
    for (const auto& [name, value] : CommentPairs(*CommentTags)) {
        FLAC__StreamMetadata_VorbisComment_Entry entry;
        if (!FLAC__metadata_object_vorbiscomment_entry_from_name_value_pair(&entry, name.constData(),
                                                                             value.constData()) ||
            !FLAC__metadata_object_vorbiscomment_append_comment(comments.get(), entry, /*copy=*/false))
            throw EAuException(QString("%1: comment %2 cannot be stored").arg(FileName, QString::fromUtf8(name)));
    }
    enc->blocks.push_back(std::move(comments));
    if (totalFrames > 0) {
        MetadataPtr table(FLAC__metadata_object_new(FLAC__METADATA_TYPE_SEEKTABLE));
        if (!table ||
            !FLAC__metadata_object_seektable_template_append_spaced_points_by_samples(table.get(), kSeekSpacing * rate,
                                                                                      totalFrames) ||
            !FLAC__metadata_object_seektable_template_sort(table.get(), /*compact=*/true))
            throw EAuException(QString("%1: the seek table cannot be made").arg(FileName));
        enc->blocks.push_back(std::move(table));
    }
    MetadataPtr padding(FLAC__metadata_object_new(FLAC__METADATA_TYPE_PADDING));
    if (!padding)
        throw EAuException(QString("%1: out of memory").arg(FileName));
    padding->length = kPadding;
    enc->blocks.push_back(std::move(padding));
    std::vector<FLAC__StreamMetadata*> list;
    for (const auto& b : enc->blocks)
        list.push_back(b.get());
    ok = ok && FLAC__stream_encoder_set_metadata(e, list.data(), static_cast<uint32_t>(list.size()));
    if (!ok)
        throw EAuException(QString("%1: the FLAC encoder refused its settings").arg(FileName));

    enc->stream = Stream;
    Encoder = std::move(enc);
    const FLAC__StreamEncoderInitStatus st = FLAC__stream_encoder_init_stream(
        e, &TFlacOutCallbacks::write, &TFlacOutCallbacks::seek, &TFlacOutCallbacks::tell, nullptr, Encoder.get());
    if (st != FLAC__STREAM_ENCODER_INIT_STATUS_OK)
        throw EAuException(
            QString("%1: the FLAC encoder did not start: %2").arg(FileName, FLAC__StreamEncoderInitStatusString[st]));
}

void TFlacOut::encode(const uint8_t* data, uint32_t frames)
{
    const size_t count = size_t(frames) * static_cast<size_t>(channels_);
    samples_.resize(count);
    int32_t* out = samples_.data();
    switch (bits_) {
    case 8:
        for (size_t i = 0; i < count; ++i)
            out[i] = static_cast<int32_t>(data[i]) - 128;
        break;
    case 16:
        for (size_t i = 0; i < count; ++i, data += 2)
            out[i] = static_cast<int16_t>(data[0] | (data[1] << 8));
        break;
    default:  // 24-bit little-endian signed
        for (size_t i = 0; i < count; ++i, data += 3)
            out[i] = static_cast<int32_t>((data[0] << 8) | (data[1] << 16) | (uint32_t(data[2]) << 24)) >> 8;
        break;
    }
    if (!FLAC__stream_encoder_process_interleaved(Encoder->encoder, out, frames)) {
        const FLAC__StreamEncoderState st = FLAC__stream_encoder_get_state(Encoder->encoder);
        const QString why = !Encoder->writeError.isEmpty() ? Encoder->writeError
                                                           : QString::fromLatin1(FLAC__StreamEncoderStateString[st]);
        throw EAuException(QString("%1: FLAC encoding failed: %2").arg(FileName, why));
    }
}

void TFlacOut::endStream()
{
    if (!Encoder || Encoder->finished)
        return;
    Encoder->finished = true;
    // Writes the last frame and rewrites STREAMINFO (length, MD5) and the seek table.
    if (!FLAC__stream_encoder_finish(Encoder->encoder)) {
        const FLAC__StreamEncoderState st = FLAC__stream_encoder_get_state(Encoder->encoder);
        const QString why = !Encoder->writeError.isEmpty() ? Encoder->writeError
                                                           : QString::fromLatin1(FLAC__StreamEncoderStateString[st]);
        throw EAuException(QString("%1: FLAC encoding failed: %2").arg(FileName, why));
    }
}

void TFlacOut::dropEncoder()
{
    Encoder.reset();
    samples_.clear();
}

}  // namespace dw
