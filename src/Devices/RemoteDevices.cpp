#include "Devices/RemoteDevices.h"

#include "Base/Format.h"
#include "Base/Log.h"
#include "Base/String.h"

namespace ZandelleEngine {

namespace {

struct KindInfo {
    std::string_view name;
    bool overAdb;
    std::string_view description;
};

constexpr KindInfo Kinds[]{
    {"Unknown", false, "External device, the editor will wait for a localhost connection"},
    {"Desktop", false, "Local device, with browser controlled by the editor"},
    {"Android", true, "Android device, remoted controlled over adb"},
    {"MetaQuest", true, "MetaQuest, remoted controlled over adb"},
};

const KindInfo* kindInfo(DeviceKind kind) {
    const std::size_t index = std::size_t(kind);
    return index < std::size(Kinds) ? &Kinds[index] : nullptr;
}

constexpr std::string_view DeviceListHeader = "List of devices attached";

std::vector<std::string_view> splitAtAny(std::string_view text, std::string_view delimiters) {
    std::vector<std::string_view> parts;
    std::size_t begin = 0;
    while(begin < text.size()) {
        std::size_t end = text.find_first_of(delimiters, begin);
        if(end == std::string_view::npos) end = text.size();
        if(end > begin) parts.push_back(text.substr(begin, end - begin));
        begin = end + 1;
    }
    return parts;
}

}

std::string_view deviceKindName(DeviceKind kind) {
    const KindInfo* info = kindInfo(kind);
    return info ? info->name : "Invalid";
}

std::string_view deviceKindDescription(DeviceKind kind) {
    const KindInfo* info = kindInfo(kind);
    return info ? info->description : std::string_view{};
}

bool deviceKindOverAdb(DeviceKind kind) {
    const KindInfo* info = kindInfo(kind);
    return info && info->overAdb;
}

RemoteDevices::RemoteDevices(std::string adbPath): _adbPath{std::move(adbPath)} {}

const RemoteDevice* RemoteDevices::selectedDevice() const {
    return _selected < _devices.size() ? &_devices[_selected] : nullptr;
}

CommandResult RemoteDevices::runAdb(std::string_view arguments) {
    Debug{} << "[adb]" << arguments;
    _adbUsed = true;
    Command command;
    command.setLimits(CommandLimits{_adbTimeout});
    return command.run(arguments);
}

std::size_t RemoteDevices::refresh() {
    _devices.clear();
    _devices.push_back({"desktop", DeviceKind::Desktop, "Local Device", "Local Device", 0});
    _devices.push_back({"external", DeviceKind::Unknown, "External Device", "External Device", 0});

    const std::string command = format("{} --exit-on-write-error devices -l", String::shellQuote(_adbPath));
    const CommandResult result = runAdb(command);
    if(!result) {
        Error{} << "[RemoteDevices] Error while running ADB command:\n" << Debug::nospace << command;
        Error{} << result.error();
    } else addDevicesFromListing(result.output());

    if(_selected >= _devices.size()) _selected = 0;
    return _devices.size();
}

void RemoteDevices::addDevicesFromListing(std::string_view output) {
    bool listStarted = false;
    for(std::string_view line: splitAtAny(output, "\r\n")) {
        if(String::beginsWith(line, DeviceListHeader)) {
            listStarted = true;
            continue;
        }
        if(!listStarted) continue;

        /* serial, state, then key:value parts such as product:hollywood */
        const std::vector<std::string_view> parts = splitAtAny(line, " \t\v\f");
        if(parts.empty()) continue;

        RemoteDevice device;
        device.id = std::string{parts[0]};
        device.kind = DeviceKind::Android;
        for(std::size_t i = 1; i != parts.size(); ++i) {
            if(String::beginsWith(parts[i], "model:Quest")) device.kind = DeviceKind::MetaQuest;
            else if(String::beginsWith(parts[i], "product:"))
                device.name = std::string{parts[i].substr(std::string_view{"product:"}.size())};
        }
        /* A device that has not been authorised yet reports no product */
        device.label = format("{} ({})", device.name.empty() ? std::string_view{"pending auth"} : std::string_view{device.name},
            deviceKindName(device.kind));

        _devices.push_back(std::move(device));
        queryDeviceState(_devices.size() - 1);
    }
}

void RemoteDevices::queryDeviceState(std::size_t index) {
    if(index >= _devices.size()) {
        Error{} << "RemoteDevices::queryDeviceState(): index" << index << "out of range for" << _devices.size() << "devices";
        return;
    }
    RemoteDevice& device = _devices[index];
    if(!deviceKindOverAdb(device.kind) || device.kind != DeviceKind::MetaQuest) return;

    /* The serial comes from adb's own output: quoted, it stays one argument
       whatever characters it holds */
    const std::string adb = String::shellQuote(_adbPath);
    const std::string serial = String::shellQuote(device.id);

    const CommandResult proximity = runAdb(format("{} -s {} shell dumpsys vrpowermanager", adb, serial));
    if(proximity) {
        if(proximity.output().find("Virtual proximity state: DISABLED") != std::string::npos)
            device.flags |= ProximityDisabled;
        else if(proximity.output().find("Virtual proximity state: CLOSE") != std::string::npos)
            device.flags &= ~std::uint32_t(ProximityDisabled);
    }

    /* When in doubt, assume the guardian is active */
    const CommandResult guardian = runAdb(format("{} -s {} shell getprop debug.oculus.guardian_pause", adb, serial));
    if(!guardian || guardian.output().find('0') != std::string::npos)
        device.flags |= GuardianActive;
    else if(guardian.output().find('1') != std::string::npos)
        device.flags &= ~std::uint32_t(GuardianActive);
}

std::string RemoteDevices::describeDevice(std::size_t index) const {
    if(index >= _devices.size()) return {};
    const RemoteDevice& device = _devices[index];

    std::string flags;
    if(device.flags & ProximityDisabled) flags += "proximity-disabled";
    if(device.flags & GuardianActive) {
        if(!flags.empty()) flags += ',';
        flags += "guardian-active";
    }
    if(flags.empty()) flags = "none";

    return format("{} {} | {} | {} | {}", index == _selected ? '*' : ' ',
        device.label, deviceKindName(device.kind), device.id, flags);
}

}
