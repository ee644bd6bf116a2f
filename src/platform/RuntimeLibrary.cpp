#include "platform/RuntimeLibrary.h"

#include <QByteArray>

#include <cstdlib>

#include <dlfcn.h>

namespace dw::runtime {

QString MissingLibraryMessage(const char* soname, const QString& why)
{
    return QStringLiteral("%1 library could not be loaded. (%2)").arg(QLatin1String(soname), why);
}

void* OpenLibrary(const char* soname, const char* dirVariable, QString* why)
{
    QByteArray path(soname);
    if (dirVariable) {
        const char* dir = std::getenv(dirVariable);
        if (dir && *dir)
            path = QByteArray(dir) + '/' + soname;
    }
    dlerror();
    void* handle = dlopen(path.constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle && why) {
        const char* text = dlerror();
        *why = text ? QString::fromLocal8Bit(text) : QStringLiteral("not found");
    }
    return handle;
}

void* FindEntry(void* handle, const char* name)
{
    return dlsym(handle, name);
}

void CloseLibrary(void* handle)
{
    if (handle)
        dlclose(handle);
}

}  // namespace dw::runtime
