// File > "Open from archive...": the lab's tests (subject, date, loads, sides, the station
// that recorded it), searched by subject as the register searches names. With a server set
// the list is the lab's, this station's index on show until it arrives; without one, or
// when the server cannot be reached, the index's tests alone, and the dialog says so.
// Open fetches the chosen test's bytes (from the server, on the reader's thread); the
// window then files and opens them.
#pragma once

#include <QDialog>

#include <optional>
#include <string>
#include <vector>

#include "archive/archive_types.h"
#include "station/lab_archive.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace vanta {

class OpenFromArchiveDialog : public QDialog {
    Q_OBJECT
public:
    // `local`: this station's index; its tests name `thisStation`. `lab` may be null.
    OpenFromArchiveDialog(LabArchive* lab, std::vector<archive::IndexedTest> local, const std::string& thisStation,
                          bool sidesSwapped, QWidget* parent = nullptr);

    // After Accepted: the chosen test, and its bytes where they came from the server (a
    // test of this station's index alone is read from its own file: no bytes).
    const archive::IndexedTest& chosen() const { return chosen_; }
    const std::optional<std::string>& fetchedBytes() const { return bytes_; }
    // Why the last fetch failed ("" when none did).
    const std::string& fetchFailure() const { return failure_; }

private:
    void showTests();
    void takeList(LabArchiveAnswer answer);
    void openChosen();
    void setSource(const char* text);

    LabArchive* lab_;
    std::vector<archive::IndexedTest> local_;
    std::vector<archive::IndexedTest> tests_;  // what the list holds, in its order
    std::vector<bool> onServer_;
    std::string thisStation_;
    bool sidesSwapped_;
    archive::IndexedTest chosen_;
    std::optional<std::string> bytes_;
    std::string failure_;
    QLabel* source_ = nullptr;
    QLineEdit* search_ = nullptr;
    QTreeWidget* list_ = nullptr;
    QPushButton* open_ = nullptr;
};

}  // namespace vanta
