// "Subject info setup" (SubjectModeDialog): how the station keeps subject data, "Abbreviated"
// (its own subject dialog) or "Extended" (the subject register).
#pragma once

#include <QDialog>

#include <cstdint>

class QRadioButton;

namespace vanta {

class SubjectModeDialog : public QDialog {
    Q_OBJECT
public:
    // Shows the mode: 0 checks "Abbreviated", 1 "Extended", any other value neither.
    explicit SubjectModeDialog(uint8_t subjectLibraryMode, QWidget* parent = nullptr);

    // The choice as the station stores it: 0 for "Abbreviated", 1 for anything else.
    uint8_t mode() const;

    // Opens the dialog modally; OK stores the choice into `subjectLibraryMode`, Cancel
    // leaves it as it was. True on OK.
    static bool edit(uint8_t& subjectLibraryMode, QWidget* parent = nullptr);

private:
    QRadioButton* abbreviated_;
    QRadioButton* extended_;
};

}  // namespace vanta
