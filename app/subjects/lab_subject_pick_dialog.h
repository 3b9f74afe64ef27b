// The question when the lab's archive knows several subjects of the name the operator
// typed: which one is this athlete, or a new subject.
#pragma once

#include <QDialog>

#include <optional>
#include <string>
#include <vector>

#include "archive/server_archive.h"

class QTableWidget;

namespace vanta {

class LabSubjectPickDialog : public QDialog {
    Q_OBJECT
public:
    // One row per subject of the lab (name, sex, height, the id's first 8 characters), and
    // "A new subject" last; the first row selected.
    LabSubjectPickDialog(const std::string& name, const std::vector<archive::ArchivedSubject>& subjects,
                         QWidget* parent = nullptr);

    // The subject's index, archive::kNewLabSubject for "A new subject".
    int choice() const;

    // Opens the dialog modally: the choice, nullopt after Cancel.
    static std::optional<int> ask(const std::string& name, const std::vector<archive::ArchivedSubject>& subjects,
                                  QWidget* parent);

private:
    QTableWidget* table_;
    int subjects_;
};

}  // namespace vanta
