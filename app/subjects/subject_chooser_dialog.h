// The subject register's own dialog: the operator searches subjects by name, adds and
// edits them (in the "Subject dialog"), merges two that are one athlete and chooses one.
// With the lab's archive set, a new subject takes the lab's id for its name (see
// archive/lab_identity.h) and a merge is made in the lab first (station/subject_merge.h);
// the dialog asks the archive on the reader's thread and stays responsive meanwhile.
#pragma once

#include <QDialog>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/subjects/subject_messages.h"
#include "station/lab_archive.h"
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

    // Which of the lab's subjects of the name a new subject is: an index, archive::kNewLabSubject,
    // nullopt for Cancel. Opens LabSubjectPickDialog unless replaced.
    using PickHook = std::function<std::optional<int>(const std::string& name,
                                                      const std::vector<archive::ArchivedSubject>& subjects,
                                                      QWidget* parent)>;
    // A yes/no question (the merge's confirmation); true for yes. A question box unless replaced.
    using ConfirmHook = std::function<bool(const QString& question, QWidget* parent)>;

    void setEditHook(EditHook hook) { editHook_ = std::move(hook); }
    void setMessageHook(MessageHook hook) { messageHook_ = std::move(hook); }
    void setPickHook(PickHook hook) { pickHook_ = std::move(hook); }
    void setConfirmHook(ConfirmHook hook) { confirmHook_ = std::move(hook); }
    // The lab's archive where a server is set; null (the default): the register alone.
    void setLabArchive(LabArchive* lab) { lab_ = lab; }
    // How long a new subject waits for the lab's answer (archive::kLabIdWait; shorter in tests).
    void setLabWait(std::chrono::milliseconds wait) { labWait_ = wait; }

    // The subject of the selected row (0 unless exactly one row is selected).
    int64_t selectedId() const;
    // The subjects of the selected rows.
    std::vector<int64_t> selectedIds() const;
    // True while the dialog waits for the lab's archive.
    bool waitingForLab() const { return waiting_ != 0; }
    // The subject chosen with "Choose" (0 until then).
    int64_t chosenId() const { return chosenId_; }

public slots:
    // Lists the subjects whose name contains the search text, keeping the selection.
    void refresh();
    void addSubject();
    void editSubject();
    // The two selected subjects become one: the earlier-added stays.
    void mergeSubjects();
    void accept() override;

protected:
    // In the search box, Down goes to the first match and Enter chooses it.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fill(int64_t selectId);
    bool editWithHook(SubjectInfo& subject);
    void updateButtons();
    // Adds `subject` as the lab's answer says (null: none in time, or no server).
    void finishAdd(int request, const SubjectInfo& subject, const LabArchiveAnswer* answer);
    // Shows what the dialog waits for and holds its buttons; a new request's number.
    int beginWaiting(const QString& what);
    void endWaiting();

    SubjectRegister& subjects_;
    EditHook editHook_;
    MessageHook messageHook_;
    PickHook pickHook_;
    ConfirmHook confirmHook_;
    LabArchive* lab_ = nullptr;
    std::chrono::milliseconds labWait_;
    int64_t chosenId_ = 0;
    int waiting_ = 0;   // the request waited for, 0 when none
    int requests_ = 0;
    QLineEdit* search_;
    QLabel* noMatch_;  // "no subject matches": a search that finds nobody says so
    QTableWidget* table_;
    QLabel* labStatus_;  // what the dialog is waiting for from the lab's archive
    QPushButton* add_;
    QPushButton* edit_;
    QPushButton* merge_;
    QPushButton* choose_;
};

}  // namespace vanta
