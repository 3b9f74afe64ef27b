// What the view paints on screen (what it draws, number for number, is tested in
// tests/station), the message box and the About box.
#include <QApplication>
#include <QImage>
#include <QMessageBox>
#include <QTimer>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "app/about_dialog.h"
#include "app/qt_operator_dialogs.h"
#include "app/station_view.h"
#include "station/command_ids.h"
#include "tests/app/station_fixture.h"

using namespace vanta;
using namespace vanta::testing;

namespace {

// Pixels in the band that are not the white background.
int inkIn(const QImage& image, const QRect& band) {
    int ink = 0;
    for (int y = band.top(); y <= band.bottom(); ++y)
        for (int x = band.left(); x <= band.right(); ++x)
            if (image.pixelColor(x, y) != QColor(Qt::white)) ++ink;
    return ink;
}

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget& widget) { widget.installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++count;
        return false;
    }
};

}  // namespace

class ViewTest : public QObject {
    Q_OBJECT
    QTemporaryDir home_;

private slots:
    void initTestCase() { redirectUserFolders(home_); }

    void pageHeaderOnlyWithResults() {
        StationFixture f;
        f.writeSettings(0);
        const std::string path = f.writeTestFileWith(2, "ann.kvq", "Ann Lee");
        QVERIFY(f.start());
        StationView& view = f.frame().view();

        const QImage blank = view.grab().toImage();
        QCOMPARE(inkIn(blank, QRect(10, 5, 731, 26)), 0);

        f.dialogs.openAnswers.push_back(path);
        f.frame().action(cmd::kFileOpen)->trigger();
        QCOMPARE(f.station().resultsAvailable, 1);

        // On screen: ink in the header band and the line naming the subject below it,
        // nothing else on the idle screen.
        const QImage shown = view.grab().toImage();
        QVERIFY(inkIn(shown, QRect(10, 5, 731, 26)) > 100);
        QVERIFY(inkIn(shown, QRect(0, 40, 740, 22)) > 50);
        QCOMPARE(inkIn(shown, QRect(0, 64, 740, 180)), 0);
    }

    // Subject Info > OK with a test open: the header is painted again at once, not only
    // when something else (a resize) repaints the view.
    void pageHeaderFollowsTheSubject() {
        StationFixture f;
        f.writeSettings(0);
        const std::string path = f.writeTestFileWith(1, "ann.kvq", "Ann Lee");
        QVERIFY(f.start());
        StationView& view = f.frame().view();
        QVERIFY(QTest::qWaitForWindowExposed(&f.frame()));
        f.dialogs.openAnswers.push_back(path);
        f.frame().action(cmd::kFileOpen)->trigger();

        PaintCounter paints(view);
        QTest::qWait(50);  // what the open asked for is painted
        paints.count = 0;
        f.dialogs.subjectAnswer = true;
        f.dialogs.subjectToEnter.name = "Bo Berg";
        f.frame().action(cmd::kSubjectInfo)->trigger();
        QCOMPARE(f.station().test.subject.name, std::string("Bo Berg"));
        QTRY_VERIFY_WITH_TIMEOUT(paints.count > 0, 2000);

        // Cancel changes nothing and paints nothing.
        QTest::qWait(50);
        paints.count = 0;
        f.dialogs.subjectAnswer = false;
        f.frame().action(cmd::kSubjectInfo)->trigger();
        QTest::qWait(200);
        QCOMPARE(paints.count, 0);
    }

    void theMessageBoxKeepsTheDetailApartFromTheStationsText() {
        QtOperatorDialogs dialogs;
        QString caption, text, detail;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            caption = box->windowTitle();
            text = box->text();
            detail = box->detailedText();
            box->accept();
        });
        dialogs.message("Error opening file", "/data/Ann/a.kvq");
        QCOMPARE(caption, QStringLiteral("vanta_check"));
        QCOMPARE(text, QStringLiteral("Error opening file"));
        QCOMPARE(detail, QStringLiteral("/data/Ann/a.kvq"));
    }

    // "Data not saved. Save?": Esc and the box's close button are Cancel, never No (No
    // would drop the test); Enter is Yes.
    void theSaveQuestionsEscAndCloseButtonAreCancel() {
        QtOperatorDialogs dialogs;
        qsizetype buttons = 0;
        auto answerWith = [&](std::function<void(QMessageBox*)> act) {
            QTimer::singleShot(0, [&, act] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                QVERIFY(box);
                buttons = box->buttons().size();
                act(box);
            });
            return dialogs.askYesNoCancel("Data not saved. Save?");
        };
        QCOMPARE(answerWith([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); }), Answer::Cancel);
        QCOMPARE(buttons, qsizetype(3));
        QCOMPARE(answerWith([](QMessageBox* box) { box->close(); }), Answer::Cancel);
        QCOMPARE(answerWith([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Return); }), Answer::Yes);
        QCOMPARE(answerWith([](QMessageBox* box) { box->button(QMessageBox::No)->click(); }), Answer::No);
    }

    void aboutBox() {
        AboutDialog about;
        QCOMPARE(about.windowTitle(), QStringLiteral("About Kavel Vanta check"));
        QCOMPARE(about.findChild<QLabel*>(QStringLiteral("aboutProduct"))->text(), QStringLiteral("Kavel Vanta Mero"));
        QCOMPARE(about.findChild<QLabel*>(QStringLiteral("aboutVersion"))->text(), QStringLiteral("ver 1.4"));
        const QPixmap picture = about.findChild<QLabel*>(QStringLiteral("aboutPicture"))->pixmap();
        QCOMPARE(picture.size(), QSize(120, 90));
        // The picture sits at the left, the texts at its right.
        QVERIFY(about.findChild<QLabel*>(QStringLiteral("aboutProduct"))->x() >= 120);
        auto* ok = about.findChild<QPushButton*>(QStringLiteral("aboutOk"));
        QCOMPARE(ok->text(), QStringLiteral("OK"));
        about.show();
        ok->click();
        QCOMPARE(about.result(), int(QDialog::Accepted));
        QVERIFY(!about.isVisible());
    }
};

QTEST_MAIN(ViewTest)
#include "view_test.moc"
