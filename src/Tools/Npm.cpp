#include "Tools/Npm.h"

#include <array>
#include <charconv>
#include <functional>
#include <memory>

#include <fmt/format.h>
#include <rapidjson/document.h>

#include "Base/Log.h"
#include "Base/Path.h"
#include "Base/String.h"
#include "Editor/Json.h"
#include "Editor/ZandelleEditor.h"

namespace ZandelleEngine {

namespace {

constexpr std::string_view ApiPackage = "@zandelleengine/api";

/* Keeps the install's progress record alive and referenced for as long as
   the job exists (the reference goes first). A job dropped by cancelAll()
   before it ran clears the running flag here, or project activation would
   skip its scripting update from then on. */
struct TaskHold {
    TaskHold(ZandelleEditor& editor, std::shared_ptr<Progress> task):
        editor{editor}, task{std::move(task)}, reference{*this->task} {}
    ~TaskHold() { if(!ran) editor.npmInstallRunning = false; }
    TaskHold(const TaskHold&) = delete;
    TaskHold& operator=(const TaskHold&) = delete;

    ZandelleEditor& editor;
    std::shared_ptr<Progress> task;
    ProgressReference reference;
    bool ran = false;
};

/* "major.minor.patch", each an optional "-" and decimal digits; empty for
   anything else, prerelease suffixes included */
std::optional<std::array<int, 3>> parseVersion(std::string_view text) {
    const std::vector<std::string> fields = String::split(text, '.');
    if(fields.size() != 3) return {};
    std::array<int, 3> out;
    for(std::size_t i = 0; i != 3; ++i) {
        std::string_view field = fields[i];
        const bool negative = !field.empty() && field.front() == '-';
        if(negative) field.remove_prefix(1);
        if(field.empty()) return {};
        for(char c: field) if(c < '0' || c > '9') return {};
        int value;
        const std::from_chars_result r = std::from_chars(field.data(), field.data() + field.size(), value);
        if(r.ec != std::errc{}) return {};
        out[i] = negative ? -value : value;
    }
    return out;
}

/* npm with @p arguments in the project root, made on the calling thread so
   that a job can run it without reading the project */
std::function<CommandResult()> npmCommand(ZandelleEditor& editor, std::string_view arguments) {
    return [command = String::shellQuote(editor.npmExecutable) + " " + std::string{arguments},
            directory = editor.data().project().root(), limits = CommandLimits{editor.npmTimeout}] {
        return runCommand(command, directory, limits);
    };
}

}

CommandResult npm(ZandelleEditor& editor, std::string_view arguments) {
    return npmCommand(editor, arguments)();
}

std::optional<int> npmInstall(ZandelleEditor& editor, bool preferOffline) {
    if(editor.npmExecutable.empty()) return {};
    const std::string packageJson = editor.data().project().packageJsonPath();
    if(!Path::exists(packageJson) || Path::isDirectory(packageJson)) return {};

    editor.npmInstallRunning = true;
    auto hold = std::make_shared<TaskHold>(editor, editor.addTask("Npm install", 2));
    const auto install = npmCommand(editor, preferOffline ? "i --no-audit --prefer-offline" : "i --no-audit");
    return editor.jobSystem->dispatchFunc([&editor, install, hold](JobSystem&, int) {
        hold->ran = true;
        Progress& progress = *hold->reference;
        ++progress.done;
        Debug{} << "[npm] Installing dependencies...";
        const CommandResult result = install();
        editor.npmInstallRunning = false;
        if(!result) {
            Debug{} << "\n[npm] Failed to install dependencies!";
            Error{} << result.error().output;
        } else {
            Debug{} << "[npm] Dependencies installed successfully!";
            editor.dependenciesInstalled = true;
        }
        ++progress.done;
        return result ? JobResult::Success : JobResult::Failure;
    });
}

std::string readInstalledPackageVersion(std::string_view projectRoot, std::string_view packageName) {
    const std::string path = Path::join(projectRoot, "package-lock.json");
    if(!Path::exists(path)) return {};
    std::optional<std::string> text = Path::readString(path);
    if(!text) return {};
    std::string_view json = *text;
    if(String::beginsWith(json, "\xEF\xBB\xBF")) json.remove_prefix(3);

    JsonDocument document;
    if(Json::parse(document, json) || !document.IsObject()) return {};
    const auto packages = document.FindMember("packages");
    if(packages == document.MemberEnd() || !packages->value.IsObject()) return {};
    const std::string key = "node_modules/" + std::string{packageName};
    const auto package = packages->value.FindMember(rapidjson::StringRef(key.data(), key.size()));
    if(package == packages->value.MemberEnd() || !package->value.IsObject()) return {};
    const auto version = package->value.FindMember("version");
    if(version == package->value.MemberEnd() || !version->value.IsString()) return {};
    return {version->value.GetString(), version->value.GetStringLength()};
}

bool isApiPackageOutdated(std::string_view projectRoot) {
    const std::optional<std::array<int, 3>> version = parseVersion(readInstalledPackageVersion(projectRoot, ApiPackage));
    return version && *version < std::array<int, 3>{1, 1, 0};
}

bool upgradeApiPackage(ZandelleEditor& editor) {
    const std::string installed = readInstalledPackageVersion(editor.data().project().root(), ApiPackage);
    if(installed.empty()) return false;

    const std::optional<std::array<int, 3>> version = parseVersion(installed);
    if(!version) {
        Warning{} << "Could not determine @zandelleengine/api version";
        return false;
    }
    if(*version >= std::array<int, 3>{1, 1, 0} || editor.npmExecutable.empty()) return false;

    const CommandResult result = npm(editor, "update @zandelleengine/api");
    if(!result) {
        Error{} << "[npm] Failed to update @zandelleengine/api to latest compatible version:";
        Error{} << result.error().output;
        return false;
    }
    editor.userMessages.emplace_back("Package Upgrade", fmt::format(
        "We updated @zandelleengine/api npm package to 1.{} for you, which\n"
        "is required for the project to run on this version of the editor.\n\n"
        "If you use new API in your code, make sure to set it as minimum\n"
        "required version in your package.json by editing it manually or\n"
        "running:\n"
        "npm i --save @zandelleengine/api@^1.{}.0\n\n"
        "To revert the update, run the following command:\n"
        "npm i @zandelleengine/api@{}\n", 1, 1, installed));
    return true;
}

}
