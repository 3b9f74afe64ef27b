// The command table and its router as the operator meets them: menus, toolbar buttons,
// shortcuts, dialog-bar controls and timers all run through the rules.
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include <utility>

#include "app/dialog_bar.h"
#include "app/station_view.h"
#include "device/acquisition_link.h"
#include "station/command_ids.h"
#include "tests/app/station_fixture.h"

using namespace vanta;
using namespace vanta::testing;

namespace {

QToolButton* toolButton(MainWindow& frame, int id) {
    return qobject_cast<QToolButton*>(frame.toolBar()->widgetForAction(frame.action(id)));
}

template <typename W>
W* barControl(MainWindow& frame, int id) {
    return frame.currentBar() ? qobject_cast<W*>(frame.currentBar()->control(id)) : nullptr;
}

// The operator picks an entry of a bar's drop-down list.
void chooseEntry(QComboBox* box, int index) {
    box->setCurrentIndex(index);
    emit box->activated(index);
}

}  // namespace

class CommandRoutingTest : public QObject {
    Q_OBJECT
    QTemporaryDir home_;

private slots:
    void initTestCase() { redirectUserFolders(home_); }

    void everyCommandHasItsOwnersHandler() {
        StationFixture f;
        f.writeSettings(0);
        QVERIFY(f.start());
        QCOMPARE(f.router().unboundCommands(), std::vector<int>{});
        // A handler can only be bound by the owner the table names.
        QVERIFY(!f.router().bind(CommandOwner::Frame, cmd::kPerform, [](Notification) {}));
        QVERIFY(!f.router().bind(CommandOwner::View, 4711, [](Notification) {}));
        QVERIFY(!f.router().execute(4711));
    }

    void reportCommandsFollowResultsAvailable() {
        StationFixture f;
        f.writeSettings(0);
        const std::string path = f.writeTestFileWith(0, "empty.kvq");
        QVERIFY(f.start());
        MainWindow& frame = f.frame();

        // At start nothing may be reported: menu items and buttons are grey.
        for (int id : {cmd::kDigitalReport, cmd::kCurveGraph}) {
            QVERIFY(!frame.action(id)->isEnabled());
            QVERIFY(!toolButton(frame, id)->isEnabled());
        }
        // Through the router as well: the command does not run.
        std::vector<int> refused;
        f.router().addObserver([&](int id, CommandOutcome o) {
            if (o == CommandOutcome::Refused) refused.push_back(id);
        });
        QVERIFY(!f.router().execute(cmd::kDigitalReport));
        QCOMPARE(refused, std::vector<int>{cmd::kDigitalReport});
        QCOMPARE(f.station().viewMode, int(kViewIdle));
        QVERIFY(frame.currentBar() == nullptr);

        // A test file without repetitions is still a test: both become available, and the
        // view is back on the idle screen.
        f.dialogs.openAnswers.push_back(path);
        frame.action(cmd::kFileOpen)->trigger();
        QCOMPARE(f.station().resultsAvailable, 1);
        QCOMPARE(f.station().viewMode, int(kViewIdle));
        for (int id : {cmd::kDigitalReport, cmd::kCurveGraph}) {
            QVERIFY(frame.action(id)->isEnabled());
            QVERIFY(toolButton(frame, id)->isEnabled());
        }
        // The report bar of an empty test has an empty repetition box.
        frame.action(cmd::kDigitalReport)->trigger();
        QCOMPARE(f.station().viewMode, int(kViewDigitalReport));
        QCOMPARE(barControl<QComboBox>(frame, cmd::kReportRepetitionBox)->count(), 0);
    }

