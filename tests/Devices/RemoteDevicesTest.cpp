#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "Base/Path.h"
#include "Base/String.h"
#include "Devices/RemoteDevices.h"
#include "Support/LogCapture.h"
#include "Support/TempDirectory.h"

using namespace ZandelleEngine;

namespace {

/* Stands in for adb: answers with "<key>.out" printed and "<key>.status" as
   exit status, the key being "devices" for the listing and "proximity-<serial>"
   or "guardian-<serial>" for the probes. Without an answer it fails as adb
   does for an unknown serial. Every call appends its arguments, bracketed,
   to "calls". */
constexpr const char FakeAdbScript[] = R"sh(#!/bin/sh
here=$(dirname -- "$0")
for a in "$@"; do printf '[%s]' "$a"; done >> "$here/calls"
echo >> "$here/calls"
case "$*" in
    "--exit-on-write-error devices -l") key=devices ;;
    "-s $2 shell dumpsys vrpowermanager") key="proximity-$2" ;;
    "-s $2 shell getprop debug.oculus.guardian_pause") key="guardian-$2" ;;
    *) key=unknown ;;
esac
[ -f "$here/$key.out" ] || { echo "adb: device '$2' not found" >&2; exit 1; }
cat "$here/$key.out"
exit "$(cat "$here/$key.status")"
)sh";

/* The fake adb, in a directory whose name needs quoting twice over, and a
   device list that runs it */
class RemoteDevicesTest: public testing::Test {
    protected:
        std::string install() {
            const std::string adb = temp.write(Directory + "/adb", FakeAdbScript);
            std::filesystem::permissions(adb, std::filesystem::perms::owner_exec, std::filesystem::perm_options::add);
            return adb;
        }
        void answer(const std::string& key, const std::string& output, int status = 0) {
            temp.write(Directory + "/" + key + ".out", output);
            temp.write(Directory + "/" + key + ".status", std::to_string(status));
        }
        std::string calls() const { return Path::readString(temp / (Directory + "/calls")).value_or(""); }

        const std::string Directory = "bin dir's \"adb\"";
        Testing::TempDirectory temp;
        const std::string adbPath = install();
        Testing::LogCapture log;
        RemoteDevices devices{adbPath};
};

std::string describeAll(const RemoteDevices& devices) {
    std::string out;
    for(std::size_t i = 0; i != devices.deviceCount(); ++i) out += devices.describeDevice(i) + "\n";
    return out;
}

constexpr const char BuiltIn[] =
    "* Local Device | Desktop | desktop | none\n"
    "  External Device | Unknown | external | none\n";

}

TEST(RemoteDevicesKinds, NamesDescriptionsAndAdb) {
    const struct { DeviceKind kind; const char* name; bool overAdb; const char* description; } Kinds[]{
        {DeviceKind::Unknown, "Unknown", false, "External device, the editor will wait for a localhost connection"},
        {DeviceKind::Desktop, "Desktop", false, "Local device, with browser controlled by the editor"},
        {DeviceKind::Android, "Android", true, "Android device, remoted controlled over adb"},
        {DeviceKind::MetaQuest, "MetaQuest", true, "MetaQuest, remoted controlled over adb"},
        {DeviceKind(7), "Invalid", false, ""}};
    for(const auto& k: Kinds) {
        EXPECT_EQ(deviceKindName(k.kind), k.name);
        EXPECT_EQ(deviceKindOverAdb(k.kind), k.overAdb) << k.name;
        EXPECT_EQ(deviceKindDescription(k.kind), k.description) << k.name;
    }
}

/* Each listing also with Windows line ends, refreshing the same list; the
   expected lines follow the two built-in entries */
TEST_F(RemoteDevicesTest, Listings) {
    EXPECT_FALSE(devices.adbUsed());
    const struct { const char* name; const char* listing; const char* expected; } cases[]{
        {"phone and Quest", "List of devices attached\n"
            "R58M40ABCDE            device usb:1-2 product:beyond1lte model:SM_G973F device:beyond1 transport_id:2\n"
            "1WMHH815X21234         device usb:1-1 product:hollywood model:Quest_2 device:hollywood transport_id:1\n",
            "  beyond1lte (Android) | Android | R58M40ABCDE | none\n"
            "  hollywood (MetaQuest) | MetaQuest | 1WMHH815X21234 | guardian-active\n"},
        {"unauthorised device", "List of devices attached\n"
            "R58M40ABCDE            unauthorized usb:1-2 transport_id:3\n",
            "  pending auth (Android) | Android | R58M40ABCDE | none\n"},
        {"lines before the header",
            "* daemon not running; starting now at tcp:5037\n* daemon started successfully\n"
            "EARLY0001 device product:early\nList of devices attached\n"
            "emulator-5554          device product:sdk_gphone64 model:sdk_gphone64_x86_64 transport_id:5\n",
            "  sdk_gphone64 (Android) | Android | emulator-5554 | none\n"},
        {"repeated header, blank lines and tabs", "List of devices attached\n   \t \n"
            "emulator-5554\tdevice\tproduct:first product:second\nList of devices attached\n",
            "  second (Android) | Android | emulator-5554 | none\n"},
    };
    for(const auto& c: cases) for(const char* lineEnd: {"\n", "\r\n"}) {
        SCOPED_TRACE(c.name + std::string{lineEnd[0] == '\r' ? ", CRLF" : ""});
        answer("devices", String::replaceAll(c.listing, "\n", lineEnd));
        const std::size_t count = devices.refresh();
        EXPECT_EQ(count, devices.deviceCount());
        EXPECT_EQ(describeAll(devices), std::string{BuiltIn} + c.expected);
    }
    EXPECT_TRUE(devices.adbUsed());
    EXPECT_EQ(log.problems(), "");
}

