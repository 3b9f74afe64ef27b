// The subject register's dialogs and the subject library the station calls in Extended
// mode, with the operator's answers scripted.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "app/subjects/load_choice_dialog.h"
#include "app/subjects/register_subject_library.h"
#include "app/subjects/subject_chooser_dialog.h"

using namespace vanta;
namespace fs = std::filesystem;

namespace {

SubjectInfo person(const std::string& name, int age = 30, int weight = 70) {
    SubjectInfo s;
    s.name = name;
    s.sex = 0;
    s.age = age;
    s.weight = weight;
    s.height = 170;
    return s;
}

// The lab's archive as a test sets it: it knows the subjects of each name given, answers
// at once unless told to hold, and agrees to a merge or refuses it with a reason.
struct FakeLab : LabArchive {
    std::map<std::string, std::vector<archive::ArchivedSubject>> byName;
    bool holds = false;
    std::vector<Done> held;
    std::vector<std::string> sent;  // ids of new subjects the lab was told about
    std::string refusal;            // non-empty: a merge is refused with it
    std::vector<std::pair<std::string, std::string>> merges;

    void subjectTests(const std::string&, const std::string&, Done) override {}
    void listTests(Done) override {}
    void fetch(const std::string&, Done) override {}
    void findSubjects(const std::string& name, Done done) override {
        if (holds) return held.push_back(std::move(done));
        LabArchiveAnswer a;
        a.ok = true;
        a.subjects = byName[name];
        done(std::move(a));
    }
    void storeSubject(const RegisteredSubject& subject, Done) override { sent.push_back(subject.uuid); }
    void mergeSubjects(const RegisteredSubject& keep, const RegisteredSubject& gone, Done done) override {
        merges.emplace_back(keep.uuid, gone.uuid);
        LabArchiveAnswer a;
        a.ok = refusal.empty();
        a.reason = refusal;
        done(std::move(a));
    }
};

archive::ArchivedSubject labSubject(const std::string& id, const std::string& name) {
    archive::ArchivedSubject s;
    s.id = id;
    s.name = name;
    return s;
}

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

class SubjectLibraryTest : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;
    std::string root;
    QStringList messages;

    // A library whose dialogs answer as the test says.
    struct Scripted {
        std::optional<int64_t> choice;
        int load = kLoadChoiceAllData;
        bool loadAsked = false;
        bool loadHadCurrent = false;
        QString loadName;
    };

    void script(RegisterSubjectLibrary& lib, Scripted& answers) {
        SubjectLibraryUi ui;
        ui.chooseSubject = [&answers](SubjectRegister&, int64_t, QWidget*) { return answers.choice; };
        ui.chooseLoad = [&answers](const QString& name, bool hasCurrent, QWidget*) {
            answers.loadAsked = true;
            answers.loadHadCurrent = hasCurrent;
            answers.loadName = name;
            return answers.load;
        };
        ui.message = [this](QWidget*, const QString& text) { messages << text; };
        lib.setUi(std::move(ui));
    }

    int64_t addTo(const std::string& dataRoot, const SubjectInfo& s) {
        SubjectRegister reg;
        if (!reg.open(dataRoot)) return 0;
        int64_t id = 0;
        reg.add(s, &id);
        return id;
    }

private slots:
    void init() {
        messages.clear();
        static int n = 0;
        root = tmp.path().toStdString() + "/run" + std::to_string(++n) + "/DATA";
    }

