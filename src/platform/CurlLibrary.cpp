#include "platform/CurlLibrary.h"

#include "platform/RuntimeLibrary.h"

#include <mutex>

namespace dw::curl {

namespace {

const char* bindAll(void* h, Api& api)
{
    const char* absent = nullptr;
#define DW_BIND(name) runtime::Bind(api.name, h, "curl_" #name, absent);
    DW_CURL_ENTRIES(DW_BIND)
#undef DW_BIND
    return absent;
}

}  // namespace

const Api* Load(QString* failure)
{
    static runtime::TLazyLibrary<Api> lib("libcurl.so.4", "DISCWRIGHT_CURL_LIBDIR", &bindAll);
    const Api* api = lib.Get(failure);
    if (api) {
        // curl_global_init is not thread-safe; every request passes here first.
        static std::once_flag once;
        std::call_once(once, [api] { api->global_init(CURL_GLOBAL_DEFAULT); });
    }
    return api;
}

}  // namespace dw::curl
