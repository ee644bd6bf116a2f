#pragma once
// The list of sound output devices a player may choose by number: entry 0 is
// always the primary (default) device, the devices SDL names follow, at most
// kMaxDevices in all. A device is identified by its SDL name, which stands in
// for a device GUID; the primary device has an empty one.

#include <QString>

#include <array>
#include <cstdint>

namespace dw {

struct TDSDeviceInfo {
    QString Id;           // SDL device name; empty for the primary device
    QString Description;  // at most kMaxDescription characters
};

struct TDSDeviceList {
    static constexpr int kMaxDevices = 16;
    static constexpr int kMaxDescription = 127;

    int32_t Count = 0;
    std::array<TDSDeviceInfo, kMaxDevices> Devices;
};

// Fills list (the SDL audio subsystem must be initialised). 0 on success,
// a negative code when SDL cannot list devices (the primary one is still
// listed then).
int EnumerateOutputDevices(TDSDeviceList& list);

}  // namespace dw
