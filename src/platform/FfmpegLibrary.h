#pragma once
// The FFmpeg libraries the compression manager decodes with, loaded at run
// time.
//
// libavutil, libswresample, libavcodec and libavformat are opened with dlopen
// by the sonames of the headers this program was built with, the first time a
// decoder is needed, under one lock shared by all four; then every entry point
// below is resolved with dlsym. Linking them would make every start of the
// program map them and the many libraries they depend on, although only
// compressed WAV files need them. A library that loaded stays loaded until the
// program ends; one that failed is tried again at the next call. When
// DISCWRIGHT_FFMPEG_LIBDIR is set, the libraries are taken from that folder
// instead of the system's search path (tests use it to show the message for a
// missing library).
//
// Only the types and constants of the libraries' public headers are used
// here; the program does not link against them.
//
// Thread-safe.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/mem.h>
#include <libswresample/swresample.h>
}

#include <QString>

#include <array>

namespace dw::ffmpeg {

// The entry points the compression manager calls.
struct Api {
#define DW_FFMPEG_ENTRY(name) decltype(&::name) name = nullptr;
    // libavutil
    DW_FFMPEG_ENTRY(av_mallocz)
    DW_FFMPEG_ENTRY(av_frame_alloc)
    DW_FFMPEG_ENTRY(av_frame_unref)
    DW_FFMPEG_ENTRY(av_frame_free)
    DW_FFMPEG_ENTRY(av_channel_layout_default)
    // libswresample
    DW_FFMPEG_ENTRY(swr_alloc_set_opts2)
    DW_FFMPEG_ENTRY(swr_init)
    DW_FFMPEG_ENTRY(swr_convert)
    DW_FFMPEG_ENTRY(swr_free)
    // libavcodec
    DW_FFMPEG_ENTRY(avcodec_find_decoder)
    DW_FFMPEG_ENTRY(avcodec_alloc_context3)
    DW_FFMPEG_ENTRY(avcodec_open2)
    DW_FFMPEG_ENTRY(avcodec_send_packet)
    DW_FFMPEG_ENTRY(avcodec_receive_frame)
    DW_FFMPEG_ENTRY(avcodec_free_context)
    DW_FFMPEG_ENTRY(av_packet_alloc)
    DW_FFMPEG_ENTRY(av_packet_free)
    DW_FFMPEG_ENTRY(av_parser_init)
    DW_FFMPEG_ENTRY(av_parser_parse2)
    DW_FFMPEG_ENTRY(av_parser_close)
    // libavformat
    DW_FFMPEG_ENTRY(avformat_get_riff_audio_tags)
    DW_FFMPEG_ENTRY(av_codec_get_id)
#undef DW_FFMPEG_ENTRY
};

// The sonames, in the order they are loaded and checked: libavutil,
// libswresample, libavcodec, libavformat (each needs the ones before it).
const std::array<const char*, 4>& Sonames();

// Loads whatever is not loaded yet and returns the entry points, or nullptr
// when a library is missing; then `failure` (when given) receives
// "<soname> library could not be loaded. (<reason>)" for the first missing
// library in the order above. A library without one of the entry points
// above counts as missing.
const Api* LoadLibraries(QString* failure = nullptr);

}  // namespace dw::ffmpeg
