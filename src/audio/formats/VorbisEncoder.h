#pragma once
// The library records of one Vorbis encoding run (encoder information,
// comments, analysis state, block, Ogg stream state) with their set-up and
// the page output. Each record is cleared by the destructor when it was
// initialised, so a run that fails half-way leaks nothing.
//
// Not thread-safe; used by the Vorbis output's worker thread.

#include "audio/formats/VorbisLibrary.h"

#include <QByteArray>

#include <functional>

namespace dw {

class TVorbisEncoder {
public:
    // Receives each finished page; raises when it cannot be written.
    using PageSink = std::function<void(const ogg_page& page)>;

    explicit TVorbisEncoder(const vorbis::Api& api);
    ~TVorbisEncoder();
    TVorbisEncoder(const TVorbisEncoder&) = delete;
    TVorbisEncoder& operator=(const TVorbisEncoder&) = delete;

    // Variable-bit-rate set-up at a quality (the library's scale, -0.1 to
    // 1.0). Raises EAuException when the encoder refuses it.
    void SetUpQuality(int channels, long rate, float quality);
    // Managed bit-rate set-up (bits per second, -1 = no limit). Raises
    // EAuException "Vorbis codec setup with the requested bitrate failed.
    // Try a lower bitrate." when the encoder refuses it.
    void SetUpBitRate(int channels, long rate, long maximum, long nominal, long minimum);

    // Adds one comment (UTF-8 name and value) before Start.
    void AddComment(const QByteArray& name, const QByteArray& value);

    // Starts the logical stream with this serial number and writes the three
    // header packets as pages of their own.
    void Start(int serial, const PageSink& sink);

    // The per-channel float buffers for up to `frames` sample frames.
    float** Buffer(int frames);
    // Hands over `frames` frames written into Buffer (0 marks the end of the
    // stream) and writes every page that is ready.
    void Wrote(int frames, const PageSink& sink);
    // The last page of the stream has been written.
    bool Ended() const { return ended_; }

private:
    [[noreturn]] void refuse(const char* message);

    const vorbis::Api& api_;
    vorbis_info info_{};
    vorbis_comment comment_{};
    vorbis_dsp_state dsp_{};
    vorbis_block block_{};
    ogg_stream_state stream_{};
    bool infoInit_ = false;
    bool commentInit_ = false;
    bool dspInit_ = false;
    bool blockInit_ = false;
    bool streamInit_ = false;
    bool ended_ = false;
};

}  // namespace dw
