// The one place through which the station talks to the operator: message boxes with the
// station's fixed texts and the caption "vanta_check", the yes/no questions, the file
// dialogs, the subject dialogs and the About box. Plain code never shows a dialog itself;
// the commands call this interface, and tests put a scripted double in its place.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/records.h"
#include "storage/settings_file.h"

namespace vanta {

// The operator's texts of the station's own commands.
inline constexpr std::string_view kMsgDataNotSaved = "Data not saved. Save?";
inline constexpr std::string_view kMsgOutsideDirectory =
    "You are about to store data outside of predefined directory.";
inline constexpr std::string_view kMsgMaxAttempts = "Max 100 attempts allowed";
inline constexpr std::string_view kMsgStandStill = "Press YES and STAND STILL FOR 1 SECOND";
inline constexpr std::string_view kMsgInternalErrorInterval = "Internal error: nInterv";

// The filter and suffix of both file dialogs.
inline constexpr const char* kTestFileFilter = "Vanta Mero Files (*.kvq)";
inline constexpr const char* kTestFileSuffix = "kvq";

// The operator's answer to a question that may also be cancelled.
enum class Answer { Yes, No, Cancel };

class OperatorDialogs {
public:
    virtual ~OperatorDialogs() = default;

    // A notice or an error, OK only. `detail` (a file's path, the reason a link gave) is
    // shown below the text, apart from it, so the text stays the station's fixed one.
    virtual void message(std::string_view text, std::string_view detail = {}) = 0;
    // A notice that something went well, OK only, with the information icon: a warning
    // would make the operator look for a fault.
    virtual void notice(std::string_view text, std::string_view detail = {}) = 0;
    // A question with Yes and No and the question icon; true for Yes. `defaultAnswer`
    // (Yes or No) is the button Enter presses: No where Yes would lose something.
    virtual bool askYesNo(std::string_view text, Answer defaultAnswer = Answer::Yes) = 0;
    // The same with a third button, Cancel (also Esc and closing the box).
    virtual Answer askYesNoCancel(std::string_view text) = 0;
    // A word in the status bar's message pane, no box: what the station did on its own
    // that the operator should still notice (a relabelled test, where an export went).
    virtual void showStatus(std::string_view text) = 0;

    // Open dialog: an existing .kvq file, no proposed name. nullopt on cancel.
    virtual std::optional<std::string> chooseFileToOpen(const std::string& initialDirectory) = 0;
    // Save dialog: proposes `proposedPath`, appends ".kvq" to a bare name and asks before
    // overwriting an existing file. nullopt on cancel.
    virtual std::optional<std::string> chooseFileToSave(const std::string& proposedPath,
                                                        const std::string& initialDirectory) = 0;

    // "Subject dialog": edits the subject in place; false on Cancel (nothing changed).
    virtual bool editSubject(SubjectInfo& subject) = 0;
    // "Subject info setup": edits the subject library mode; false on Cancel.
    virtual bool editSubjectMode(uint8_t& subjectLibraryMode) = 0;
    // "Graph setup": the axes settings dialog edits the axes and autoscale; false on
    // Cancel (nothing changed).
    virtual bool editGraphSettings(GraphSettings& settings) = 0;

    virtual void showAbout() = 0;
};

}  // namespace vanta