    void chooserSearchesAddsEditsAndChooses() {
        SubjectRegister reg;
        QVERIFY(reg.open(root));
        int64_t eva = 0, jan = 0;
        QVERIFY(reg.add(person("Eva Malá"), &eva));
        QVERIFY(reg.add(person("Jan Novák"), &jan));

        SubjectChooserDialog dlg(reg, jan);
        std::vector<SubjectInfo> edits;
        dlg.setEditHook([&edits](SubjectInfo& s, QWidget*) {
            edits.push_back(s);
            if (s.name.empty()) {
                s = person("Petr Nový", 25);
            } else {
                s.age = 99;
            }
            return true;
        });
        dlg.setMessageHook([this](QWidget*, const QString& t) { messages << t; });
        dlg.show();
        auto* table = dlg.findChild<QTableWidget*>("subjects");
        auto* choose = dlg.findChild<QPushButton*>("choose");
        QCOMPARE(table->rowCount(), 2);
        QCOMPARE(dlg.selectedId(), jan);  // the current subject is preselected

        // The name column takes a long name on one line; the numbers' columns are narrow.
        const QString longName = QStringLiteral("Maximilian Alexander Novotny");
        QVERIFY(table->columnWidth(0) > table->fontMetrics().horizontalAdvance(longName));
        for (int c = 1; c <= 4; ++c) QVERIFY(table->columnWidth(c) < table->columnWidth(0) / 2);

        // Case and accents do not matter in the search.
        QTest::keyClicks(dlg.findChild<QLineEdit*>("search"), "mala");
        QCOMPARE(table->rowCount(), 1);
        QCOMPARE(table->item(0, 0)->text(), QStringLiteral("Eva Malá"));
        QCOMPARE(dlg.selectedId(), int64_t{0});
        QVERIFY(!choose->isEnabled());
        QTest::mouseClick(choose, Qt::LeftButton);
        QVERIFY(dlg.isVisible());  // nothing to choose yet

        // Keyboard only: a search that finds nobody says so; Down goes to the first match.
        auto* search = dlg.findChild<QLineEdit*>("search");
        auto* noMatch = dlg.findChild<QLabel*>("noMatch");
        QVERIFY(noMatch && noMatch->isHidden());
        QTest::keyClicks(search, "x");
        QCOMPARE(table->rowCount(), 0);
        QVERIFY(!noMatch->isHidden());
        QCOMPARE(noMatch->text(), QStringLiteral("no subject matches"));
        QTest::keyClick(search, Qt::Key_Return);
        QVERIFY(dlg.isVisible());
        QTest::keyClick(search, Qt::Key_Backspace);
        QVERIFY(noMatch->isHidden());
        QTest::keyClick(search, Qt::Key_Down);
        QCOMPARE(dlg.selectedId(), eva);
        table->clearSelection();

        // Add: the form starts empty with no sex chosen; the new subject is shown chosen.
        QTest::mouseClick(dlg.findChild<QPushButton*>("add"), Qt::LeftButton);
        QCOMPARE(edits.size(), size_t{1});
        QCOMPARE(edits[0].sex, -1);
        QCOMPARE(table->rowCount(), 3);
        const int64_t petr = dlg.selectedId();
        RegisteredSubject added;
        QVERIFY(reg.get(petr, added));
        QCOMPARE(added.info.name, std::string("Petr Nový"));

        // Edit the selected subject.
        QTest::mouseClick(dlg.findChild<QPushButton*>("edit"), Qt::LeftButton);
        QCOMPARE(edits.size(), size_t{2});
        QCOMPARE(edits[1].name, std::string("Petr Nový"));
        QVERIFY(reg.get(petr, added));
        QCOMPARE(added.info.age, 99);
        QCOMPARE(dlg.selectedId(), petr);

        QTest::mouseClick(choose, Qt::LeftButton);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.chosenId(), petr);
        QVERIFY(messages.isEmpty());

