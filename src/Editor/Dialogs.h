#pragma once
// Native dialogs. The editor picks an implementation: a headless one that
// answers from a queue (tests and the command line; an empty queue answers
// "cancelled"), or one that runs zenity when it is on the PATH.

#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Base/Export.h"

namespace ZandelleEngine {

/** (description, pattern), e.g. ("Zandelle Engine Project", "*.zdp") */
using DialogFilters = std::vector<std::pair<std::string, std::string>>;

enum class DialogIcon { Info, Warning, Error, Question };

class ZANDELLE_EXPORT Dialogs {
    public:
        virtual ~Dialogs() = default;
        /** Chosen paths; empty when cancelled */
        virtual std::vector<std::string> openFile(const std::string& title, const std::string& startDirectory,
            const DialogFilters& filters, bool multiple) = 0;
        /** Chosen path; empty when cancelled */
        virtual std::string saveFile(const std::string& title, const std::string& startDirectory,
            const DialogFilters& filters) = 0;
        /** Chosen directory; empty when cancelled */
        virtual std::string selectFolder(const std::string& title, const std::string& startDirectory) = 0;
        /** A message box with a single OK button */
        virtual void message(const std::string& title, const std::string& text, DialogIcon icon) = 0;
};

/** Answers from a queue and remembers every request, as "kind|title|detail" */
class ZANDELLE_EXPORT HeadlessDialogs: public Dialogs {
    public:
        void queueAnswer(std::vector<std::string> answer) { _answers.push_back(std::move(answer)); }
        void queueAnswer(std::string answer) { _answers.push_back({std::move(answer)}); }

        std::vector<std::string> openFile(const std::string& title, const std::string& startDirectory,
            const DialogFilters& filters, bool multiple) override;
        std::string saveFile(const std::string& title, const std::string& startDirectory,
            const DialogFilters& filters) override;
        std::string selectFolder(const std::string& title, const std::string& startDirectory) override;
        void message(const std::string& title, const std::string& text, DialogIcon icon) override;

        const std::vector<std::string>& requests() const { return _requests; }

    private:
        std::vector<std::string> next();

        std::deque<std::vector<std::string>> _answers;
        std::vector<std::string> _requests;
};

/** Runs zenity; null when it is not on the PATH */
ZANDELLE_EXPORT std::unique_ptr<Dialogs> createZenityDialogs();

}
