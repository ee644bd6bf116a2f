#pragma once
// libcurl, opened at run time (see RuntimeLibrary.h): only CDDB lookups need
// it, and linking it would map it and its TLS, Kerberos and LDAP
// dependencies at every start of the program.

#include <curl/curl.h>

#include <QString>

namespace dw::curl {

// Every entry point, once: the table below and its binding are made from it.
#define DW_CURL_ENTRIES(X)                                                                             \
    X(global_init) X(easy_init) X(easy_cleanup) X(easy_setopt) X(easy_getinfo) X(easy_perform)         \
        X(easy_strerror) X(multi_init) X(multi_cleanup) X(multi_add_handle) X(multi_remove_handle)     \
            X(multi_perform) X(multi_poll) X(multi_info_read)

struct Api {
#define DW_CURL_ENTRY(name) decltype(&::curl_##name) name = nullptr;
    DW_CURL_ENTRIES(DW_CURL_ENTRY)
#undef DW_CURL_ENTRY
};

// Loads the library on first use and runs curl_global_init once; the entry
// points, or nullptr with *failure ("libcurl.so.4 library could not be
// loaded. (...)"). DISCWRIGHT_CURL_LIBDIR names another folder to load from.
// Thread-safe.
const Api* Load(QString* failure = nullptr);

}  // namespace dw::curl
