// Doubles for the station's tests: operator dialogs that answer from a script and write
// down what they were asked, and a subject library that records every call in order.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "station/operator_dialogs.h"
#include "storage/subject_library.h"

namespace vanta::testing {

class ScriptedDialogs : public OperatorDialogs {
public:
    // Everything the station showed or asked, in order ("message: ...", "ask: ...",
    // "ask yes/no/cancel: ...",
    // "open: <initial dir>", "save: <proposed>|<initial dir>", "subject", "mode",
    // "graph setup", "about").
    std::vector<std::string> log;
    std::vector<std::string> messages;
    std::vector<std::string> details;  // one per message, empty where none was given
    std::vector<std::string> notices;  // the messages shown with the information icon

    std::deque<bool> yesNoAnswers;                   // default: No
    std::vector<Answer> yesNoDefaults;               // each yes/no question's default button
    std::deque<Answer> yesNoCancelAnswers;           // default: No
    std::vector<std::string> statuses;               // the status bar's words, in order
    std::deque<std::optional<std::string>> openAnswers;  // default: cancel
    std::deque<std::optional<std::string>> saveAnswers;  // default: cancel
    bool subjectAnswer = false;
    SubjectInfo subjectToEnter;
    std::optional<uint8_t> modeToChoose;
    std::optional<GraphSettings> graphSettingsToEnter;  // default: Cancel

    void message(std::string_view text, std::string_view detail = {}) override {
        messages.emplace_back(text);
        details.emplace_back(detail);
        log.push_back("message: " + std::string(text));
    }
    // A notice is a message too (in `messages` and `details`), logged as "notice: ...".
    void notice(std::string_view text, std::string_view detail = {}) override {
        messages.emplace_back(text);
        details.emplace_back(detail);
        notices.emplace_back(text);
        log.push_back("notice: " + std::string(text));
    }
    bool askYesNo(std::string_view text, Answer defaultAnswer = Answer::Yes) override {
        log.push_back("ask: " + std::string(text));
        yesNoDefaults.push_back(defaultAnswer);
        return pop(yesNoAnswers, false);
    }
    Answer askYesNoCancel(std::string_view text) override {
        log.push_back("ask yes/no/cancel: " + std::string(text));
        return pop(yesNoCancelAnswers, Answer::No);
    }
    void showStatus(std::string_view text) override { statuses.emplace_back(text); }
    std::optional<std::string> chooseFileToOpen(const std::string& initialDirectory) override {
        log.push_back("open: " + initialDirectory);
        return pop(openAnswers, std::optional<std::string>());
    }
    std::optional<std::string> chooseFileToSave(const std::string& proposed, const std::string& initial) override {
        log.push_back("save: " + proposed + "|" + initial);
        return pop(saveAnswers, std::optional<std::string>());
    }
    bool editSubject(SubjectInfo& subject) override {
        log.push_back("subject");
        if (subjectAnswer) subject = subjectToEnter;
        return subjectAnswer;
    }
    bool editSubjectMode(uint8_t& mode) override {
        log.push_back("mode");
        if (!modeToChoose) return false;
        mode = *modeToChoose;
        return true;
    }
    bool editGraphSettings(GraphSettings& settings) override {
        log.push_back("graph setup");
        if (!graphSettingsToEnter) return false;
        settings = *graphSettingsToEnter;
        return true;
    }
    void showAbout() override { log.push_back("about"); }

    bool asked(const std::string& entry) const {
        for (const auto& e : log)
            if (e == entry) return true;
        return false;
    }

private:
    template <typename T>
    static T pop(std::deque<T>& q, T fallback) {
        if (q.empty()) return fallback;
        T v = q.front();
        q.pop_front();
        return v;
    }
};

class RecordingLibrary : public SubjectLibrary {
public:
    std::vector<std::string> calls;

    // Answers
    bool subjectDialogAnswer = false;
    bool hasSubject = false;
    bool subjectDialogMakesSubject = true;  // a chosen subject becomes the current one
    int loadDialogAnswer = 1;
    std::string dataDirectory;     // testDirectory
    std::string libraryDirectory;  // subjectDirectory
    SubjectInfo librarySubject;
    SubjectInfo converted;         // what adoptSubject received

    void initialise(const std::string& root, const std::string& product) override {
        calls.push_back("initialise " + root + " " + product);
    }
    bool chooseSubject() override {
        calls.push_back("chooseSubject");
        if (subjectDialogAnswer && subjectDialogMakesSubject) hasSubject = true;
        return subjectDialogAnswer;
    }
    bool hasCurrentSubject() override {
        calls.push_back("hasCurrentSubject");
        return hasSubject;
    }
    void copyCurrentSubject(SubjectInfo& subject) override {
        calls.push_back("copyCurrentSubject");
        subject = librarySubject;
    }
    void adoptSubject(SubjectInfo& subject) override {
        calls.push_back("adoptSubject");
        converted = subject;
    }
    void testDirectory(int32_t testTime, std::string& directory) override {
        calls.push_back("testDirectory " + std::to_string(testTime));
        directory = dataDirectory;
    }
    int chooseLoadPlace() override {
        calls.push_back("chooseLoadPlace");
        return loadDialogAnswer;
    }
    void subjectDirectory(std::string& directory) override {
        calls.push_back("subjectDirectory");
        directory = libraryDirectory;
    }
    void selectSubjectOfFile(const std::string& path) override { calls.push_back("selectSubjectOfFile " + path); }
    // The register's permanent ids: `currentKey` is the current subject's; a key in
    // `knownKeys` can be made current.
    std::string currentKey;
    std::vector<std::string> knownKeys;
    std::string currentSubjectKey() override { return hasSubject ? currentKey : std::string(); }
    bool selectSubjectByKey(const std::string& key) override {
        calls.push_back("selectSubjectByKey " + key);
        for (const std::string& k : knownKeys)
            if (k == key) {
                currentKey = key;
                hasSubject = true;
                return true;
            }
        return false;
    }
};

}  // namespace vanta::testing
