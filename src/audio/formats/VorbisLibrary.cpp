#include "audio/formats/VorbisLibrary.h"

#include "audio/stream/AuException.h"
#include "platform/NativePath.h"
#include "platform/RuntimeLibrary.h"

#include <QString>

#include <array>
#include <initializer_list>
#include <mutex>
#include <vector>


namespace dw::vorbis {

namespace {

// One library: its soname, the names resolved from it, and its state.
struct Library {
    Library(const char* so, std::initializer_list<const char*> list) : soname(so), names(list) {}
    const char* soname;
    std::vector<const char*> names;
    void* handle = nullptr;
    std::vector<void*> entries;  // parallel to names; nullptr when missing
    QString failure;             // why the last attempt failed
};

std::mutex gLock;  // the one lock of all four loaders

std::array<Library, 4> gLibraries{{
    {"libogg.so.0",
     {"ogg_stream_init", "ogg_stream_clear", "ogg_stream_reset", "ogg_stream_destroy", "ogg_stream_eos",
      "ogg_page_checksum_set", "ogg_page_version", "ogg_page_continued", "ogg_page_bos", "ogg_page_eos",
      "ogg_page_granulepos", "ogg_page_serialno", "ogg_page_pageno", "ogg_page_packets", "ogg_packet_clear",
      "oggpack_writeinit", "oggpack_reset", "oggpack_writeclear", "oggpack_readinit", "oggpack_write",
      "oggpack_look", "oggpack_look_huff", "oggpack_look1", "oggpack_adv", "oggpack_adv_huff", "oggpack_adv1",
      "oggpack_read", "oggpack_read1", "oggpack_bytes", "oggpack_bits", "oggpack_get_buffer",
      "ogg_stream_packetin", "ogg_stream_pageout", "ogg_stream_flush", "ogg_sync_init", "ogg_sync_clear",
      "ogg_sync_reset", "ogg_sync_destroy", "ogg_sync_buffer", "ogg_sync_wrote", "ogg_sync_pageseek",
      "ogg_sync_pageout", "ogg_stream_pagein", "ogg_stream_packetout", "ogg_stream_packetpeek"}},
    {"libvorbis.so.0",
     {"vorbis_info_init", "vorbis_info_clear", "vorbis_info_blocksize", "vorbis_comment_init",
      "vorbis_comment_add", "vorbis_comment_add_tag", "vorbis_comment_query", "vorbis_comment_query_count",
      "vorbis_comment_clear", "vorbis_block_init", "vorbis_block_clear", "vorbis_dsp_clear",
      "vorbis_analysis_init", "vorbis_commentheader_out", "vorbis_analysis_headerout", "vorbis_analysis_buffer",
      "vorbis_analysis_wrote", "vorbis_analysis_blockout", "vorbis_analysis", "vorbis_bitrate_addblock",
      "vorbis_bitrate_flushpacket", "vorbis_synthesis_headerin", "vorbis_synthesis_init", "vorbis_synthesis",
      "vorbis_synthesis_blockin", "vorbis_synthesis_pcmout", "vorbis_synthesis_read",
      "vorbis_packet_blocksize"}},
    {"libvorbisfile.so.3",
     {"ov_clear", "ov_open_callbacks", "ov_test_callbacks", "ov_test_open", "ov_bitrate", "ov_bitrate_instant",
      "ov_streams", "ov_seekable", "ov_serialnumber", "ov_raw_total", "ov_pcm_total", "ov_time_total",
      "ov_raw_seek", "ov_pcm_seek", "ov_pcm_seek_page", "ov_time_seek", "ov_time_seek_page", "ov_raw_tell",
      "ov_pcm_tell", "ov_time_tell", "ov_info", "ov_comment", "ov_read_float", "ov_read"}},
    {"libvorbisenc.so.2",
     {"vorbis_encode_init", "vorbis_encode_setup_managed", "vorbis_encode_setup_vbr", "vorbis_encode_init_vbr",
      "vorbis_encode_setup_init", "vorbis_encode_ctl"}},
}};

Api gApi;
bool gApiReady = false;

// Loads one library when it is not loaded yet; true when it is loaded.
bool load(Library& lib)
{
    if (lib.handle)
        return true;
    void* handle = runtime::OpenLibrary(lib.soname, "DISCWRIGHT_VORBIS_LIBDIR", &lib.failure);
    if (!handle)
        return false;
    lib.handle = handle;
    lib.entries.clear();
    for (const char* name : lib.names)
        lib.entries.push_back(runtime::FindEntry(handle, name));  // a missing name resolves to nothing
    return true;
}

void* entry(const Library& lib, const char* name)
{
    size_t i = 0;
    for (const char* n : lib.names) {
        if (qstrcmp(n, name) == 0)
            return i < lib.entries.size() ? lib.entries[i] : nullptr;
        ++i;
    }
    return nullptr;
}

[[noreturn]] void raiseMissing(const Library& lib, const QString& why)
{
    throw EAuException(runtime::MissingLibraryMessage(lib.soname, why));
}

// Fills one typed entry point from its library; raises when it is missing.
template <typename Fn>
void bind(Fn& slot, const Library& lib, const char* name)
{
    slot = reinterpret_cast<Fn>(entry(lib, name));
    if (!slot)
        raiseMissing(lib, QString("no entry point %1").arg(QLatin1String(name)));
}

void bindAll(Api& api)
{
    const Library& ogg = gLibraries[0];
    const Library& vorbis = gLibraries[1];
    const Library& file = gLibraries[2];
    const Library& enc = gLibraries[3];
#define DW_BIND(lib, name) bind(api.name, lib, #name)
    DW_BIND(ogg, ogg_stream_init);
    DW_BIND(ogg, ogg_stream_clear);
    DW_BIND(ogg, ogg_stream_packetin);
    DW_BIND(ogg, ogg_stream_flush);
    DW_BIND(ogg, ogg_stream_pageout);
    DW_BIND(ogg, ogg_page_eos);
    DW_BIND(vorbis, vorbis_info_init);
    DW_BIND(vorbis, vorbis_info_clear);
    DW_BIND(vorbis, vorbis_comment_init);
    DW_BIND(vorbis, vorbis_comment_add_tag);
    DW_BIND(vorbis, vorbis_comment_clear);
    DW_BIND(vorbis, vorbis_analysis_init);
    DW_BIND(vorbis, vorbis_block_init);
    DW_BIND(vorbis, vorbis_block_clear);
    DW_BIND(vorbis, vorbis_dsp_clear);
    DW_BIND(vorbis, vorbis_analysis_headerout);
    DW_BIND(vorbis, vorbis_analysis_buffer);
    DW_BIND(vorbis, vorbis_analysis_wrote);
    DW_BIND(vorbis, vorbis_analysis_blockout);
    DW_BIND(vorbis, vorbis_analysis);
    DW_BIND(vorbis, vorbis_bitrate_addblock);
    DW_BIND(vorbis, vorbis_bitrate_flushpacket);
    DW_BIND(file, ov_test_callbacks);
    DW_BIND(file, ov_test_open);
    DW_BIND(file, ov_comment);
    DW_BIND(file, ov_info);
    DW_BIND(file, ov_pcm_total);
    DW_BIND(file, ov_read);
    DW_BIND(file, ov_pcm_seek);
    DW_BIND(file, ov_bitrate);
    DW_BIND(file, ov_streams);
    DW_BIND(file, ov_clear);
    DW_BIND(enc, vorbis_encode_setup_vbr);
    DW_BIND(enc, vorbis_encode_setup_init);
    DW_BIND(enc, vorbis_encode_init);
#undef DW_BIND
}

}  // namespace

const Api& LoadLibraries()
{
    std::lock_guard<std::mutex> lock(gLock);
    if (gApiReady)
        return gApi;
    // Every loader runs; the first library that is missing is reported.
    for (Library& lib : gLibraries)
        load(lib);
    for (const Library& lib : gLibraries)
        if (!lib.handle)
            raiseMissing(lib, lib.failure);
    Api api;
    bindAll(api);
    gApi = api;
    gApiReady = true;
    return gApi;
}

}  // namespace dw::vorbis
