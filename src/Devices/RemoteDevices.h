#pragma once
// The devices a project can run on: the local desktop browser, an external
// device that connects back to the editor, and every Android device that adb
// reports, with Meta Quest headsets probed for their proximity sensor and
// guardian states.
//
// Not locked: refresh() rebuilds the list in place, so nobody may read it
// while a refresh runs. Every adb call blocks until adb exits.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Base/Export.h"
#include "Devices/Command.h"

namespace ZandelleEngine {

enum class DeviceKind: std::uint8_t {
    Unknown = 0,    /**< external device that connects to the editor */
    Desktop = 1,    /**< local browser */
    Android = 2,
    MetaQuest = 3
};

/** "Unknown", "Desktop", "Android", "MetaQuest"; "Invalid" outside the enum */
ZANDELLE_EXPORT std::string_view deviceKindName(DeviceKind kind);
/** A sentence for the user; empty outside the enum */
ZANDELLE_EXPORT std::string_view deviceKindDescription(DeviceKind kind);
/** Whether the editor drives a device of this kind over adb */
ZANDELLE_EXPORT bool deviceKindOverAdb(DeviceKind kind);

/** Bits of RemoteDevice::flags */
enum DeviceStateFlag: std::uint32_t {
    /** The headset's virtual proximity sensor is disabled, so it stays awake off the head */
    ProximityDisabled = 1u << 0,
    /** The guardian is active */
    GuardianActive = 1u << 1
};

struct RemoteDevice {
    /** "desktop", "external" or the adb serial */
    std::string id;
    DeviceKind kind = DeviceKind::Unknown;
    /** Product name reported by adb; empty while the device awaits authorisation */
    std::string name;
    /** Text shown to the user */
    std::string label;
    /** DeviceStateFlag bits */
    std::uint32_t flags = 0;
};

class ZANDELLE_EXPORT RemoteDevices {
    public:
        /** @p adbPath is run through the shell: a bare name is looked up in PATH */
        explicit RemoteDevices(std::string adbPath = "adb");

        const std::string& adbPath() const { return _adbPath; }
        void setAdbPath(std::string path) { _adbPath = std::move(path); }

        /** Set whenever an adb command ran, so that the owner knows whether an
            adb server may have been started */
        bool adbUsed() const { return _adbUsed; }

        /** How long one adb call may run before it is ended (30 seconds);
            zero for no limit */
        std::chrono::milliseconds adbTimeout() const { return _adbTimeout; }
        void setAdbTimeout(std::chrono::milliseconds timeout) { _adbTimeout = timeout; }
        void clearAdbUsed() { _adbUsed = false; }

        const std::vector<RemoteDevice>& devices() const { return _devices; }
        std::size_t deviceCount() const { return _devices.size(); }

        /** Index of the selected device; may be out of range until the next
            refresh() */
        std::uint32_t selected() const { return _selected; }
        void setSelected(std::uint32_t index) { _selected = index; }
        /** The selected device, or nullptr when the index is out of range */
        const RemoteDevice* selectedDevice() const;

        /**
         * Rebuilds the list: the desktop and external entries, then one entry
         * per device that adb lists, each Quest probed with queryDeviceState().
         * When adb fails, two Error lines are printed and only the two built-in
         * entries remain. A selection out of range is reset to 0. Returns the
         * number of devices.
         */
        std::size_t refresh();

        /** Probes the headset states of the device at @p index; does nothing
            for devices that are not Quests. */
        void queryDeviceState(std::size_t index);

        /** Runs adb with @p arguments (which start with the quoted adb path)
            and prints them as a Debug line */
        CommandResult runAdb(std::string_view arguments);

        /**
         * One line for listings: "*" for the selected device or a space, then
         * the label, kind name, id and state flags separated by " | ":
         *
         *     * Local Device | Desktop | desktop | none
         *       hollywood (MetaQuest) | MetaQuest | 1WMHH8 | proximity-disabled,guardian-active
         *
         * Empty when @p index is out of range.
         */
        std::string describeDevice(std::size_t index) const;

        /** Appends a device for every line of @p output ("adb devices -l")
            after its header, probing each Quest */
        void addDevicesFromListing(std::string_view output);

    private:

        std::string _adbPath;
        bool _adbUsed = false;
        std::chrono::milliseconds _adbTimeout{30000};
        std::vector<RemoteDevice> _devices;
        std::uint32_t _selected = 0;
};

}