        // Type, Enter: the first match is chosen.
        SubjectChooserDialog typed(reg, 0);
        typed.show();
        QTest::keyClicks(typed.findChild<QLineEdit*>("search"), "nov");
        QTest::keyClick(typed.findChild<QLineEdit*>("search"), Qt::Key_Return);
        QCOMPARE(typed.result(), int(QDialog::Accepted));
        QCOMPARE(typed.chosenId(), jan);
    }

    void chooserCancelChoosesNothingAndAnEditCancelledChangesNothing() {
        SubjectRegister reg;
        QVERIFY(reg.open(root));
        int64_t eva = 0;
        QVERIFY(reg.add(person("Eva"), &eva));
        SubjectChooserDialog dlg(reg, eva);
        dlg.setEditHook([](SubjectInfo& s, QWidget*) {
            s.name = "changed";
            return false;  // the operator pressed Cancel
        });
        dlg.show();
        QTest::mouseClick(dlg.findChild<QPushButton*>("edit"), Qt::LeftButton);
        QTest::mouseClick(dlg.findChild<QPushButton*>("add"), Qt::LeftButton);
        RegisteredSubject s;
        QVERIFY(reg.get(eva, s));
        QCOMPARE(s.info.name, std::string("Eva"));
        std::vector<RegisteredSubject> all;
        QVERIFY(reg.search("", all));
        QCOMPARE(all.size(), size_t{1});
        QTest::mouseClick(dlg.findChild<QPushButton*>("cancel"), Qt::LeftButton);
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QCOMPARE(dlg.chosenId(), int64_t{0});
    }

    // After Add... (whose dialog leaves the focus wherever it was), Enter chooses the
    // subject added, whichever button has the focus: Choose is the one default.
    void enterChoosesAfterAnAdd() {
        SubjectRegister reg;
        QVERIFY(reg.open(root));
        SubjectChooserDialog dlg(reg, 0);
        dlg.setEditHook([](SubjectInfo& s, QWidget*) {
            s.name = "Ida Berg";
            return true;
        });
        dlg.show();
        QTest::mouseClick(dlg.findChild<QPushButton*>("add"), Qt::LeftButton);
        for (const char* focused : {"add", "cancel"}) {
            auto* button = dlg.findChild<QPushButton*>(focused);
            button->setFocus();
            QVERIFY2(!button->isDefault(), focused);
        }
        QTest::keyClick(dlg.findChild<QPushButton*>("cancel"), Qt::Key_Return);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        RegisteredSubject s;
        QVERIFY(reg.get(dlg.chosenId(), s));
        QCOMPARE(s.info.name, std::string("Ida Berg"));
    }

    // With the lab's archive set: one subject of the name there gives its id, several are
    // the operator's choice (Cancel adds nobody), none gives an id of this station that the
    // lab learns at once, and no answer in time gives one too, without a word.
    void newSubjectTakesTheLabsIdOrAsksOrKeepsItsOwn() {
        const std::string annB = "0b5e1d2c-1111-4a4a-8b8b-000000000001";
        const std::string boB = "0b5e1d2c-2222-4a4a-8b8b-000000000002";
        const std::string boC = "0c7f3e4d-3333-4a4a-8b8b-000000000003";
        FakeLab lab;
        lab.byName["Ann Lee"] = {labSubject(annB, "ANN LEE")};
        lab.byName["Bo Ek"] = {labSubject(boB, "Bo Ek"), labSubject(boC, "Bo Ek")};
        SubjectRegister reg;
        QVERIFY(reg.open(root));
        SubjectChooserDialog dlg(reg, 0);
        dlg.setLabArchive(&lab);
        dlg.setMessageHook([this](QWidget*, const QString& t) { messages << t; });
        std::string typed;
        dlg.setEditHook([&typed](SubjectInfo& s, QWidget*) {
            s = person(typed);
            return true;
        });
        std::vector<std::optional<int>> picks;  // the operator's answers, last first
        size_t asked = 0;
        dlg.setPickHook([&](const std::string& name, const std::vector<archive::ArchivedSubject>& subjects, QWidget*) {
            ++asked;
            if (name != "Bo Ek" || subjects.size() != 2 || picks.empty()) return std::optional<int>();
            const std::optional<int> pick = picks.back();
            picks.pop_back();
            return pick;
        });
        dlg.show();
        auto* add = dlg.findChild<QPushButton*>("add");
        auto added = [&](const std::string& name) {
            typed = name;
            QTest::mouseClick(add, Qt::LeftButton);
            RegisteredSubject s;
            std::vector<RegisteredSubject> all;
            if (reg.search("", all) && !all.empty() && reg.get(dlg.selectedId(), s)) return s;
            return RegisteredSubject{};
        };

        QCOMPARE(added("Ann Lee").uuid, annB);
        QVERIFY(lab.sent.empty());  // the lab has her already

        picks = {1, std::nullopt};
        const RegisteredSubject cancelled = added("Bo Ek");
        QCOMPARE(asked, size_t{1});
        QVERIFY(cancelled.info.name != "Bo Ek");
        QCOMPARE(added("Bo Ek").uuid, boC);
        QCOMPARE(asked, size_t{2});

        const RegisteredSubject cy = added("Cy Oh");
        QCOMPARE(cy.info.name, std::string("Cy Oh"));
        QCOMPARE(lab.sent, std::vector<std::string>{cy.uuid});

        // The lab does not answer: the dialog waits, then the subject keeps its own id; the
        // late answer changes nothing.
        lab.holds = true;
        dlg.setLabWait(std::chrono::milliseconds(100));
        typed = "Di Ma";
        QTest::mouseClick(add, Qt::LeftButton);
        QVERIFY(dlg.waitingForLab());
        QVERIFY(!add->isEnabled());
        QVERIFY(!dlg.findChild<QLabel*>("labStatus")->isHidden());
        QTRY_VERIFY(!dlg.waitingForLab());
        std::vector<RegisteredSubject> di;
        QVERIFY(reg.findByName("Di Ma", di));
        QCOMPARE(di.size(), size_t{1});
        LabArchiveAnswer late;
        late.ok = true;
        const std::string diB = "0d1a2b3c-4444-4a4a-8b8b-000000000004";
        late.subjects = {labSubject(diB, "Di Ma")};
        lab.held.front()(late);
        QVERIFY(reg.findByName("Di Ma", di));
        QCOMPARE(di.size(), size_t{1});
        QVERIFY(di.front().uuid != diB);
        std::vector<RegisteredSubject> all;
        QVERIFY(reg.search("", all));
        QCOMPARE(all.size(), size_t{4});  // Ann, Bo, Cy, Di: the cancelled Bo is not there
        QVERIFY(messages.isEmpty());
    }

    // Two selected subjects become one, the earlier-added kept, once the operator agreed
    // and the lab merged them; a merge the lab refuses leaves the register as it was.
    void mergeIsMadeInTheLabFirstAndListsOneSubject() {
        SubjectRegister reg;
        QVERIFY(reg.open(root));
        int64_t first = 0, second = 0;
        QVERIFY(reg.add(person("Jan Novak"), &first));
        QVERIFY(reg.add(person("Jan Novák"), &second));
        RegisteredSubject keep, gone;
        QVERIFY(reg.get(first, keep) && reg.get(second, gone));
        FakeLab lab;
        lab.refusal = "No subject " + gone.uuid + " on the archive server";
        SubjectChooserDialog dlg(reg, 0);
        dlg.setLabArchive(&lab);
        dlg.setMessageHook([this](QWidget*, const QString& t) { messages << t; });
        QStringList questions;
        bool yes = false;
        dlg.setConfirmHook([&](const QString& q, QWidget*) {
            questions << q;
            return yes;
        });
        dlg.show();
        auto* table = dlg.findChild<QTableWidget*>("subjects");
        auto* merge = dlg.findChild<QPushButton*>("merge");
        QVERIFY(!merge->isEnabled());
        table->selectAll();
        QVERIFY(merge->isEnabled());
        QVERIFY(!dlg.findChild<QPushButton*>("choose")->isEnabled());

        QTest::mouseClick(merge, Qt::LeftButton);  // the operator says no
        QCOMPARE(questions.size(), 1);
        QVERIFY(questions[0].startsWith(QStringLiteral("Merge Jan Novák (") + QString::fromStdString(gone.uuid.substr(0, 8))));
        QVERIFY(questions[0].contains(QStringLiteral("into Jan Novak (") + QString::fromStdString(keep.uuid.substr(0, 8))));
        QVERIFY(lab.merges.empty());

        yes = true;
        QTest::mouseClick(merge, Qt::LeftButton);  // the lab refuses
        QCOMPARE(lab.merges.size(), size_t{1});
        QCOMPARE(messages, QStringList{QStringLiteral("The subjects were not merged.\n") +
                                       QString::fromStdString(lab.refusal)});
        QCOMPARE(table->rowCount(), 2);
        std::vector<std::string> ids;
        QVERIFY(reg.mergedIds(gone.uuid, ids));
        QCOMPARE(ids, std::vector<std::string>{gone.uuid});

        lab.refusal.clear();
        table->selectAll();
        QTest::mouseClick(merge, Qt::LeftButton);
        QCOMPARE(lab.merges.back(), std::make_pair(keep.uuid, gone.uuid));
        QCOMPARE(table->rowCount(), 1);
        QCOMPARE(dlg.selectedId(), first);
        QVERIFY(reg.mergedIds(gone.uuid, ids));
        QCOMPARE(ids, (std::vector<std::string>{keep.uuid, gone.uuid}));
        QCOMPARE(messages.size(), 1);
    }

    void loadChoiceAnswersElevenForTheSubjectsTests() {
        LoadChoiceDialog withSubject(QStringLiteral("Eva"), true);
        QCOMPARE(withSubject.findChild<QLabel*>("subject")->text(), QStringLiteral("Current subject: Eva"));
        QTest::mouseClick(withSubject.findChild<QPushButton*>("subjectTests"), Qt::LeftButton);
        QCOMPARE(withSubject.result(), 11);

        LoadChoiceDialog all(QStringLiteral("Eva"), true);
        QTest::mouseClick(all.findChild<QPushButton*>("allData"), Qt::LeftButton);
        QCOMPARE(all.result(), kLoadChoiceAllData);
        QVERIFY(all.result() != 0 && all.result() != 11);

        LoadChoiceDialog without(QString(), false);
        QVERIFY(!without.findChild<QPushButton*>("subjectTests")->isEnabled());
        without.show();
        QTest::keyClick(&without, Qt::Key_Escape);
        QCOMPARE(without.result(), 0);
    }

    void chosenSubjectBecomesCurrentAndSurvivesTheNextStart() {
        const int64_t eva = addTo(root, person("Eva", 33, 61));
        QVERIFY(eva != 0);
        {
            RegisterSubjectLibrary lib;
            Scripted answers;
            script(lib, answers);
            lib.initialise(root, "VANCHECK");
            QVERIFY(lib.isOpen());
            QVERIFY(!lib.hasCurrentSubject());
            QVERIFY(!lib.chooseSubject());  // closed without a choice
            QVERIFY(!lib.hasCurrentSubject());
            answers.choice = eva;
            QVERIFY(lib.chooseSubject());
            QVERIFY(lib.hasCurrentSubject());
            SubjectInfo station = person("whatever", 99, 1);
            lib.copyCurrentSubject(station);
            QCOMPARE(station, person("Eva", 33, 61));  // age included
        }
        RegisterSubjectLibrary next;
        Scripted answers;
        script(next, answers);
        next.initialise(root, "VANCHECK");
        QVERIFY(next.hasCurrentSubject());
        QCOMPARE(next.currentSubjectId(), eva);
        // Another product on the same register keeps its own current subject.
        RegisterSubjectLibrary other;
        script(other, answers);
        other.initialise(root, "OTHER");
        QVERIFY(!other.hasCurrentSubject());
        QVERIFY(messages.isEmpty());
    }

    // The operator merges the current subject into another and closes the dialog: the one
    // kept becomes current, and the next test goes into its folder.
    void aCurrentSubjectMergedAwayGivesWayToTheOneKept() {
        const int64_t jan = addTo(root, person("Jan Novak"));
        const int64_t again = addTo(root, person("Jan Novák"));
        RegisterSubjectLibrary lib;
        Scripted answers;
        script(lib, answers);
        lib.initialise(root, "VANCHECK");
        answers.choice = again;
        QVERIFY(lib.chooseSubject());
        SubjectLibraryUi merging;
        merging.chooseSubject = [jan, again](SubjectRegister& reg, int64_t, QWidget*) {
            RegisteredSubject keep, gone;
            if (reg.get(jan, keep) && reg.get(again, gone)) reg.merge(keep.uuid, gone.uuid);
            return std::optional<int64_t>();
        };
        lib.setUi(std::move(merging));
        QVERIFY(!lib.chooseSubject());
        QCOMPARE(lib.currentSubjectId(), jan);
        QVERIFY(messages.isEmpty());
    }

    void directoriesAreTheCurrentSubjectsFolder() {
        const int64_t eva = addTo(root, person("Eva Malá"));
        RegisterSubjectLibrary lib;
        Scripted answers;
        script(lib, answers);
        lib.initialise(root, "VANCHECK");
        std::string dir = "unchanged";
        lib.subjectDirectory(dir);
        QCOMPARE(dir, root);  // no subject yet: the data root

        answers.choice = eva;
        QVERIFY(lib.chooseSubject());
        lib.testDirectory(1700000000, dir);
        QCOMPARE(dir, root + "/Eva_Mala");
        QVERIFY(fs::is_directory(dir));
        std::string dir2;
        lib.subjectDirectory(dir2);
        QCOMPARE(dir2, dir);

        answers.load = kLoadChoiceSubjectTests;
        QCOMPARE(lib.chooseLoadPlace(), 11);
        QVERIFY(answers.loadHadCurrent);
        QCOMPARE(answers.loadName, QStringLiteral("Eva Malá"));
        answers.load = kLoadChoiceCancelled;
        QCOMPARE(lib.chooseLoadPlace(), 0);
    }

    // The register is ours: a file's folder names its subject, and a file in no subject's
    // folder leaves no current subject behind (also for the next start), so the test's own
    // subject is kept rather than relabelled with whoever was current.
    void aTestFileInASubjectsFolderMakesThatSubjectCurrent() {
        const int64_t eva = addTo(root, person("Eva"));
        const int64_t jan = addTo(root, person("Jan"));
        RegisterSubjectLibrary lib;
        Scripted answers;
        script(lib, answers);
        lib.initialise(root, "VANCHECK");
        lib.selectSubjectOfFile(root + "/Jan/test.kvq");
        QCOMPARE(lib.currentSubjectId(), jan);
        lib.selectSubjectOfFile("/somewhere/else/test.kvq");
        QCOMPARE(lib.currentSubjectId(), int64_t{0});
        QVERIFY(!lib.hasCurrentSubject());
        lib.selectSubjectOfFile(root + "/Eva/2024/test.kvq");
        QCOMPARE(lib.currentSubjectId(), eva);
        lib.selectSubjectOfFile(root + "/demo.kvq");  // the data root itself is no subject's
        QVERIFY(!lib.hasCurrentSubject());
        RegisterSubjectLibrary restarted;
        script(restarted, answers);
        restarted.initialise(root, "VANCHECK");
        QVERIFY(!restarted.hasCurrentSubject());
        QVERIFY(messages.isEmpty());
    }

    void aSubjectFromAFileFindsItsNamesakeOrIsAdded() {
        SubjectInfo twinA = person("Twin", 30, 60);
        SubjectInfo twinB = person("Twin", 30, 90);
        const int64_t a = addTo(root, twinA);
        const int64_t b = addTo(root, twinB);
        RegisterSubjectLibrary lib;
        Scripted answers;
        script(lib, answers);
        lib.initialise(root, "VANCHECK");

        // The same name: the one that matches in the other fields too (age is not in files).
        SubjectInfo fromFile = twinB;
        fromFile.age = 5;
        const SubjectInfo asRead = fromFile;
        lib.adoptSubject(fromFile);
        QCOMPARE(fromFile, asRead);
        QCOMPARE(lib.currentSubjectId(), b);
        SubjectInfo other = person("Twin", 0, 75);
        lib.adoptSubject(other);
        QCOMPARE(lib.currentSubjectId(), a);  // no full match: the oldest of that name

        // A new name is added, without the age the station happened to hold.
        SubjectInfo stranger = person("Stranger", 44, 80);
        lib.adoptSubject(stranger);
        const int64_t added = lib.currentSubjectId();
        QVERIFY(added != a && added != b && added != 0);
        RegisteredSubject s;
        QVERIFY(lib.subjectRegister().get(added, s));
        QCOMPARE(s.info.name, std::string("Stranger"));
        QCOMPARE(s.info.weight, 80);
        QCOMPARE(s.info.age, 0);

        // The name written otherwise: the one subject of the same folded name, not a new
        // one; where two share the folded name, neither is guessed.
        const int64_t lucja = addTo(root, person("Łucja Nowak"));
        SubjectInfo shouted = person("LUCJA NOWAK");
        lib.adoptSubject(shouted);
        QCOMPARE(lib.currentSubjectId(), lucja);
        QCOMPARE(shouted.name, std::string("LUCJA NOWAK"));  // the test keeps its text
        const int64_t plain = addTo(root, person("Lucja Nowak", 20));
        // The same letters in another case are one name (the accent is what tells Łucja
        // from Lucja): that subject, not a new one.
        SubjectInfo lower = person("lucja nowak");
        lib.adoptSubject(lower);
        QCOMPARE(lib.currentSubjectId(), plain);
        lib.adoptSubject(stranger);
        QCOMPARE(lib.currentSubjectId(), added);

        // A nameless subject is not added.
        SubjectInfo nameless = person("   ");
        lib.adoptSubject(nameless);
        QCOMPARE(lib.currentSubjectId(), added);
        std::vector<RegisteredSubject> all;
        QVERIFY(lib.subjectRegister().search("", all));
        QCOMPARE(all.size(), size_t{5});
    }

    // A station started in Abbreviated mode and switched to Extended calls the library
    // without initialise.
    void withoutInitialisationTheFallbackRootServes() {
        const int64_t eva = addTo(root, person("Eva"));
        RegisterSubjectLibrary lib(root);
        Scripted answers;
        script(lib, answers);
        answers.choice = eva;
        QVERIFY(lib.chooseSubject());
        QVERIFY(lib.hasCurrentSubject());

        RegisterSubjectLibrary none;
        script(none, answers);
        QVERIFY(!none.hasCurrentSubject());
        QVERIFY(!none.chooseSubject());
        QCOMPARE(messages, QStringList{"The subject register is not open."});
        // The operator can still open a test from the data folder.
        answers.load = kLoadChoiceSubjectTests;
        QCOMPARE(none.chooseLoadPlace(), kLoadChoiceAllData);
        QVERIFY(answers.loadAsked);
        QVERIFY(!answers.loadHadCurrent);
        SubjectInfo station = person("Kept");
        none.copyCurrentSubject(station);
        QCOMPARE(station, person("Kept"));
    }

    void aDamagedRegisterIsReportedAndLeftAlone() {
        fs::create_directories(root);
        const std::string file = root + "/" + SubjectRegister::kFileName;
        {
            std::ofstream out(file, std::ios::binary);
            out << std::string(3000, 'z');
        }
        RegisterSubjectLibrary lib;
        Scripted answers;
        script(lib, answers);
        lib.initialise(root, "VANCHECK");
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages[0].contains(QString::fromStdString(file)), qPrintable(messages[0]));
        QVERIFY(!lib.isOpen());
        QVERIFY(!lib.hasCurrentSubject());
        SubjectInfo fromFile = person("Eva");
        lib.adoptSubject(fromFile);
        QCOMPARE(readBytes(file), std::string(3000, 'z'));
    }
};

QTEST_MAIN(SubjectLibraryTest)
#include "subject_library_test.moc"
