#include "player/DSDeviceList.h"

#include "platform/SdlLibrary.h"

namespace dw {

namespace {

void addDevice(TDSDeviceList& list, const QString& id, const QString& description)
{
    if (list.Count >= TDSDeviceList::kMaxDevices)
        return;
    TDSDeviceInfo& entry = list.Devices[static_cast<size_t>(list.Count)];
    entry.Id = id;
    entry.Description = description.left(TDSDeviceList::kMaxDescription);
    ++list.Count;
}

}  // namespace

int EnumerateOutputDevices(TDSDeviceList& list)
{
    list = TDSDeviceList{};
    addDevice(list, QString(), QStringLiteral("Primary Sound Driver"));
    const int n = dw::sdl::GetNumAudioDevices(0);
    if (n < 0)
        return -1;
    for (int i = 0; i < n; ++i) {
        const char* name = dw::sdl::GetAudioDeviceName(i, 0);
        if (name && *name)
            addDevice(list, QString::fromUtf8(name), QString::fromUtf8(name));
    }
    return 0;
}

}  // namespace dw
