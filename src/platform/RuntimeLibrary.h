#pragma once
// Libraries opened at run time instead of being linked.
//
// A library that only some commands need (the sound system, the HTTP client,
// FFmpeg, the Ogg Vorbis codec) is opened with dlopen by its soname the first
// time it is needed, so that a start of the program does not map it and the
// many libraries it depends on. Only the types and constants of its public
// headers are used at build time.

#include <QString>

#include <atomic>
#include <mutex>

namespace dw::runtime {

// "<soname> library could not be loaded. (<why>)"
QString MissingLibraryMessage(const char* soname, const QString& why);

// Opens soname (RTLD_NOW | RTLD_LOCAL) from the folder the environment
// variable dirVariable names when it is set and not empty (tests use it to
// show the message for a missing library), else from the system's search
// path. nullptr with *why (dlerror's text) when it cannot be opened.
void* OpenLibrary(const char* soname, const char* dirVariable, QString* why);

// Resolves one typed entry point of an open library; records the name of the
// first one that is missing in firstMissing.
void* FindEntry(void* handle, const char* name);
void CloseLibrary(void* handle);
template <typename Fn>
void Bind(Fn& slot, void* handle, const char* name, const char*& firstMissing)
{
    slot = reinterpret_cast<Fn>(FindEntry(handle, name));
    if (!slot && !firstMissing)
        firstMissing = name;
}

// One library with a table of entry points, loaded on first use. Api is a
// struct of function pointers; the binder fills it from the open handle and
// returns the name of the first entry point missing, or nullptr. A library
// that loaded stays loaded until the program ends; one that failed (missing,
// or without an entry point) is tried again at the next call.
//
// Thread-safe; once loaded, Get costs one atomic load.
template <typename Api>
class TLazyLibrary {
public:
    using Binder = const char* (*)(void* handle, Api& api);

    TLazyLibrary(const char* soname, const char* dirVariable, Binder binder)
        : soname_(soname), dirVariable_(dirVariable), binder_(binder)
    {
    }
    TLazyLibrary(const TLazyLibrary&) = delete;
    TLazyLibrary& operator=(const TLazyLibrary&) = delete;

    // The entry points, or nullptr with *failure (MissingLibraryMessage).
    const Api* Get(QString* failure = nullptr)
    {
        if (const Api* ready = ready_.load(std::memory_order_acquire))
            return ready;
        std::lock_guard<std::mutex> lock(lock_);
        if (const Api* ready = ready_.load(std::memory_order_relaxed))
            return ready;
        QString why;
        void* handle = OpenLibrary(soname_, dirVariable_, &why);
        if (handle) {
            Api api{};
            if (const char* absent = binder_(handle, api)) {
                why = QStringLiteral("no entry point %1").arg(QLatin1String(absent));
                CloseLibrary(handle);
            } else {
                api_ = api;
                ready_.store(&api_, std::memory_order_release);
                return &api_;
            }
        }
        if (failure)
            *failure = MissingLibraryMessage(soname_, why);
        return nullptr;
    }

    const char* Soname() const { return soname_; }

private:
    const char* soname_;
    const char* dirVariable_;
    Binder binder_;
    std::mutex lock_;
    Api api_{};
    std::atomic<const Api*> ready_{nullptr};
};

}  // namespace dw::runtime
