#pragma once
// libcurl, opened at run time (see RuntimeLibrary.h): only CDDB lookups need
// it, and linking it would map it and its TLS, Kerberos and LDAP
// dependencies at every start of the program.

#include <curl/curl.h>

#include <QString>

namespace dw::curl {

struct Api {
#define DW_CURL_ENTRY(name) decltype(&::curl_##name) name = nullptr;
    DW_CURL_ENTRY(global_init)
    DW_CURL_ENTRY(easy_init)
    DW_CURL_ENTRY(easy_cleanup)
    DW_CURL_ENTRY(easy_setopt)
    DW_CURL_ENTRY(easy_getinfo)
    DW_CURL_ENTRY(easy_perform)
    DW_CURL_ENTRY(easy_strerror)
    DW_CURL_ENTRY(multi_init)
    DW_CURL_ENTRY(multi_cleanup)
    DW_CURL_ENTRY(multi_add_handle)
    DW_CURL_ENTRY(multi_remove_handle)
    DW_CURL_ENTRY(multi_perform)
    DW_CURL_ENTRY(multi_poll)
    DW_CURL_ENTRY(multi_info_read)
#undef DW_CURL_ENTRY
};

// Loads the library on first use and runs curl_global_init once; the entry
// points, or nullptr with *failure ("libcurl.so.4 library could not be
// loaded. (...)"). DISCWRIGHT_CURL_LIBDIR names another folder to load from.
// Thread-safe.
const Api* Load(QString* failure = nullptr);

}  // namespace dw::curl
