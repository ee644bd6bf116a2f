#include "WmaEncoder.h"

#include "FdIo.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <sys/stat.h>

namespace wm8eutil {

namespace {

// The last error FFmpeg logged, so a refusal can be explained on the ERROR line.
std::string g_lastLog;

void logCallback(void*, int level, const char* fmt, va_list args)
{
    if (level > AV_LOG_ERROR)
        return;
    char buf[512];
    std::vsnprintf(buf, sizeof buf, fmt, args);
    std::string line(buf);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    if (!line.empty())
        g_lastLog = line;
}

std::string avError(int code)
{
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, buf, sizeof buf);
    return buf;
}

// Both contexts run over our own I/O contexts (AVFMT_FLAG_CUSTOM_IO), which
// they do not free.
struct InputDeleter {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct OutputDeleter {
    void operator()(AVFormatContext* c) const { avformat_free_context(c); }
};
struct CodecDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwrDeleter {
    void operator()(SwrContext* s) const { swr_free(&s); }
};
struct FifoDeleter {
    void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};

using InputPtr = std::unique_ptr<AVFormatContext, InputDeleter>;
using OutputPtr = std::unique_ptr<AVFormatContext, OutputDeleter>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using SwrPtr = std::unique_ptr<SwrContext, SwrDeleter>;
using FifoPtr = std::unique_ptr<AVAudioFifo, FifoDeleter>;

// True when both names lead to one existing file (same device and inode).
bool sameFile(const std::string& a, const std::string& b)
{
    struct stat x {}, y {};
    return ::stat(a.c_str(), &x) == 0 && ::stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev && x.st_ino == y.st_ino;
}

// The highest bit rate tried when the encoder refuses the profile's own.
constexpr int64_t kHighestFallbackRate = 128000;

// One encode run; each step returns an empty text or the reason it failed.
class Encoder {
public:
    Encoder(const EncodeRequest& r, const EncodeCallbacks& callbacks) : req_(r), cb_(callbacks) {}