    void openIsRefusedDuringMeasurement() {
        StationFixture f;
        f.writeSettings(0);
        const std::string path = f.writeTestFileWith(1);
        QVERIFY(f.start());
        MainWindow& frame = f.frame();
        QVERIFY(QTest::qWaitForWindowActive(&frame));

        frame.action(cmd::kPerform)->trigger();
        QCOMPARE(f.station().viewMode, int(kViewMeasurement));
        for (int id : {cmd::kFileOpen, cmd::kFileSave, cmd::kSubjectInfo, cmd::kPerform, cmd::kSubjectInfoSetup})
            QVERIFY2(!frame.action(id)->isEnabled(), qPrintable(QString::number(id)));
        for (int id : {cmd::kGraphSetup, cmd::kCalibration, cmd::kFilePrint, cmd::kAppExit, cmd::kAppAbout})
            QVERIFY2(frame.action(id)->isEnabled(), qPrintable(QString::number(id)));

        // Even with the action's look out of date, the router asks the rule: neither the
        // menu item nor Ctrl+O opens anything.
        frame.action(cmd::kFileOpen)->setEnabled(true);
        f.dialogs.openAnswers.push_back(path);
        frame.action(cmd::kFileOpen)->trigger();
        QTest::keyClick(&frame, Qt::Key_O, Qt::ControlModifier);
        QVERIFY(f.dialogs.log.empty());
        QCOMPARE(f.station().resultsAvailable, 0);
        QCOMPARE(f.station().viewMode, int(kViewMeasurement));

        // Outside the measurement screen Ctrl+O reaches the open dialog.
        barControl<QPushButton>(frame, cmd::kExit)->click();
        QCOMPARE(f.station().viewMode, int(kViewIdle));
        QTest::keyClick(&frame, Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(f.dialogs.log.size(), size_t(1));
        QCOMPARE(f.dialogs.log.front(), "open: " + f.dataDirectory());
    }

    void postedCommandsAskTheirRuleWhenTheyRun() {
        StationFixture f;
        f.writeSettings(0);
        QVERIFY(f.start());
        int ran = 0;
        f.router().addObserver([&](int, CommandOutcome o) { ran += o == CommandOutcome::Executed; });

        f.station().resultsAvailable = 1;
        f.router().post(cmd::kDigitalReport);
        QCOMPARE(ran, 0);  // queued behind the waiting messages
        f.station().resultsAvailable = 0;
        QCoreApplication::processEvents();
        QCOMPARE(ran, 0);
        QCOMPARE(f.station().viewMode, int(kViewIdle));
    }

    void timersPostTheirTickCommands() {
        StationFixture f;
        f.writeSettings(0);
        QVERIFY(f.start());
        StationView& view = f.frame().view();
        std::vector<int> ran;
        f.router().addObserver([&](int id, CommandOutcome o) {
            if (o == CommandOutcome::Executed) ran.push_back(id);
        });

        view.startTickTimer(kLiveTimerId);
        QVERIFY(view.tickTimerActive(kLiveTimerId));
        QTRY_VERIFY_WITH_TIMEOUT(ran.size() >= 2, 2000);
        view.stopTickTimer(kLiveTimerId);
        for (int id : ran) QCOMPARE(id, cmd::kLiveTick);

        ran.clear();
        view.startTickTimer(kCalibrationTimerId);
        QTRY_VERIFY_WITH_TIMEOUT(ran.size() >= 1, 2000);
        view.stopTickTimer(kCalibrationTimerId);
        QCOMPARE(ran.front(), cmd::kCalibrationTick);
        // A tick already posted when its timer stops is still handled once, not more.
        QTest::qWait(3 * kTickPeriodMs);
        const size_t settled = ran.size();
        QTest::qWait(3 * kTickPeriodMs);
        QCOMPARE(ran.size(), settled);
    }

    // The measurement screen's smoke path: the bar's widgets as Perform leaves them, START
    // reading what the operator typed, IGNORE as a click.
    void measurementBarAndIgnore() {
        StationFixture f;
        f.writeSettings(0);
        QVERIFY(f.start());
        f.station().settings.currentLoad = 7.5f;
        f.station().test.saved = 1;
        MainWindow& frame = f.frame();

        frame.action(cmd::kPerform)->trigger();
        QCOMPARE(frame.currentBar()->templateId(), kMeasurementBarTemplate);
        auto* load = barControl<QComboBox>(frame, cmd::kLoadList);
        QCOMPARE(load->count(), 31);
        QCOMPARE(load->currentText(), QStringLiteral(" 7.50"));
        QCOMPARE(barControl<QLineEdit>(frame, cmd::kRadiusBox)->text(), QStringLiteral("25.00"));
        QVERIFY(!barControl<QPushButton>(frame, cmd::kStart)->isHidden());
        QVERIFY(!barControl<QPushButton>(frame, cmd::kExit)->isHidden());
        QVERIFY(barControl<QPushButton>(frame, cmd::kBack)->isHidden());
        QVERIFY(barControl<QPushButton>(frame, cmd::kIgnore)->isHidden());

        // START takes the typed load and radius into the attempt and the settings.
        load->lineEdit()->selectAll();
        QTest::keyClick(load->lineEdit(), Qt::Key_Backspace);
        QTest::keyClicks(load->lineEdit(), QStringLiteral("12.5kg"));
        barControl<QLineEdit>(frame, cmd::kRadiusBox)->setText(QStringLiteral("31"));
        barControl<QPushButton>(frame, cmd::kStart)->click();
        QCOMPARE(f.station().settings.currentLoad, 12.5f);
        QCOMPARE(f.station().settings.currentRadius, 31.0f);
        QCOMPARE(f.station().test.repetitions[0].loadMass, 12.5f);
        // No sensor box on this machine: the operator hears why, the bar goes, the view
        // is idle again.
        QCOMPARE(f.dialogs.messages.back(), std::string("Error in communication"));
        QVERIFY(frame.currentBar() == nullptr);
        QCOMPARE(f.station().viewMode, int(kViewIdle));

        // IGNORE is a click on 1075: it drops the last attempt.
        frame.action(cmd::kPerform)->trigger();
        f.station().test.repetitionCount = 1;
        frame.showBarControl(cmd::kIgnore, true);
        barControl<QPushButton>(frame, cmd::kIgnore)->click();
        QCOMPARE(f.station().test.repetitionCount, 0);
    }

    // Each bar fits the window as it is (780 pixels wide) without making it wider; every
    // control lies whole inside the bar, a button is wider than its text, the XL and XR
    // frames hold their buttons with the titles above them, and the report bar's box is
    // centred on its button.
    void barsFitTheWindowWithTheirControlsWhole() {
        StationFixture f;
        f.writeSettings(0);
        const std::string path = f.writeTestFileWith(2);
        QVERIFY(f.start());
        MainWindow& frame = f.frame();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        f.dialogs.openAnswers.push_back(path);
        QVERIFY(f.router().execute(cmd::kFileOpen));
        const int width = frame.width();
        QCOMPARE(width, 780);
        auto showAndCheck = [&](int command) {
            f.router().execute(cmd::kResetToIdle);
            frame.action(command)->trigger();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QTest::qWait(20);
            DialogBar* bar = frame.currentBar();
            QVERIFY(bar);
            QCOMPARE(frame.width(), width);
            QVERIFY(bar->mapTo(&frame, QPoint(bar->width(), 0)).x() <= width);
            for (QWidget* c : bar->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
                QVERIFY2(bar->rect().contains(c->geometry()), qPrintable(c->objectName()));
                if (auto* b = qobject_cast<QPushButton*>(c))
                    QVERIFY2(b->width() >= b->fontMetrics().horizontalAdvance(b->text()) + 12, qPrintable(b->text()));
                // A label shows its whole text ("Y1 parameter", not "Y1 parame"), and no
                // control on its line covers it ("Set weight (kg" under the load list).
                if (auto* l = qobject_cast<QLabel*>(c)) {
                    QVERIFY2(l->width() >= l->fontMetrics().horizontalAdvance(l->text()), qPrintable(l->text()));
                    const int textRight = l->x() + l->fontMetrics().horizontalAdvance(l->text());
                    for (QWidget* other : bar->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
                        if (other != l && other->isVisible() && !qobject_cast<QLabel*>(other) &&
                            other->y() < l->geometry().bottom() && other->geometry().bottom() > l->y() &&
                            other->x() > l->x())
                            QVERIFY2(other->x() > textRight, qPrintable(l->text() + " under " + other->objectName()));
                }
                // A list's text field holds its longest entry ("velocity (deg/s)").
                if (auto* box = qobject_cast<QComboBox*>(c)) {
                    QStyleOptionComboBox option;
                    option.initFrom(box);
                    const QRect field = box->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                                     QStyle::SC_ComboBoxEditField, box);
                    for (int i = 0; i < box->count(); ++i)
                        QVERIFY2(field.width() >= box->fontMetrics().horizontalAdvance(box->itemText(i)),
                                 qPrintable(box->itemText(i)));
                }
            }
        };

        showAndCheck(cmd::kDigitalReport);
        QWidget* box = frame.currentBar()->control(cmd::kReportRepetitionBox);
        QWidget* exportXml = frame.currentBar()->control(cmd::kExportXml);
        QVERIFY(qAbs(box->geometry().center().y() - exportXml->geometry().center().y()) <= 1);

        showAndCheck(cmd::kCurveGraph);
        DialogBar* curve = frame.currentBar();
        const std::pair<QString, std::pair<int, int>> groups[] = {
            {QStringLiteral("XL"), {cmd::kCursorLeftLeft, cmd::kCursorLeftRight}},
            {QStringLiteral("XR"), {cmd::kCursorRightLeft, cmd::kCursorRightRight}}};
        for (const auto& [group, ids] : groups) {
            auto* frameBox = curve->findChild<QWidget*>(QStringLiteral("group") + group);
            auto* title = curve->findChild<QWidget*>(QStringLiteral("groupTitle") + group);
            QVERIFY(frameBox && title);
            QVERIFY(frameBox->geometry().contains(curve->control(ids.first)->geometry()));
            QVERIFY(frameBox->geometry().contains(curve->control(ids.second)->geometry()));
            QVERIFY(title->geometry().bottom() < frameBox->geometry().top() + 2);
        }

        // Made smaller than it can be (a bare X server obeys any size): the frame grows
        // back to its smallest size, the curve bar whole and the status bar inside it.
        frame.resize(640, 480);
        QVERIFY(QTest::qWaitFor([&] { return frame.width() == 780; }, 2000));
        QVERIFY(frame.height() >= frame.smallestSize().height());
        QVERIFY(frame.rect().contains(frame.statusBar()->geometry()));
        QVERIFY(frame.statusBar()->isVisible());
        showAndCheck(cmd::kCurveGraph);

        showAndCheck(cmd::kPerform);  // last: it starts a new test
        // Who is measured stays readable at this width: the name whole, if not its prefix.
        auto* subject = qobject_cast<QLabel*>(frame.currentBar()->control(cmd::kSubjectLabel));
        QVERIFY(subject);
        QVERIFY2(!subject->text().contains(QChar(0x2026)) && subject->text().size() > 3 &&
                     subject->toolTip().endsWith(subject->text()),
                 qPrintable(subject->text() + " / " + subject->toolTip()));
    }

    void barsReplaceEachOtherAndTell1075Apart() {
        StationFixture f;
        f.writeSettings(0);
        const std::string path = f.writeTestFileWith(3);
        QVERIFY(f.start());
        MainWindow& frame = f.frame();
        f.dialogs.openAnswers.push_back(path);
        QVERIFY(f.router().execute(cmd::kFileOpen));
        QCOMPARE(f.station().test.repetitionCount, 3);

        frame.action(cmd::kDigitalReport)->trigger();
        QCOMPARE(frame.currentBar()->templateId(), kReportBarTemplate);
        auto* reps = barControl<QComboBox>(frame, cmd::kReportRepetitionBox);
        QCOMPARE(reps->count(), 3);
        QCOMPARE(reps->itemText(2), QStringLiteral("Repetition No(#) 3"));
        chooseEntry(reps, 2);
        QCOMPARE(f.station().selectedRepetition, 2);

        frame.action(cmd::kCurveGraph)->trigger();
        QCOMPARE(f.station().viewMode, int(kViewCurveGraph));
        QCOMPARE(frame.currentBar()->templateId(), kCurveBarTemplate);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // the replaced bar goes
        QCOMPARE(frame.findChildren<DialogBar*>().size(), qsizetype(1));

        // A selection change on 1075 is the curve bar's repetition list, not IGNORE.
        auto* selector = barControl<QComboBox>(frame, cmd::kRepetitionSelector);
        QCOMPARE(selector->itemText(0), QStringLiteral("Rep No.  1"));
        chooseEntry(selector, 1);
        QCOMPARE(f.station().currentRepetition, 1);
        QCOMPARE(f.station().test.repetitionCount, 3);

        // The quantity boxes start from the settings and write back into them.
        auto* y1 = barControl<QComboBox>(frame, cmd::kY1Box);
        QCOMPARE(y1->currentIndex(), 0);
        QCOMPARE(barControl<QComboBox>(frame, cmd::kY2Box)->currentText(), QStringLiteral("Force (N)"));
        chooseEntry(y1, 4);
        QCOMPARE(f.station().settings.graph.graphY1Quantity, 4);

        // The idle screen has no bar; the repetition index is back at 0.
        f.router().execute(cmd::kResetToIdle);
        QVERIFY(frame.currentBar() == nullptr);
        QCOMPARE(f.station().currentRepetition, 0);
    }

    void calibrationQuestionsAndScreen() {
        StationFixture f;
        f.writeSettings(0);
        QVERIFY(f.start({QStringLiteral("--simulate")}));
        f.station().resultsAvailable = 1;
        f.station().test.repetitionCount = 4;
        f.dialogs.yesNoAnswers = {true};
        f.frame().action(cmd::kCalibration)->trigger();
        QCOMPARE(f.dialogs.log, std::vector<std::string>{"ask: Press YES and STAND STILL FOR 1 SECOND"});
        QCOMPARE(f.station().viewMode, int(kViewCalibration));
        QCOMPARE(f.station().resultsAvailable, 0);
        // While it runs, the bar offers BACK alone (nothing to type); Esc does the same.
        QVERIFY(f.frame().view().tickTimerActive(kCalibrationTimerId));
        QCOMPARE(f.frame().currentBar()->templateId(), kCalibrationBarTemplate);
        QVERIFY(!barControl<QPushButton>(f.frame(), cmd::kBack)->isHidden());
        QVERIFY(!barControl<QPushButton>(f.frame(), cmd::kStart));
        QVERIFY(!barControl<QComboBox>(f.frame(), cmd::kLoadList));
        QTest::keyClick(&f.frame().view(), Qt::Key_Escape);
        QVERIFY(!f.frame().view().tickTimerActive(kCalibrationTimerId));
        QCOMPARE(f.station().viewMode, int(kViewIdle));
        QVERIFY(f.frame().currentBar() == nullptr);
    }

    void framePartsAsTheOperatorSeesThem() {
        StationFixture f;
        f.writeSettings(0);
        QVERIFY(f.start());
        MainWindow& frame = f.frame();
        QCOMPARE(frame.windowTitle(), QStringLiteral("KavelTek - Vanta Mero"));

        QStringList menus;
        for (QAction* a : frame.menuBar()->actions()) menus << a->text();
        QCOMPARE(menus, (QStringList{"&File", "&Subject", "&Exercise", "&Report", "Se&tup", "&About"}));
        QStringList fileItems;
        for (QAction* a : frame.menu(QStringLiteral("&File"))->actions())
            fileItems << (a->isSeparator() ? QStringLiteral("-") : a->text());
        QCOMPARE(fileItems, (QStringList{"&Open Vanta file\tCtrl+O", QString::fromUtf8("Open from &archive\u2026"),
                                         "&Save\tCtrl+S", "-", "&Print...\tCtrl+P",
                                         "Print Pre&view", "P&rint Setup...", "-", "E&xit"}));

        // Buttons left to right, separators as gaps.
        QList<int> buttons;
        for (QAction* a : frame.toolBar()->actions()) buttons << (a->isSeparator() ? 0 : a->data().toInt());
        QCOMPARE(buttons, (QList<int>{cmd::kFileOpen, cmd::kFileSave, cmd::kFilePrint, 0, cmd::kSubjectInfo, 0,
                                      cmd::kPerform, 0, cmd::kDigitalReport, cmd::kCurveGraph, 0, cmd::kGraphSetup,
                                      cmd::kSubjectInfoSetup, 0, cmd::kAppAbout}));
        for (QAction* a : frame.toolBar()->actions()) {
            if (a->isSeparator()) continue;
            QCOMPARE(a->icon().availableSizes().value(0), QSize(19, 17));
        }
        QCOMPARE(frame.action(cmd::kFileSave)->toolTip(), QStringLiteral(" File Save"));
        QCOMPARE(frame.action(cmd::kCurveGraph)->statusTip(), QStringLiteral("Curve graph "));
        QCOMPARE(frame.action(cmd::kFileOpen)->statusTip(), QStringLiteral("Open an vanta file"));

        // The prompt shows while the pointer rests on a button, and "Ready" comes back.
        QStatusTipEvent tip(frame.action(cmd::kPerform)->statusTip());
        QCoreApplication::sendEvent(&frame, &tip);
        QCOMPARE(frame.statusBar()->currentMessage(), QStringLiteral("Force perform"));
        QStatusTipEvent none{QString()};
        QCoreApplication::sendEvent(&frame, &none);
        QCOMPARE(frame.statusBar()->currentMessage(), QStringLiteral("Ready"));
        // A menu closed by choosing an item sends no empty prompt; "Ready" comes back all
        // the same.
        QCoreApplication::sendEvent(&frame, &tip);
        emit frame.menu(QStringLiteral("&Exercise"))->aboutToHide();
        QCOMPARE(frame.statusBar()->currentMessage(), QStringLiteral("Ready"));
        QCOMPARE(frame.action(cmd::kFileSave)->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));
        for (const char* pane : {"CAP", "NUM", "SCRL"})
            QVERIFY(frame.statusBar()->findChild<QLabel*>(QStringLiteral("indicator") + pane));

        // Ctrl+N titles the document afresh and leaves the test alone.
        QVERIFY(QTest::qWaitForWindowActive(&frame));
        f.station().test.repetitionCount = 2;
        QVERIFY(f.app->openDocument(QString::fromStdString(f.writeTestFileWith(0))));
        QCOMPARE(frame.windowTitle(), QStringLiteral("test.kvq - Vanta Mero"));
        QTest::keyClick(&frame, Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(frame.windowTitle(), QStringLiteral("KavelTek - Vanta Mero"));
        QCOMPARE(f.station().test.repetitionCount, 2);

        frame.action(cmd::kAppAbout)->trigger();
        QCOMPARE(f.dialogs.log.back(), std::string("about"));
    }

    void simulatedBoxIsNamedOnScreen() {
        StationFixture f;
        f.writeSettings(0);
        QVERIFY(f.start({QStringLiteral("--simulate")}));
        QVERIFY(f.station().simulatedDevice);
        QVERIFY(f.frame().windowTitle().contains(QStringLiteral("SIMULATED SENSOR BOX")));
        auto* notice = f.frame().statusBar()->findChild<QLabel*>(QStringLiteral("simulatedNotice"));
        QVERIFY(notice);
        QCOMPARE(notice->text(), QStringLiteral("SIMULATED SENSOR BOX"));
        // The station finds the simulated box as it would find a real one.
        QVERIFY(f.app->link());
        QVERIFY(f.app->link()->probeDevice());
        QVERIFY(f.app->link()->devicePresent());
    }
};

QTEST_MAIN(CommandRoutingTest)
#include "command_routing_test.moc"
