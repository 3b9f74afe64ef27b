// The subject register's own dialog: the operator searches subjects by name, adds and
// edits them (in the "Subject dialog") and chooses one.
#pragma once

#include <QDialog>

#include <cstdint>
#include <functional>

#include "app/subjects/subject_messages.h"
#include "storage/subject_register.h"

class QLineEdit;
class QPushButton;
class QTableWidget;

class QLabel;

namespace vanta {

class SubjectChooserDialog : public QDialog {
    Q_OBJECT
public:
    // How a subject is edited; true when the operator confirmed. Opens the "Subject
    // dialog" unless replaced.
    using EditHook = std::function<bool(SubjectInfo& subject, QWidget* parent)>;

    // Lists every subject with `preselectId` selected (0: none).
    SubjectChooserDialog(SubjectRegister& subjects, int64_t preselectId, QWidget* parent = nullptr);

    void setEditHook(EditHook hook) { editHook_ = std::move(hook); }
    void setMessageHook(MessageHook hook) { messageHook_ = std::move(hook); }

    // The subject of the selected row (0 when none is selected).
    int64_t selectedId() const;
    // The subject chosen with "Choose" (0 until then).
    int64_t chosenId() const { return chosenId_; }

public slots:
    // Lists the subjects whose name contains the search text, keeping the selection.
    void refresh();
    void addSubject();
    void editSubject();
    void accept() override;

protected:
    // In the search box, Down goes to the first match and Enter chooses it.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fill(int64_t selectId);
    bool editWithHook(SubjectInfo& subject);
    void updateButtons();

    SubjectRegister& subjects_;
    EditHook editHook_;
    MessageHook messageHook_;
    int64_t chosenId_ = 0;
    QLineEdit* search_;
    QLabel* noMatch_;  // "no subject matches": a search that finds nobody says so
    QTableWidget* table_;
    QPushButton* edit_;
    QPushButton* choose_;
};

}  // namespace vanta
