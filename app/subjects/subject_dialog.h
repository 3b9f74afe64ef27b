// "Subject dialog" (SubjectDialog): the station's own subject form in Abbreviated mode, and
// the form the subject register uses to add and edit subjects.
#pragma once

#include <QDialog>

#include "app/subjects/subject_messages.h"
#include "core/records.h"
#include "station/subject_checks.h"

class QLineEdit;
class QRadioButton;

namespace vanta {

class SubjectDialog : public QDialog {
    Q_OBJECT
public:
    // Shows `subject`; the focus starts in "Name".
    explicit SubjectDialog(const SubjectInfo& subject, QWidget* parent = nullptr);

    // The values: as given until OK passes every check, then as entered.
    const SubjectInfo& subject() const { return subject_; }
    // Where the check messages go (a message box when empty).
    void setMessageHook(MessageHook hook) { messageHook_ = std::move(hook); }
    // A subject of the register needs a name; the station's own dialog does not.
    void setNameRule(NameRule rule) { nameRule_ = rule; }

    // Opens the dialog modally on `subject`; on OK the values are copied into it at once,
    // on Cancel it is left as it was. True on OK.
    static bool edit(SubjectInfo& subject, QWidget* parent = nullptr, MessageHook hook = {},
                     NameRule nameRule = NameRule::Optional);

public slots:
    // Checks every field in the station's order; the first that fails shows its message
    // and keeps the dialog open with that field selected.
    void accept() override;

private:
    SubjectForm form() const;
    QWidget* fieldWidget(SubjectField field) const;

    SubjectInfo subject_;
    MessageHook messageHook_;
    NameRule nameRule_ = NameRule::Optional;
    QLineEdit* name_;
    QLineEdit* age_;
    QLineEdit* weight_;
    QLineEdit* height_;
    QLineEdit* comment1_;
    QLineEdit* comment2_;
    QLineEdit* comment3_;
    QRadioButton* female_;
    QRadioButton* male_;
};

}  // namespace vanta
