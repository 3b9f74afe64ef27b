// "Y-axes settings & Graph options" (template 142): for each of the five graph quantities
// the axis minimum, maximum and tick step used when autoscale is Off, and the autoscale
// switch. The dialog edits a copy; the settings change only on OK.
#pragma once

#include <QDialog>

#include <array>

#include "app/subjects/subject_messages.h"
#include "graphs/axes_form.h"
#include "storage/settings_file.h"

class QLineEdit;
class QRadioButton;

namespace vanta {

class AxesDialog : public QDialog {
    Q_OBJECT
public:
    explicit AxesDialog(const GraphSettings& settings, QWidget* parent = nullptr);

    // The values: as given until OK reads every field, then as entered.
    const GraphSettings& settings() const { return settings_; }
    // Where "Please enter an integer." goes (the station's message box when empty).
    void setMessageHook(MessageHook hook) { messageHook_ = std::move(hook); }
    // The edit box of a field id (1002 ... 1019), or nullptr.
    QLineEdit* field(int id) const;

    // Opens the dialog modally; on OK the values are copied into `settings`, on Cancel (the
    // button, Esc or closing the window) it is left as it was. True on OK.
    static bool edit(GraphSettings& settings, QWidget* parent = nullptr, MessageHook hook = {});

public slots:
    // Reads the fields in the order of their ids, row by row, then the autoscale buttons.
    // The first field that is not a 32-bit integer shows "Please enter an integer." and
    // keeps the dialog open with the focus in that field.
    void accept() override;

private:
    GraphSettings settings_;
    MessageHook messageHook_;
    std::array<QLineEdit*, kAxesFieldCount> fields_{};
    QRadioButton* on_;
    QRadioButton* off_;
};

}  // namespace vanta