    std::string run()
    {
        if (sameFile(req_.input, req_.output))
            return req_.output + ": is the input file itself; the input is never overwritten";
        std::string err;
        if (!(err = openInput()).empty() || !(err = openEncoder()).empty() || !(err = openResampler()).empty())
            return err;
        if (!(err = tempOut_.Create(req_.output)).empty() || !(err = openOutput()).empty())
            return err;
        if (!(err = transcode()).empty())
            return err;
        const int rc = av_write_trailer(out_.get());
        avio_flush(outIo_.get());
        if (tempOut_.WriteError())
            return PathError(req_.output, tempOut_.WriteError());
        if (rc < 0 || outIo_->error < 0)
            return req_.output + ": cannot finish the file (" + avError(rc < 0 ? rc : outIo_->error) + ")";
        out_.reset();
        outIo_.reset();
        return tempOut_.Commit();
    }

private:
    std::string openInput()
    {
        std::string err = inFile_.Open(req_.input);
        if (!err.empty())
            return err;
        inIo_ = inFile_.MakeAvio();
        AVFormatContext* raw = avformat_alloc_context();
        if (!inIo_ || !raw) {
            avformat_free_context(raw);
            return "out of memory";
        }
        raw->pb = inIo_.get();
        raw->flags |= AVFMT_FLAG_CUSTOM_IO;
        // The name only helps to guess the format; the bytes come from inIo_.
        int rc = avformat_open_input(&raw, req_.input.c_str(), nullptr, nullptr);
        if (rc < 0)
            return req_.input + ": cannot read it as audio (" + avError(rc) + ")";
        in_.reset(raw);
        rc = avformat_find_stream_info(in_.get(), nullptr);
        if (rc < 0)
            return req_.input + ": cannot read it as audio (" + avError(rc) + ")";
        const AVCodec* decoder = nullptr;
        streamIndex_ = av_find_best_stream(in_.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
        if (streamIndex_ < 0 || !decoder)
            return req_.input + ": holds no audio this tool can decode";
        dec_.reset(avcodec_alloc_context3(decoder));
        if (!dec_)
            return "out of memory";
        AVStream* st = in_->streams[streamIndex_];
        rc = avcodec_parameters_to_context(dec_.get(), st->codecpar);
        if (rc >= 0)
            rc = avcodec_open2(dec_.get(), decoder, nullptr);
        if (rc < 0)
            return req_.input + ": cannot decode it (" + avError(rc) + ")";
        if (dec_->ch_layout.nb_channels < 1 || dec_->sample_rate < 1)
            return req_.input + ": has no valid channel count or sample rate";
        if (dec_->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
            const int n = dec_->ch_layout.nb_channels;
            av_channel_layout_uninit(&dec_->ch_layout);
            av_channel_layout_default(&dec_->ch_layout, n);
        }
        // Total input length in the decoder's samples, for the progress figure.
        if (st->duration > 0 && st->time_base.den > 0)
            totalSamples_ = av_rescale_q(st->duration, st->time_base, AVRational{1, dec_->sample_rate});
        else if (in_->duration > 0)
            totalSamples_ = av_rescale_q(in_->duration, AVRational{1, AV_TIME_BASE}, AVRational{1, dec_->sample_rate});
        return {};
    }

    // Opens the encoder at the profile's rate, channels and bit rate. A bit
    // rate the encoder refuses as too low (FFmpeg's Windows Media Audio 2
    // encoder wants at least 24 kbit/s) is raised to the lowest one it takes,
    // and a notice says so.
    std::string openEncoder()
    {
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_WMAV2);
        if (!codec)
            return "this system's libavcodec has no Windows Media Audio 2 encoder";
        std::string firstRefusal;
        for (int64_t rate = req_.profile.bitRate; rate <= std::max<int64_t>(req_.profile.bitRate, kHighestFallbackRate);
             rate += 1000) {
            const std::string why = tryEncoder(codec, rate);
            if (why.empty()) {
                if (rate != req_.profile.bitRate && cb_.notice)
                    cb_.notice("Note: " + std::to_string(req_.profile.bitRate / 1000) +
                               " kbit/s is below the lowest bit rate the encoder accepts; encoding at " +
                               std::to_string(rate / 1000) + " kbit/s, " + std::to_string(req_.profile.sampleRate) +
                               " Hz, " + std::to_string(req_.profile.channels) + " channel(s)");
                frameSize_ = enc_->frame_size > 0 ? enc_->frame_size : 2048;
                return {};
            }
            if (firstRefusal.empty())
                firstRefusal = why;
        }
        return "the encoder cannot produce this profile (" + firstRefusal + ")";
    }

    // One attempt to open the encoder; empty text on success, else the reason.
    std::string tryEncoder(const AVCodec* codec, int64_t bitRate)
    {
        enc_.reset(avcodec_alloc_context3(codec));
        if (!enc_)
            return "out of memory";
        enc_->sample_rate = req_.profile.sampleRate;
        av_channel_layout_default(&enc_->ch_layout, req_.profile.channels);
        enc_->bit_rate = bitRate;
        enc_->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
        enc_->time_base = AVRational{1, req_.profile.sampleRate};
        // The ASF muxer stores the codec set-up in the stream header.
        enc_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        g_lastLog.clear();
        const int rc = avcodec_open2(enc_.get(), codec, nullptr);
        if (rc < 0) {
            enc_.reset();
            return g_lastLog.empty() ? avError(rc) : g_lastLog;
        }
        return {};
    }

    std::string openResampler()
    {
        SwrContext* raw = nullptr;
        int rc = swr_alloc_set_opts2(&raw, &enc_->ch_layout, enc_->sample_fmt, enc_->sample_rate, &dec_->ch_layout,
                                     dec_->sample_fmt, dec_->sample_rate, 0, nullptr);
        swr_.reset(raw);
        if (rc >= 0)
            rc = swr_init(swr_.get());
        if (rc < 0)
            return "cannot convert the input to the profile's format (" + avError(rc) + ")";
        fifo_.reset(av_audio_fifo_alloc(enc_->sample_fmt, enc_->ch_layout.nb_channels, frameSize_));
        frame_.reset(av_frame_alloc());
        packet_.reset(av_packet_alloc());
        if (!fifo_ || !frame_ || !packet_)
            return "out of memory";
        return {};
    }

