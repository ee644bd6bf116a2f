#include "audio/formats/FlacIn.h"

#include "audio/formats/FlacComments.h"
#include "audio/formats/FlacStreamStart.h"
#include "audio/stream/AuException.h"
#include "tags/CommonTags.h"
#include "tags/VorbisTags.h"

#include <FLAC/stream_decoder.h>

#include <algorithm>
#include <limits>

namespace dw {

// The decoder record; deleted (finishing the decoder) with the object.
struct TFlacDecoder {
    TFlacDecoder() : decoder(FLAC__stream_decoder_new()) {}
    ~TFlacDecoder()
    {
        if (decoder)
            FLAC__stream_decoder_delete(decoder);
    }
    TFlacDecoder(const TFlacDecoder&) = delete;
    TFlacDecoder& operator=(const TFlacDecoder&) = delete;

    FLAC__StreamDecoder* decoder;
    bool haveInfo = false;
};

// The decoder reads the component's stream through these. No exception may
// cross the library: a failing stream answers an error status.
struct TFlacInCallbacks {
    static FLAC__StreamDecoderReadStatus read(const FLAC__StreamDecoder*, FLAC__byte buffer[], size_t* bytes,
                                              void* client)
    {
        auto* self = static_cast<TFlacIn*>(client);
        if (*bytes == 0 || !self->Stream)
            return FLAC__STREAM_DECODER_READ_STATUS_ABORT;
        try {
            size_t want = std::min<size_t>(*bytes, std::numeric_limits<int32_t>::max());
            if (self->TrailerBytes > 0) {
                const int64_t left = self->streamEnd() - self->Stream->GetPosition();
                want = left > 0 ? std::min<size_t>(want, static_cast<size_t>(left)) : 0;
                if (want == 0) {
                    *bytes = 0;
                    return FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM;
                }
            }
            const int64_t n = self->Stream->Read(buffer, static_cast<int64_t>(want));
            *bytes = n > 0 ? static_cast<size_t>(n) : 0;
            return n > 0 ? FLAC__STREAM_DECODER_READ_STATUS_CONTINUE : FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM;
        } catch (const std::exception& e) {
            self->DecodeError = ExceptionText(e);
            *bytes = 0;
            return FLAC__STREAM_DECODER_READ_STATUS_ABORT;
        }
    }

    static FLAC__StreamDecoderSeekStatus seek(const FLAC__StreamDecoder*, FLAC__uint64 offset, void* client)
    {
        auto* self = static_cast<TFlacIn*>(client);
        if (!self->Seekable || !self->Stream)
            return FLAC__STREAM_DECODER_SEEK_STATUS_UNSUPPORTED;
        try {
            // Offsets count from the stream's start, behind any tag in front.
            const int64_t start = self->StreamStart;
            if (offset > static_cast<FLAC__uint64>(self->streamEnd() - start))
                return FLAC__STREAM_DECODER_SEEK_STATUS_ERROR;
            const int64_t target = static_cast<int64_t>(offset) + start;
            const int64_t pos = self->Stream->Seek(target, TSeekOrigin::soBeginning);
            return pos == target ? FLAC__STREAM_DECODER_SEEK_STATUS_OK : FLAC__STREAM_DECODER_SEEK_STATUS_ERROR;
        } catch (const std::exception&) {
            return FLAC__STREAM_DECODER_SEEK_STATUS_ERROR;
        }
    }

    static FLAC__StreamDecoderTellStatus tell(const FLAC__StreamDecoder*, FLAC__uint64* offset, void* client)
    {
        auto* self = static_cast<TFlacIn*>(client);
        try {
            const int64_t pos = self->Stream ? self->Stream->GetPosition() - self->StreamStart : -1;
            if (pos < 0)
                return FLAC__STREAM_DECODER_TELL_STATUS_ERROR;
            *offset = static_cast<FLAC__uint64>(pos);
            return FLAC__STREAM_DECODER_TELL_STATUS_OK;
        } catch (const std::exception&) {
            return FLAC__STREAM_DECODER_TELL_STATUS_ERROR;
        }
    }

    static FLAC__StreamDecoderLengthStatus length(const FLAC__StreamDecoder*, FLAC__uint64* length, void* client)
    {
        auto* self = static_cast<TFlacIn*>(client);
        try {
            const int64_t size = self->Stream ? self->streamEnd() - self->StreamStart : -1;
            if (size < 0)
                return FLAC__STREAM_DECODER_LENGTH_STATUS_UNSUPPORTED;
            *length = static_cast<FLAC__uint64>(size);
            return FLAC__STREAM_DECODER_LENGTH_STATUS_OK;
        } catch (const std::exception&) {
            return FLAC__STREAM_DECODER_LENGTH_STATUS_ERROR;
        }
    }

