// Fuzz target: the output of "adb devices -l" as the device list reads it.
// Headset probes run ":" (a shell no-op) instead of adb.

#include "Devices/RemoteDevices.h"
#include "FuzzTarget.h"

using namespace ZandelleEngine;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Fuzz::silenceLog();
    RemoteDevices devices{":"};
    devices.addDevicesFromListing(Fuzz::text(data, size));
    for(std::size_t i = 0; i != devices.deviceCount(); ++i) devices.describeDevice(i);
    return 0;
}
