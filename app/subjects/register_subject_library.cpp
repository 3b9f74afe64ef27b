#include "app/subjects/register_subject_library.h"

#include <QMainWindow>
#include <QStatusBar>
#include <QDialog>

#include <vector>

#include "app/subjects/load_choice_dialog.h"
#include "app/subjects/subject_chooser_dialog.h"
#include "storage/name_folding.h"

namespace vanta {

namespace {

bool sameApartFromAge(const SubjectInfo& a, const SubjectInfo& b) {
    return a.name == b.name && a.sex == b.sex && a.weight == b.weight && a.height == b.height &&
           a.comment1 == b.comment1 && a.comment2 == b.comment2 && a.comment3 == b.comment3;
}

bool blank(const std::string& text) { return text.find_first_not_of(" \t\r\n") == std::string::npos; }

}  // namespace

RegisterSubjectLibrary::RegisterSubjectLibrary(std::string fallbackDataRoot, QWidget* parent)
    : fallbackDataRoot_(std::move(fallbackDataRoot)), parent_(parent) {}

void RegisterSubjectLibrary::setUi(SubjectLibraryUi ui) {
    if (ui.chooseSubject) ui_.chooseSubject = std::move(ui.chooseSubject);
    if (ui.chooseLoad) ui_.chooseLoad = std::move(ui.chooseLoad);
    if (ui.message) ui_.message = std::move(ui.message);
}

void RegisterSubjectLibrary::tell(const std::string& text) {
    tellOperator(ui_.message, parent_, QString::fromStdString(text));
}

bool RegisterSubjectLibrary::openAt(const std::string& dataRoot, bool tellOnFailure) {
    currentId_ = 0;
    if (!register_.open(dataRoot)) {
        if (tellOnFailure) tell(register_.lastMessage());
        return false;
    }
    int64_t id = 0;
    if (register_.currentSubject(product_, id)) currentId_ = id;
    return true;
}

bool RegisterSubjectLibrary::ensureOpen(bool tellOnFailure) {
    if (register_.isOpen()) return true;
    if (fallbackDataRoot_.empty()) {
        if (tellOnFailure) tell("The subject register is not open.");
        return false;
    }
    return openAt(fallbackDataRoot_, tellOnFailure);
}

void RegisterSubjectLibrary::initialise(const std::string& dataRoot, const std::string& productTag) {
    if (!productTag.empty()) product_ = productTag;
    // Operations that come later and find no register try this root again.
    if (!dataRoot.empty()) fallbackDataRoot_ = dataRoot;
    openAt(dataRoot, true);
}

bool RegisterSubjectLibrary::makeCurrent(int64_t id) {
    if (!register_.setCurrentSubject(product_, id)) {
        tell(register_.lastMessage());
        // The register refused to remember it; a subject that exists still serves this run.
        RegisteredSubject s;
        if (!register_.get(id, s)) return false;
    }
    currentId_ = id;
    return true;
}

bool RegisterSubjectLibrary::currentSubject(RegisteredSubject& out) {
    if (currentId_ == 0 || !register_.isOpen()) return false;
    return register_.get(currentId_, out);
}

bool RegisterSubjectLibrary::chooseSubject() {
    if (!ensureOpen(true)) return false;
    std::optional<int64_t> chosen;
    if (ui_.chooseSubject) {
        chosen = ui_.chooseSubject(register_, currentId_, parent_);
    } else {
        SubjectChooserDialog dlg(register_, currentId_, parent_);
        dlg.setMessageHook(ui_.message);
        dlg.setLabArchive(lab_);
        if (dlg.exec() == QDialog::Accepted && dlg.chosenId() != 0) chosen = dlg.chosenId();
    }
    if (!chosen || *chosen == 0) {
        followMerge();
        return false;
    }
    return makeCurrent(*chosen);
}

void RegisterSubjectLibrary::followMerge() {
    RegisteredSubject current, into;
    std::vector<std::string> ids;
    if (!currentSubject(current) || !register_.mergedIds(current.uuid, ids) || ids.empty()) return;
    // Merged into a subject of this register in the dialog: that one is the athlete now, and
    // the list (which no longer shows the merged one) shows it as current.
    if (ids.front() != current.uuid && register_.getByUuid(ids.front(), into)) makeCurrent(into.id);
}

bool RegisterSubjectLibrary::hasCurrentSubject() {
    if (!ensureOpen(false)) return false;
    RegisteredSubject s;
    return currentSubject(s);
}

std::string RegisterSubjectLibrary::currentSubjectKey() {
    if (!ensureOpen(false)) return {};
    RegisteredSubject s;
    return currentSubject(s) ? s.uuid : std::string();
}

bool RegisterSubjectLibrary::selectSubjectByKey(const std::string& key) {
    if (key.empty() || !ensureOpen(true)) return false;
    RegisteredSubject s;
    return register_.getByUuid(key, s) && makeCurrent(s.id);
}

void RegisterSubjectLibrary::copyCurrentSubject(SubjectInfo& subject) {
    if (!ensureOpen(false)) return;
    RegisteredSubject s;
    if (currentSubject(s)) subject = s.info;
}

void RegisterSubjectLibrary::adoptSubject(SubjectInfo& subject) {
    if (!ensureOpen(true)) return;
    if (blank(subject.name)) return;
    std::vector<RegisteredSubject> sameName;
    if (!register_.findByName(subject.name, sameName)) {
        tell(register_.lastMessage());
        return;
    }
    if (!sameName.empty()) {
        int64_t id = sameName.front().id;
        for (const RegisteredSubject& s : sameName)
            if (sameApartFromAge(s.info, subject)) {
                id = s.id;
                break;
            }
        makeCurrent(id);
        return;
    }
    // The name written otherwise ("LUCJA NOWAK" for "Łucja Nowak"): the register's subject
    // of the same folded name, when exactly one has it; two or more could be either.
    std::vector<RegisteredSubject> similar;
    if (!register_.search(subject.name, similar)) {
        tell(register_.lastMessage());
        return;
    }
    const std::string key = foldedName(subject.name);
    int64_t match = 0;
    int matches = 0;
    for (const RegisteredSubject& s : similar)
        if (foldedName(s.info.name) == key) {
            match = s.id;
            ++matches;
        }
    if (matches == 1) {
        makeCurrent(match);
        return;
    }
    SubjectInfo fromFile = subject;
    fromFile.age = 0;  // the station's age in memory belongs to whoever was entered last
    int64_t id = 0;
    if (!register_.add(fromFile, &id)) {
        tell(register_.lastMessage());
        return;
    }
    makeCurrent(id);
    // The register grew without a dialog: the status bar says so, so that a subject whose
    // name was typed otherwise in the file does not turn up unexplained.
    if (auto* window = qobject_cast<QMainWindow*>(parent_ ? parent_->window() : nullptr))
        window->statusBar()->showMessage(QStringLiteral("Subject added: ") + QString::fromStdString(fromFile.name));
}

std::string RegisterSubjectLibrary::currentDirectory() {
    RegisteredSubject s;
    if (!currentSubject(s)) return register_.dataRoot();
    std::string dir;
    if (register_.ensureDirectory(s, &dir)) return dir;
    tell(register_.lastMessage());
    return register_.dataRoot();
}

void RegisterSubjectLibrary::testDirectory(int32_t /*testTime*/, std::string& directory) {
    if (!ensureOpen(false)) return;
    directory = currentDirectory();
}

int RegisterSubjectLibrary::chooseLoadPlace() {
    // Without a register the operator can still open any test from the data folder.
    ensureOpen(false);
    RegisteredSubject s;
    const bool hasCurrent = currentSubject(s);
    const QString name = hasCurrent ? QString::fromStdString(s.info.name) : QString();
    int answer = kLoadChoiceCancelled;
    if (ui_.chooseLoad) {
        answer = ui_.chooseLoad(name, hasCurrent, parent_);
    } else {
        LoadChoiceDialog dlg(name, hasCurrent, parent_);
        answer = dlg.exec();
    }
    // The subject's tests need a subject.
    if (answer == kLoadChoiceSubjectTests && !hasCurrent) return kLoadChoiceAllData;
    return answer;
}

void RegisterSubjectLibrary::subjectDirectory(std::string& directory) {
    if (!ensureOpen(false)) return;
    directory = currentDirectory();
}

void RegisterSubjectLibrary::selectSubjectOfFile(const std::string& testFilePath) {
    if (!ensureOpen(false)) return;
    RegisteredSubject owner;
    if (register_.subjectForFile(testFilePath, owner)) {
        makeCurrent(owner.id);
        return;
    }
    // A file in no subject's folder belongs to no subject of the register as far as its
    // place tells: the current subject goes, so the file's own subject is kept (and
    // adopted) rather than the test being relabelled with whoever was current.
    if (currentId_ != 0 && !register_.setCurrentSubject(product_, 0)) tell(register_.lastMessage());
    currentId_ = 0;
}

}  // namespace vanta
