#include "platform/FfmpegLibrary.h"

#include "platform/RuntimeLibrary.h"

#include <memory>
#include <mutex>

namespace dw::ffmpeg {

namespace {

#define DW_SONAME(lib, major) "lib" lib ".so." AV_STRINGIFY(major)
constexpr std::array<const char*, 4> kSonames{
    DW_SONAME("avutil", LIBAVUTIL_VERSION_MAJOR),
    DW_SONAME("swresample", LIBSWRESAMPLE_VERSION_MAJOR),
    DW_SONAME("avcodec", LIBAVCODEC_VERSION_MAJOR),
    DW_SONAME("avformat", LIBAVFORMAT_VERSION_MAJOR),
};
#undef DW_SONAME

// Closes a library handle that did not provide every entry point.
struct HandleCloser {
    void operator()(void* handle) const { runtime::CloseLibrary(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

std::mutex gLock;  // the one lock of all four loaders
std::array<void*, kSonames.size()> gHandles{};  // loaded libraries; kept until the program ends
Api gApi;
bool gApiReady = false;

// Resolves the entry points of library `index` into `api`; the name of the
// first one missing, or nullptr when all are there.
const char* bindLibrary(size_t index, void* h, Api& api)
{
    const char* absent = nullptr;
#define DW_BIND(name) runtime::Bind(api.name, h, #name, absent)
    switch (index) {
    case 0:
        DW_BIND(av_mallocz);
        DW_BIND(av_frame_alloc);
        DW_BIND(av_frame_unref);
        DW_BIND(av_frame_free);
        DW_BIND(av_channel_layout_default);
        break;
    case 1:
        DW_BIND(swr_alloc_set_opts2);
        DW_BIND(swr_init);
        DW_BIND(swr_convert);
        DW_BIND(swr_free);
        break;
    case 2:
        DW_BIND(avcodec_find_decoder);
        DW_BIND(avcodec_alloc_context3);
        DW_BIND(avcodec_open2);
        DW_BIND(avcodec_send_packet);
        DW_BIND(avcodec_receive_frame);
        DW_BIND(avcodec_free_context);
        DW_BIND(av_packet_alloc);
        DW_BIND(av_packet_free);
        DW_BIND(av_parser_init);
        DW_BIND(av_parser_parse2);
        DW_BIND(av_parser_close);
        break;
    case 3:
        DW_BIND(avformat_get_riff_audio_tags);
        DW_BIND(av_codec_get_id);
        break;
    default:
        break;
    }
#undef DW_BIND
    return absent;
}

// Loads library `index` when it is not loaded yet and resolves its entry
// points into `api`; an empty string when it is usable, else why not.
QString load(size_t index, Api& api)
{
    const char* soname = kSonames[index];
    if (!gHandles[index]) {
        QString why;
        Handle handle(runtime::OpenLibrary(soname, "DISCWRIGHT_FFMPEG_LIBDIR", &why));
        if (!handle)
            return runtime::MissingLibraryMessage(soname, why);
        if (const char* absent = bindLibrary(index, handle.get(), api))
            return runtime::MissingLibraryMessage(soname, QStringLiteral("no entry point %1").arg(QLatin1String(absent)));
        gHandles[index] = handle.release();
        return {};
    }
    bindLibrary(index, gHandles[index], api);
    return {};
}

}  // namespace

const std::array<const char*, 4>& Sonames()
{
    return kSonames;
}

const Api* LoadLibraries(QString* failure)
{
    std::lock_guard<std::mutex> lock(gLock);
    if (gApiReady)
        return &gApi;
    // Every loader runs, so that what loads stays loaded; the first library
    // that is missing is reported.
    Api api;
    QString first;
    for (size_t i = 0; i < kSonames.size(); ++i) {
        const QString why = load(i, api);
        if (first.isEmpty())
            first = why;
    }
    if (!first.isEmpty()) {
        if (failure)
            *failure = first;
        return nullptr;
    }
    gApi = api;
    gApiReady = true;
    return &gApi;
}

}  // namespace dw::ffmpeg