    std::string openOutput()
    {
        AVFormatContext* raw = nullptr;
        int rc = avformat_alloc_output_context2(&raw, nullptr, "asf", nullptr);
        if (rc < 0 || !raw)
            return "this system's libavformat cannot write ASF files";
        out_.reset(raw);
        outIo_ = tempOut_.MakeAvio();
        if (!outIo_)
            return "out of memory";
        out_->pb = outIo_.get();
        out_->flags |= AVFMT_FLAG_CUSTOM_IO;
        AVStream* st = avformat_new_stream(out_.get(), nullptr);
        if (!st)
            return "out of memory";
        rc = avcodec_parameters_from_context(st->codecpar, enc_.get());
        if (rc < 0)
            return "cannot set up the output stream (" + avError(rc) + ")";
        st->time_base = enc_->time_base;
        if (!req_.author.empty())
            av_dict_set(&out_->metadata, "author", req_.author.c_str(), 0);
        if (!req_.description.empty())
            av_dict_set(&out_->metadata, "comment", req_.description.c_str(), 0);
        rc = avformat_write_header(out_.get(), nullptr);
        if (rc < 0)
            return writeFailure(rc);
        return {};
    }

    // Converts decoded samples to the encoder's format and queues them.
    std::string queue(const uint8_t** data, int count)
    {
        const int room = swr_get_out_samples(swr_.get(), count);
        if (room < 0)
            return "cannot convert the input samples";
        if (room == 0)
            return {};
        FramePtr tmp(av_frame_alloc());
        if (!tmp)
            return "out of memory";
        tmp->format = enc_->sample_fmt;
        tmp->nb_samples = room;
        av_channel_layout_copy(&tmp->ch_layout, &enc_->ch_layout);
        tmp->sample_rate = enc_->sample_rate;
        if (av_frame_get_buffer(tmp.get(), 0) < 0)
            return "out of memory";
        const int got = swr_convert(swr_.get(), tmp->data, room, data, count);
        if (got < 0)
            return "cannot convert the input samples";
        if (got > 0 && av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(tmp->data), got) < got)
            return "out of memory";
        return {};
    }

    // Encodes whole frames from the queue; at the end also the padded rest.
    std::string drainQueue(bool final)
    {
        while (av_audio_fifo_size(fifo_.get()) >= frameSize_ || (final && av_audio_fifo_size(fifo_.get()) > 0)) {
            FramePtr f(av_frame_alloc());
            if (!f)
                return "out of memory";
            f->format = enc_->sample_fmt;
            f->nb_samples = frameSize_;
            av_channel_layout_copy(&f->ch_layout, &enc_->ch_layout);
            f->sample_rate = enc_->sample_rate;
            if (av_frame_get_buffer(f.get(), 0) < 0)
                return "out of memory";
            av_samples_set_silence(f->data, 0, frameSize_, enc_->ch_layout.nb_channels, enc_->sample_fmt);
            if (av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(f->data), frameSize_) < 0)
                return "cannot queue samples";
            f->pts = nextPts_;
            nextPts_ += frameSize_;
            std::string err = encode(f.get());
            if (!err.empty())
                return err;
        }
        return {};
    }

    // Sends a frame (nullptr = end) to the encoder and writes what comes out.
    std::string encode(AVFrame* f)
    {
        int rc = avcodec_send_frame(enc_.get(), f);
        if (rc < 0)
            return "the encoder failed (" + avError(rc) + ")";
        for (;;) {
            rc = avcodec_receive_packet(enc_.get(), packet_.get());
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
                return {};
            if (rc < 0)
                return "the encoder failed (" + avError(rc) + ")";
            av_packet_rescale_ts(packet_.get(), enc_->time_base, out_->streams[0]->time_base);
            packet_->stream_index = 0;
            rc = av_interleaved_write_frame(out_.get(), packet_.get());
            if (rc < 0 || tempOut_.WriteError())
                return writeFailure(rc);
        }
    }