    static FLAC__bool eof(const FLAC__StreamDecoder*, void* client)
    {
        auto* self = static_cast<TFlacIn*>(client);
        try {
            return !self->Stream || self->Stream->GetPosition() >= self->streamEnd();
        } catch (const std::exception&) {
            return true;
        }
    }

    static FLAC__StreamDecoderWriteStatus write(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                                const FLAC__int32* const buffer[], void* client)
    {
        auto* self = static_cast<TFlacIn*>(client);
        // A frame that disagrees with STREAMINFO cannot be delivered in the
        // announced format.
        if (frame->header.channels != self->Channels || frame->header.bits_per_sample != self->FileBits) {
            self->DecodeError = QStringLiteral("a frame changes the stream's format");
            return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
        }
        if (frame->header.sample_rate != self->SampleRate) {
            self->DecodeError = QString("the sample rate changes from %1 Hz to %2 Hz within the stream")
                                    .arg(self->SampleRate)
                                    .arg(frame->header.sample_rate);
            return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
        }
        // Frames are numbered by their first sample: a jump means frames
        // were lost between two that both decode.
        if (frame->header.number_type == FLAC__FRAME_NUMBER_TYPE_SAMPLE_NUMBER) {
            const auto first = static_cast<int64_t>(frame->header.number.sample_number);
            if (self->NextSample >= 0 && first != self->NextSample) {
                self->DecodeError = QString("frames are missing (sample %1 follows sample %2)")
                                        .arg(first)
                                        .arg(self->NextSample - 1);
                return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
            }
            self->NextSample = first + frame->header.blocksize;
        }
        try {
            self->take(buffer, frame->header.blocksize, frame->header.channels);
        } catch (const std::exception& e) {
            self->DecodeError = ExceptionText(e);
            return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
        }
        return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
    }

    static void metadata(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* block, void* client)
    {
        auto* self = static_cast<TFlacIn*>(client);
        switch (block->type) {
        case FLAC__METADATA_TYPE_STREAMINFO: {
            const auto& si = block->data.stream_info;
            self->Decoder->haveInfo = true;
            self->Channels = si.channels;
            self->SampleRate = si.sample_rate;
            self->FileBits = si.bits_per_sample;
            self->MinBlock = si.min_blocksize;
            self->MaxBlock = si.max_blocksize;
            self->TotalSamples = static_cast<int64_t>(si.total_samples);
            break;
        }
        case FLAC__METADATA_TYPE_VORBIS_COMMENT: {
            // A stream has one comment block; of a second one (which some
            // tools leave behind) the first stands, as other readers take it.
            if (self->HaveComments)
                break;
            self->HaveComments = true;
            const auto& vc = block->data.vorbis_comment;
            for (uint32_t i = 0; i < vc.num_comments; ++i) {
                const auto& c = vc.comments[i];
                if (c.entry && c.length <= static_cast<uint32_t>(std::numeric_limits<int32_t>::max()))
                    self->RawCommentBytes << QByteArray(reinterpret_cast<const char*>(c.entry),
                                                        static_cast<qsizetype>(c.length));
            }
            break;
        }
        case FLAC__METADATA_TYPE_SEEKTABLE:
            self->SeekPoints = static_cast<int>(block->data.seek_table.num_points);
            break;
        default:
            break;
        }
    }

