#include "Editor/Dialogs.h"

#include <cstdio>
#include <cstdlib>

#include "Base/String.h"

namespace ZandelleEngine {

namespace {

std::string describeFilters(const DialogFilters& filters) {
    std::vector<std::string> parts;
    for(const auto& f: filters) parts.push_back(f.first + "=" + f.second);
    return String::join(parts, ",");
}

}

std::vector<std::string> HeadlessDialogs::next() {
    if(_answers.empty()) return {};
    std::vector<std::string> answer = std::move(_answers.front());
    _answers.pop_front();
    return answer;
}

std::vector<std::string> HeadlessDialogs::openFile(const std::string& title, const std::string& startDirectory,
    const DialogFilters& filters, bool multiple)
{
    _requests.push_back("open|" + title + "|" + startDirectory + "|" + describeFilters(filters) + (multiple ? "|multiple" : "|single"));
    return next();
}

std::string HeadlessDialogs::saveFile(const std::string& title, const std::string& startDirectory, const DialogFilters& filters) {
    _requests.push_back("save|" + title + "|" + startDirectory + "|" + describeFilters(filters));
    std::vector<std::string> answer = next();
    return answer.empty() ? std::string{} : answer.front();
}

std::string HeadlessDialogs::selectFolder(const std::string& title, const std::string& startDirectory) {
    _requests.push_back("folder|" + title + "|" + startDirectory);
    std::vector<std::string> answer = next();
    return answer.empty() ? std::string{} : answer.front();
}

void HeadlessDialogs::message(const std::string& title, const std::string& text, DialogIcon icon) {
    const char* icons[]{"info", "warning", "error", "question"};
    _requests.push_back("message|" + title + "|" + text + "|" + icons[int(icon)]);
}

namespace {

class ZenityDialogs: public Dialogs {
    public:
        std::vector<std::string> openFile(const std::string& title, const std::string& startDirectory,
            const DialogFilters& filters, bool multiple) override
        {
            std::string command = "zenity --file-selection --title=" + String::shellQuote(title);
            if(!startDirectory.empty()) command += " --filename=" + String::shellQuote(startDirectory + "/");
            for(const auto& f: filters) command += " --file-filter=" + String::shellQuote(f.first + " | " + f.second);
            if(multiple) command += " --multiple --separator='\n'";
            return String::splitWithoutEmptyParts(run(command), '\n');
        }
        std::string saveFile(const std::string& title, const std::string& startDirectory, const DialogFilters& filters) override {
            std::string command = "zenity --file-selection --save --confirm-overwrite --title=" + String::shellQuote(title);
            if(!startDirectory.empty()) command += " --filename=" + String::shellQuote(startDirectory + "/");
            for(const auto& f: filters) command += " --file-filter=" + String::shellQuote(f.first + " | " + f.second);
            return std::string{String::trim(run(command))};
        }
        std::string selectFolder(const std::string& title, const std::string& startDirectory) override {
            std::string command = "zenity --file-selection --directory --title=" + String::shellQuote(title);
            if(!startDirectory.empty()) command += " --filename=" + String::shellQuote(startDirectory + "/");
            return std::string{String::trim(run(command))};
        }
        void message(const std::string& title, const std::string& text, DialogIcon icon) override {
            const char* kinds[]{"--info", "--warning", "--error", "--question"};
            run(std::string{"zenity "} + kinds[int(icon)] + " --title=" + String::shellQuote(title) + " --text=" + String::shellQuote(text));
        }

    private:
        static std::string run(const std::string& command) {
            std::string output;
            std::FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
            if(!pipe) return output;
            char buffer[4096];
            std::size_t n;
            while((n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0) output.append(buffer, n);
            ::pclose(pipe);
            return output;
        }
};

}

std::unique_ptr<Dialogs> createZenityDialogs() {
    if(std::system("command -v zenity >/dev/null 2>&1") != 0) return nullptr;
    return std::make_unique<ZenityDialogs>();
}

}