    // The output could not be written: the system's reason when a write failed.
    std::string writeFailure(int rc) const
    {
        if (tempOut_.WriteError())
            return PathError(req_.output, tempOut_.WriteError());
        return req_.output + ": cannot write the file (" + avError(rc) + ")";
    }

    std::string decodeFrames()
    {
        for (;;) {
            int rc = avcodec_receive_frame(dec_.get(), frame_.get());
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
                return {};
            if (rc < 0)
                return req_.input + ": cannot decode it (" + avError(rc) + ")";
            // The converter was set up for the stream's first format.
            if (frame_->format != dec_->sample_fmt || frame_->sample_rate != dec_->sample_rate ||
                frame_->ch_layout.nb_channels != dec_->ch_layout.nb_channels) {
                av_frame_unref(frame_.get());
                return req_.input + ": changes its sample format midway";
            }
            decodedSamples_ += frame_->nb_samples;
            std::string err = queue(const_cast<const uint8_t**>(frame_->extended_data), frame_->nb_samples);
            av_frame_unref(frame_.get());
            if (err.empty())
                err = drainQueue(false);
            if (!err.empty())
                return err;
            reportProgress();
        }
    }

    void reportProgress()
    {
        if (totalSamples_ <= 0)
            return;
        int64_t p = decodedSamples_ * 100 / totalSamples_;
        if (p > 99)
            p = 99;
        if (p > lastPercent_) {
            lastPercent_ = static_cast<int>(p);
            cb_.progress(lastPercent_);
        }
    }

    std::string transcode()
    {
        PacketPtr pkt(av_packet_alloc());
        if (!pkt)
            return "out of memory";
        cb_.progress(0);
        for (;;) {
            if (cb_.stopRequested && cb_.stopRequested())
                return "stopped by a signal; no output was written";
            int rc = av_read_frame(in_.get(), pkt.get());
            if (rc == AVERROR_EOF)
                break;
            if (rc < 0)
                return req_.input + ": cannot read it (" + avError(rc) + ")";
            if (pkt->stream_index == streamIndex_) {
                // A decoder that is full takes the packet once its frames are out.
                for (;;) {
                    rc = avcodec_send_packet(dec_.get(), pkt.get());
                    if (rc != AVERROR(EAGAIN))
                        break;
                    std::string err = decodeFrames();
                    if (!err.empty())
                        return err;
                }
                av_packet_unref(pkt.get());
                // A damaged packet is skipped; the decoder goes on with the next.
                if (rc < 0 && rc != AVERROR_INVALIDDATA)
                    return req_.input + ": cannot decode it (" + avError(rc) + ")";
                std::string err = decodeFrames();
                if (!err.empty())
                    return err;
            } else {
                av_packet_unref(pkt.get());
            }
        }
        avcodec_send_packet(dec_.get(), nullptr);
        std::string err = decodeFrames();
        if (!err.empty())
            return err;
        if (decodedSamples_ == 0)
            return req_.input + ": holds no samples";
        // The resampler's buffered tail, then the last padded frame, then the encoder's tail.
        if (!(err = queue(nullptr, 0)).empty() || !(err = drainQueue(true)).empty())
            return err;
        return encode(nullptr);
    }

    const EncodeRequest& req_;
    const EncodeCallbacks& cb_;
    // Declared before the contexts that use them, so they are freed after.
    InputFile inFile_;
    AvioPtr inIo_;
    InputPtr in_;
    TempOutput tempOut_;
    AvioPtr outIo_;
    OutputPtr out_;
    CodecPtr dec_, enc_;
    SwrPtr swr_;
    FifoPtr fifo_;
    FramePtr frame_;
    PacketPtr packet_;
    int streamIndex_ = -1;
    int frameSize_ = 0;
    int64_t nextPts_ = 0;
    int64_t totalSamples_ = 0;
    int64_t decodedSamples_ = 0;
    int lastPercent_ = 0;
};

}  // namespace

std::string EncodeWma(const EncodeRequest& request, const EncodeCallbacks& callbacks)
{
    av_log_set_callback(logCallback);
    Encoder e(request, callbacks);
    return e.run();
}

}  // namespace wm8eutil