    // Damaged data: the decoder would skip to the next frame it finds; the
    // first fault is kept, and the reader fails with it.
    static void error(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus status, void* client)
    {
        auto* self = static_cast<TFlacIn*>(client);
        if (!self->DecodeError.isEmpty())
            return;
        switch (status) {
        case FLAC__STREAM_DECODER_ERROR_STATUS_LOST_SYNC:
            self->DecodeError = QStringLiteral("lost sync (data that is not a FLAC frame)");
            break;
        case FLAC__STREAM_DECODER_ERROR_STATUS_BAD_HEADER:
            self->DecodeError = QStringLiteral("a damaged frame header");
            break;
        case FLAC__STREAM_DECODER_ERROR_STATUS_FRAME_CRC_MISMATCH:
            self->DecodeError = QStringLiteral("a frame whose checksum does not match its data");
            break;
        case FLAC__STREAM_DECODER_ERROR_STATUS_UNPARSEABLE_STREAM:
            self->DecodeError = QStringLiteral("data the decoder cannot parse");
            break;
        default:
            self->DecodeError = QStringLiteral("damaged data (decoder error %1)").arg(static_cast<int>(status));
            break;
        }
    }
};

TFlacIn::TFlacIn() = default;

TFlacIn::~TFlacIn()
{
    try {
        CloseFile();
    } catch (...) {
    }
}

uint32_t TFlacIn::FileBitsPerSample()
{
    OpenFile();
    return FileBits;
}

uint32_t TFlacIn::MinBlockSize()
{
    OpenFile();
    return MinBlock;
}

uint32_t TFlacIn::MaxBlockSize()
{
    OpenFile();
    return MaxBlock;
}

int TFlacIn::SeekPointCount()
{
    OpenFile();
    return SeekPoints;
}

void TFlacIn::openDecoder()
{
    const QString name = displayName();
    const auto refuse = [&name](const QString& why) {
        return EAuException(QString("%1: not a usable FLAC file: %2").arg(name, why));
    };
    RawCommentBytes.clear();
    HaveComments = false;
    NextSample = -1;
    SeekPoints = 0;
    DecodeError.clear();
    Channels = SampleRate = FileBits = 0;
    TotalSamples = 0;
    skipTagsInFront();
    auto decoder = std::make_unique<TFlacDecoder>();
    FLAC__StreamDecoder* d = decoder->decoder;
    if (!d)
        throw refuse(QStringLiteral("the decoder could not be created"));
    FLAC__stream_decoder_set_md5_checking(d, false);
    FLAC__stream_decoder_set_metadata_respond(d, FLAC__METADATA_TYPE_VORBIS_COMMENT);
    FLAC__stream_decoder_set_metadata_respond(d, FLAC__METADATA_TYPE_SEEKTABLE);
    Decoder = std::move(decoder);
    const FLAC__StreamDecoderInitStatus st = FLAC__stream_decoder_init_stream(
        d, &TFlacInCallbacks::read, &TFlacInCallbacks::seek, &TFlacInCallbacks::tell, &TFlacInCallbacks::length,
        &TFlacInCallbacks::eof, &TFlacInCallbacks::write, &TFlacInCallbacks::metadata, &TFlacInCallbacks::error, this);
    if (st != FLAC__STREAM_DECODER_INIT_STATUS_OK)
        throw refuse(QString::fromLatin1(FLAC__StreamDecoderInitStatusString[st]));
    const bool read = FLAC__stream_decoder_process_until_end_of_metadata(d);
    const FLAC__StreamDecoderState ds = FLAC__stream_decoder_get_state(d);
    if (!read || !Decoder->haveInfo || !DecodeError.isEmpty()) {
        // Without "fLaC" and its stream information the decoder goes
        // straight to the first frame it finds.
        const bool atFrame = !Decoder->haveInfo && ds == FLAC__STREAM_DECODER_READ_FRAME;
        throw refuse(!DecodeError.isEmpty() ? DecodeError
                     : atFrame ? QStringLiteral("the stream header (\"fLaC\" and the stream information) is "
                                                "missing: the file starts at an audio frame")
                     : Decoder->haveInfo ? QString::fromLatin1(FLAC__StreamDecoderStateString[ds])
                                         : QStringLiteral("no stream information"));
    }
    if (Channels < 1 || Channels > 8 || SampleRate < 1 || FileBits < 4 || FileBits > 32)
        throw refuse(QStringLiteral("stream information out of range"));
    BitsPerSample = (FileBits + 7) / 8 * 8;
    Shift = BitsPerSample - FileBits;
    ReadComments(RawCommentBytes, Comments, *Tags, Common());

    const int64_t frameBytes = static_cast<int64_t>(Channels) * (BitsPerSample / 8);
    // A length STREAMINFO does not state (0) is unknown, and so is one that
    // a time in whole seconds cannot hold (over 136 years: only a sample
    // rate of a few hertz gets there).
    if (TotalSamples <= 0 || TotalSamples > std::numeric_limits<int64_t>::max() / frameBytes ||
        TotalSamples / SampleRate >= std::numeric_limits<uint32_t>::max())
        Size = -1;
    else
        Size = TotalSamples * frameBytes;
    Buffer.clear();
    Taken = 0;
    DecoderEnded = false;
}

int64_t TFlacIn::streamEnd() const
{
    return Stream->GetSize() - TrailerBytes;
}

void TFlacIn::skipTagsInFront()
{
    StreamStart = 0;
    TrailerBytes = 0;
    if (!Seekable || !Stream)
        return;  // the decoder passes over a tag itself as it reads
    const int64_t base = Stream->GetPosition();
    const int64_t end = Id3v2TagsEnd([this, base](int64_t pos, uint8_t* dst, size_t n) {
        Stream->SetPosition(base + pos);
        int64_t got = 0;
        while (got < static_cast<int64_t>(n)) {
            const int64_t r = Stream->Read(dst + got, static_cast<int64_t>(n) - got);
            if (r <= 0)
                return false;
            got += r;
        }
        return true;
    });
    // A tag that claims more than the file holds leaves nothing to decode
    // behind it; the decoder then reads from the start and refuses.
    StreamStart = base + end <= Stream->GetSize() ? base + end : base;
    constexpr int64_t Id3v1Size = 128;
    const int64_t size = Stream->GetSize();
    if (size - Id3v1Size >= StreamStart + 4) {
        uint8_t mark[3] = {};
        Stream->SetPosition(size - Id3v1Size);
        if (Stream->Read(mark, 3) == 3 && mark[0] == 'T' && mark[1] == 'A' && mark[2] == 'G')
            TrailerBytes = Id3v1Size;
    }
    Stream->SetPosition(StreamStart);
}

void TFlacIn::take(const int32_t* const planes[], uint32_t frames, uint32_t channels)
{
    const uint32_t width = BitsPerSample / 8;
    const size_t start = Buffer.size();
    Buffer.resize(start + size_t(frames) * channels * width);
    uint8_t* out = Buffer.data() + start;
    for (uint32_t f = 0; f < frames; ++f)
        for (uint32_t c = 0; c < channels; ++c) {
            const int32_t v = planes[c][f];
            if (width == 1) {
                *out++ = static_cast<uint8_t>((v << Shift) + 128);  // 8-bit WAV samples are unsigned
                continue;
            }
            const auto u = static_cast<uint32_t>(v) << Shift;
            for (uint32_t b = 0; b < width; ++b)
                *out++ = static_cast<uint8_t>(u >> (8 * b));
        }
}

void TFlacIn::DoGetData(void*& buffer, uint32_t& bytes)
{
    if (!Busy)
        throw EAuException("The Stream is not opened");
    if (!Decoder) {
        bytes = 0;
        return;
    }
    if (Taken >= Buffer.size()) {
        Buffer.clear();
        Taken = 0;
        // One frame per call; metadata after the first frame gives nothing.
        while (Buffer.empty() && !DecoderEnded && DecodeError.isEmpty()) {
            const bool ok = FLAC__stream_decoder_process_single(Decoder->decoder);
            const FLAC__StreamDecoderState st = FLAC__stream_decoder_get_state(Decoder->decoder);
            if (!ok || st == FLAC__STREAM_DECODER_END_OF_STREAM || st == FLAC__STREAM_DECODER_ABORTED)
                DecoderEnded = true;
            if (!ok && DecodeError.isEmpty() && st != FLAC__STREAM_DECODER_END_OF_STREAM)
                DecodeError = QString::fromLatin1(FLAC__StreamDecoderStateString[st]);
        }
        // A frame decoded past a fault is not handed out: what lies between
        // is lost.
        if (!DecodeError.isEmpty()) {
            Buffer.clear();
            failDecoding(DecodeError);
        }
        if (Buffer.empty())
            checkEndOfData();
    }
    const size_t held = Buffer.size() - Taken;
    bytes = static_cast<uint32_t>(std::min<size_t>(bytes, held));
    buffer = Buffer.data() + Taken;
    Taken += bytes;
}

bool TFlacIn::DoSeek(int64_t& sampleNum)
{
    OpenFile();
    if (!Decoder || sampleNum < 0)
        return false;
    Buffer.clear();
    Taken = 0;
    DecoderEnded = false;
    DecodeError.clear();
    // The decoder hands the frame holding the target, cut to start at it,
    // to the write callback; it stays in Buffer as the next data.
    NextSample = -1;
    bool ok = FLAC__stream_decoder_seek_absolute(Decoder->decoder, static_cast<FLAC__uint64>(sampleNum));
    // What the search met on its way is not the data read from here on.
    DecodeError.clear();
    if (!ok) {
        Buffer.clear();
        // A failed seek leaves the decoder needing a flush before it reads again.
        if (FLAC__stream_decoder_get_state(Decoder->decoder) == FLAC__STREAM_DECODER_SEEK_ERROR)
            FLAC__stream_decoder_flush(Decoder->decoder);
    }
    return ok;
}

void TFlacIn::closeDecoder()
{
    Decoder.reset();
}

void TFlacIn::afterClose()
{
    Buffer.clear();
    Taken = 0;
}

}  // namespace dw
