#include "audio/formats/VorbisEncoder.h"

#include "audio/stream/AuException.h"

namespace dw {

namespace {

constexpr const char* kBitRateRefused = "Vorbis codec setup with the requested bitrate failed. Try a lower bitrate.";
constexpr const char* kQualityRefused = "Vorbis codec setup with the requested quality failed. Try another quality.";

// Channel counts and rates the library can take at all.
bool formatUsable(int channels, long rate)
{
    return channels >= 1 && channels <= 255 && rate >= 1 && rate <= 1000000;
}

}  // namespace

TVorbisEncoder::TVorbisEncoder(const vorbis::Api& api) : api_(api)
{
    api_.vorbis_info_init(&info_);
    infoInit_ = true;
    api_.vorbis_comment_init(&comment_);
    commentInit_ = true;
}

TVorbisEncoder::~TVorbisEncoder()
{
    if (streamInit_)
        api_.ogg_stream_clear(&stream_);
    if (blockInit_)
        api_.vorbis_block_clear(&block_);
    if (dspInit_)
        api_.vorbis_dsp_clear(&dsp_);
    if (commentInit_)
        api_.vorbis_comment_clear(&comment_);
    if (infoInit_)
        api_.vorbis_info_clear(&info_);
}

void TVorbisEncoder::refuse(const char* message)
{
    throw EAuException(message);
}

void TVorbisEncoder::SetUpQuality(int channels, long rate, float quality)
{
    if (!formatUsable(channels, rate))
        refuse(kQualityRefused);
    if (api_.vorbis_encode_setup_vbr(&info_, channels, rate, quality) != 0 ||
        api_.vorbis_encode_setup_init(&info_) != 0)
        refuse(kQualityRefused);
}

void TVorbisEncoder::SetUpBitRate(int channels, long rate, long maximum, long nominal, long minimum)
{
    if (!formatUsable(channels, rate))
        refuse(kBitRateRefused);
    if (api_.vorbis_encode_init(&info_, channels, rate, maximum, nominal, minimum) != 0)
        refuse(kBitRateRefused);
}

void TVorbisEncoder::AddComment(const QByteArray& name, const QByteArray& value)
{
    api_.vorbis_comment_add_tag(&comment_, name.constData(), value.constData());
}

void TVorbisEncoder::Start(int serial, const PageSink& sink)
{
    if (api_.vorbis_analysis_init(&dsp_, &info_) != 0)
        refuse(kQualityRefused);
    dspInit_ = true;
    api_.vorbis_block_init(&dsp_, &block_);
    blockInit_ = true;
    api_.ogg_stream_init(&stream_, serial);
    streamInit_ = true;

    ogg_packet ident{}, comments{}, codebooks{};
    api_.vorbis_analysis_headerout(&dsp_, &comment_, &ident, &comments, &codebooks);
    api_.ogg_stream_packetin(&stream_, &ident);
    api_.ogg_stream_packetin(&stream_, &comments);
    api_.ogg_stream_packetin(&stream_, &codebooks);
    // The headers end on a page boundary, so audio starts on a page of its own.
    ogg_page page{};
    while (api_.ogg_stream_flush(&stream_, &page) != 0)
        sink(page);
}

float** TVorbisEncoder::Buffer(int frames)
{
    return api_.vorbis_analysis_buffer(&dsp_, frames);
}

void TVorbisEncoder::Wrote(int frames, const PageSink& sink)
{
    api_.vorbis_analysis_wrote(&dsp_, frames);
    while (api_.vorbis_analysis_blockout(&dsp_, &block_) == 1) {
        api_.vorbis_analysis(&block_, nullptr);
        api_.vorbis_bitrate_addblock(&block_);
        ogg_packet packet{};
        while (api_.vorbis_bitrate_flushpacket(&dsp_, &packet) == 1) {
            api_.ogg_stream_packetin(&stream_, &packet);
            ogg_page page{};
            while (!ended_ && api_.ogg_stream_pageout(&stream_, &page) != 0) {
                sink(page);
                if (api_.ogg_page_eos(&page))
                    ended_ = true;
            }
        }
    }
}

}  // namespace dw
