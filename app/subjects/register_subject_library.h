// The subject library of Extended mode, kept in the station's subject register (SQLite,
// below the data root). It keeps one current subject per station product, remembered in
// the register for the next start, and names that subject's data folder as the place
// for its tests.
//
// The operator's dialogs (choosing a subject, the choice before opening a test, the
// messages) go through SubjectLibraryUi; a test replaces them with scripted answers.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/subjects/subject_messages.h"
#include "station/lab_archive.h"
#include "storage/subject_library.h"
#include "storage/subject_register.h"

class QWidget;

namespace vanta {

struct SubjectLibraryUi {
    // Lets the operator search, add, edit and choose subjects; the chosen subject's id,
    // nullopt when the dialog was closed without a choice. Default: SubjectChooserDialog.
    std::function<std::optional<int64_t>(SubjectRegister& subjects, int64_t currentId, QWidget* parent)> chooseSubject;
    // The choice before opening a test: 0 cancelled, 11 the current subject's tests,
    // anything else the data folder. Default: LoadChoiceDialog.
    std::function<int(const QString& currentName, bool hasCurrent, QWidget* parent)> chooseLoad;
    // Default: the station's message box.
    MessageHook message;
};

class RegisterSubjectLibrary : public SubjectLibrary {
public:
    // `fallbackDataRoot` is where the register is opened when an operation comes before
    // initialise (a station started in Abbreviated mode and switched to Extended);
    // empty: such operations find no register.
    explicit RegisterSubjectLibrary(std::string fallbackDataRoot = {}, QWidget* parent = nullptr);

    // Replaces the operator's dialogs; an empty member keeps the default.
    void setUi(SubjectLibraryUi ui);
    void setParentWidget(QWidget* parent) { parent_ = parent; }
    // The lab's archive, where a server is set: the register's dialog adopts the lab's ids
    // and merges there first. Null: the register alone.
    void setLabArchive(LabArchive* lab) { lab_ = lab; }

    // Opens (creating when missing) the register below the data root and takes the
    // product's current subject from it. A register that cannot be opened is reported
    // to the operator; the station then works on without a current subject.
    void initialise(const std::string& dataRoot, const std::string& productTag) override;
    // The register's dialog; a chosen subject becomes current. True when one was chosen.
    // Closed without a choice after merging the current subject away, the subject it went
    // into becomes current.
    bool chooseSubject() override;
    bool hasCurrentSubject() override;
    // Every field, age included, from the current subject as the register holds it now.
    void copyCurrentSubject(SubjectInfo& subject) override;
    // A subject read from a test file while none is current: the register's subject of
    // exactly that name becomes current (of several, the one whose sex, weight, height
    // and comments also match, else the oldest); else the one subject whose name folds to
    // the same key (case and accents aside); without one the subject is added (with age
    // 0: the file does not carry it) and becomes current. A blank name adds nothing.
    // `subject` itself is not changed.
    void adoptSubject(SubjectInfo& subject) override;
    // The current subject's data folder (created when missing), whatever the test time:
    // one folder per subject.
    void testDirectory(int32_t testTime, std::string& directory) override;
    int chooseLoadPlace() override;
    // The current subject's data folder (created when missing); without a current
    // subject the data root.
    void subjectDirectory(std::string& directory) override;
    // The subject whose data folder holds the file becomes current; after a file in no
    // subject's folder there is no current subject.
    void selectSubjectOfFile(const std::string& testFilePath) override;
    std::string currentSubjectKey() override;
    bool selectSubjectByKey(const std::string& key) override;

    bool isOpen() const { return register_.isOpen(); }
    int64_t currentSubjectId() const { return currentId_; }
    SubjectRegister& subjectRegister() { return register_; }

private:
    bool ensureOpen(bool tellOnFailure);
    bool openAt(const std::string& dataRoot, bool tellOnFailure);
    bool makeCurrent(int64_t id);
    // After the register's dialog: a current subject merged into another gives way to it.
    void followMerge();
    bool currentSubject(RegisteredSubject& out);
    std::string currentDirectory();
    void tell(const std::string& text);

    SubjectRegister register_;
    std::string fallbackDataRoot_;
    std::string product_ = kSubjectLibraryProduct;
    int64_t currentId_ = 0;
    SubjectLibraryUi ui_;
    LabArchive* lab_ = nullptr;
    QWidget* parent_;
};

}  // namespace vanta
