#pragma once
// The Ogg and Vorbis reference libraries, loaded at run time.
//
// The four libraries (libogg.so.0, libvorbis.so.0, libvorbisfile.so.3,
// libvorbisenc.so.2) are opened with dlopen when first needed, under one lock
// shared by all four, and every name of each library's list is resolved with
// dlsym. A library that loaded stays loaded until the program ends; one that
// failed is tried again at the next call. When DISCWRIGHT_VORBIS_LIBDIR is
// set, the libraries are taken from that folder instead of the system's
// search path (tests use it to show the message for a missing library).
//
// Only the types of the libraries' public headers are used here; the
// program does not link against them.
//
// Thread-safe.

#include <ogg/ogg.h>
#include <vorbis/codec.h>
#include <vorbis/vorbisenc.h>
#include <vorbis/vorbisfile.h>

namespace dw::vorbis {

// The entry points the Vorbis input and output call.
struct Api {
#define DW_VORBIS_ENTRY(name) decltype(&::name) name = nullptr;
    // encoding
    DW_VORBIS_ENTRY(vorbis_info_init)
    DW_VORBIS_ENTRY(vorbis_info_clear)
    DW_VORBIS_ENTRY(vorbis_encode_setup_vbr)
    DW_VORBIS_ENTRY(vorbis_encode_setup_init)
    DW_VORBIS_ENTRY(vorbis_encode_init)
    DW_VORBIS_ENTRY(vorbis_comment_init)
    DW_VORBIS_ENTRY(vorbis_comment_add_tag)
    DW_VORBIS_ENTRY(vorbis_comment_clear)
    DW_VORBIS_ENTRY(vorbis_analysis_init)
    DW_VORBIS_ENTRY(vorbis_block_init)
    DW_VORBIS_ENTRY(vorbis_block_clear)
    DW_VORBIS_ENTRY(vorbis_dsp_clear)
    DW_VORBIS_ENTRY(vorbis_analysis_headerout)
    DW_VORBIS_ENTRY(vorbis_analysis_buffer)
    DW_VORBIS_ENTRY(vorbis_analysis_wrote)
    DW_VORBIS_ENTRY(vorbis_analysis_blockout)
    DW_VORBIS_ENTRY(vorbis_analysis)
    DW_VORBIS_ENTRY(vorbis_bitrate_addblock)
    DW_VORBIS_ENTRY(vorbis_bitrate_flushpacket)
    DW_VORBIS_ENTRY(ogg_stream_init)
    DW_VORBIS_ENTRY(ogg_stream_clear)
    DW_VORBIS_ENTRY(ogg_stream_packetin)
    DW_VORBIS_ENTRY(ogg_stream_flush)
    DW_VORBIS_ENTRY(ogg_stream_pageout)
    DW_VORBIS_ENTRY(ogg_page_eos)
    // decoding
    DW_VORBIS_ENTRY(ov_test_callbacks)
    DW_VORBIS_ENTRY(ov_test_open)
    DW_VORBIS_ENTRY(ov_comment)
    DW_VORBIS_ENTRY(ov_info)
    DW_VORBIS_ENTRY(ov_pcm_total)
    DW_VORBIS_ENTRY(ov_read)
    DW_VORBIS_ENTRY(ov_pcm_seek)
    DW_VORBIS_ENTRY(ov_bitrate)
    DW_VORBIS_ENTRY(ov_streams)
    DW_VORBIS_ENTRY(ov_clear)
#undef DW_VORBIS_ENTRY
};

// Loads whatever is not loaded yet and returns the entry points. Raises
// EAuException "<library> library could not be loaded. (<reason>)" for the
// first library that is missing, in the order libogg, libvorbis,
// libvorbisfile, libvorbisenc (all four are needed for reading and for
// writing); a library without one of the entry points above counts as missing.
const Api& LoadLibraries();

}  // namespace dw::vorbis
