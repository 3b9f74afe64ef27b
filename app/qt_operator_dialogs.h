// The operator dialogs on screen: Qt message boxes with the caption "vanta_check", the
// file dialogs, the subject dialogs and the About box.
#pragma once

#include <QPointer>
#include <QWidget>

#include "station/operator_dialogs.h"

namespace vanta {

class QtOperatorDialogs : public OperatorDialogs {
public:
    // Dialogs are centred on this window once it exists.
    void setParentWindow(QWidget* window) { parent_ = window; }

    void message(std::string_view text, std::string_view detail = {}) override;
    void notice(std::string_view text, std::string_view detail = {}) override;
    bool askYesNo(std::string_view text, Answer defaultAnswer = Answer::Yes) override;
    Answer askYesNoCancel(std::string_view text) override;
    // Into the status bar of the window the dialogs belong to (nothing without one).
    void showStatus(std::string_view text) override;
    std::optional<std::string> chooseFileToOpen(const std::string& initialDirectory) override;
    std::optional<std::string> chooseFileToSave(const std::string& proposedPath,
                                                const std::string& initialDirectory) override;
    bool editSubject(SubjectInfo& subject) override;
    bool editSubjectMode(uint8_t& subjectLibraryMode) override;
    bool editGraphSettings(GraphSettings& settings) override;
    void showAbout() override;

private:
    QPointer<QWidget> parent_;
};

}  // namespace vanta