TEST_F(RemoteDevicesTest, RecordsAndLogLines) {
    answer("devices", "List of devices attached\nR58M40ABCDE device product:beyond1lte model:SM_G973F\n"
        "1WMHH815X21234 device product:hollywood model:Quest_2\n");
    answer("proximity-1WMHH815X21234", "Virtual proximity state: DISABLED\n");
    answer("guardian-1WMHH815X21234", "1\n");

    EXPECT_EQ(devices.refresh(), 4u);
    const std::string quoted = String::shellQuote(adbPath);
    EXPECT_EQ(log.all(),
        "[adb] " + quoted + " --exit-on-write-error devices -l\n"
        "[adb] " + quoted + " -s '1WMHH815X21234' shell dumpsys vrpowermanager\n"
        "[adb] " + quoted + " -s '1WMHH815X21234' shell getprop debug.oculus.guardian_pause\n");
    EXPECT_EQ(devices.describeDevice(3), "  hollywood (MetaQuest) | MetaQuest | 1WMHH815X21234 | proximity-disabled");
    EXPECT_EQ(devices.devices()[3].name, "hollywood");
    EXPECT_EQ(devices.devices()[1].name, "External Device");

    /* Probing anything but a Quest runs nothing */
    log.clear();
    devices.queryDeviceState(0);
    devices.queryDeviceState(2);
    EXPECT_EQ(log.all(), "");
    devices.queryDeviceState(4);
    EXPECT_EQ(log.error(), "RemoteDevices::queryDeviceState(): index 4 out of range for 4 devices\n");
    EXPECT_EQ(devices.describeDevice(4), "");
}

TEST_F(RemoteDevicesTest, FailedListingKeepsTheBuiltInEntries) {
    answer("devices", "adb: failed to check server version: cannot connect to daemon\n", 1);
    EXPECT_EQ(devices.refresh(), 2u);
    EXPECT_EQ(describeAll(devices), BuiltIn);
    EXPECT_EQ(log.error(), "[RemoteDevices] Error while running ADB command:\n" + String::shellQuote(adbPath) +
        " --exit-on-write-error devices -l\nadb: failed to check server version: cannot connect to daemon\n\n");
}

TEST_F(RemoteDevicesTest, SelectionResetsWhenOutOfRange) {
    answer("devices", "List of devices attached\nR58M40ABCDE device product:beyond1lte\n");
    devices.setSelected(3);
    EXPECT_EQ(devices.selectedDevice(), nullptr);
    EXPECT_EQ(devices.refresh(), 3u);
    EXPECT_EQ(devices.selected(), 0u);

    devices.setSelected(2);
    EXPECT_EQ(devices.refresh(), 3u);
    EXPECT_EQ(devices.selectedDevice(), &devices.devices()[2]);
    EXPECT_EQ(devices.describeDevice(2), "* beyond1lte (Android) | Android | R58M40ABCDE | none");
}

/* A Quest probed again and again with canned proximity and guardian answers
   (output, exit status), each row starting from the flags the one before left */
TEST_F(RemoteDevicesTest, ProbeFlags) {
    const struct {
        const char* name; const char* proximity; int proximityStatus; const char* guardian; int guardianStatus;
        std::uint32_t after;
    } cases[]{
        {"close, guardian 1", "Virtual proximity state: CLOSE\n", 0, "1\n", 0, 0},
        {"disabled, guardian 0", "Virtual proximity state: DISABLED\n", 0, "0\n", 0, 3},
        {"other state, guardian 1", "Virtual proximity state: FAR\n", 0, "1\n", 0, 1},
        {"guardian empty keeps clear", "Virtual proximity state: DISABLED\n", 0, "\n", 0, 1},
        {"both fail", "Virtual proximity state: CLOSE\n", 1, "1\n", 1, 3},
        {"guardian empty keeps set", "Virtual proximity state: CLOSE\n", 0, "", 0, 2},
    };
    answer("devices", "List of devices attached\nQ1 device product:eureka model:Quest_3\n");
    ASSERT_EQ(devices.refresh(), 3u);
    /* Without answers the guardian is taken to be active */
    ASSERT_EQ(devices.devices()[2].flags, std::uint32_t(GuardianActive));
    for(const auto& c: cases) {
        SCOPED_TRACE(c.name);
        answer("proximity-Q1", c.proximity, c.proximityStatus);
        answer("guardian-Q1", c.guardian, c.guardianStatus);
        devices.queryDeviceState(2);
        EXPECT_EQ(devices.devices()[2].flags, c.after);
    }
    EXPECT_EQ(log.problems(), "");
}

TEST_F(RemoteDevicesTest, SerialsCannotRunCommands) {
    /* A serial that closes a single quote and substitutes a command */
    const std::string pwned = temp / "pwned", serial = "abc'$(touch${IFS}" + pwned + ")'";
    answer("devices", "List of devices attached\n" + serial + " device product:eureka model:Quest_3\n");
    ASSERT_EQ(devices.refresh(), 3u);
    EXPECT_FALSE(Path::exists(pwned));
    /* It reached adb as one untouched argument */
    EXPECT_EQ(calls(), "[--exit-on-write-error][devices][-l]\n[-s][" + serial + "][shell][dumpsys][vrpowermanager]\n"
        "[-s][" + serial + "][shell][getprop][debug.oculus.guardian_pause]\n");
}
