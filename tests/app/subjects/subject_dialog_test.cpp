// The station's subject dialog and the setup dialog, driven as the operator would.
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QtTest>

#include "app/subjects/subject_dialog.h"
#include "app/subjects/subject_mode_dialog.h"
#include "station/subject_checks.h"

using namespace vanta;

namespace {

SubjectInfo someone() {
    SubjectInfo s;
    s.name = "Jan Novák";
    s.sex = 1;
    s.age = 41;
    s.weight = 82;
    s.height = 181;
    s.comment1 = "one";
    s.comment2 = "two";
    s.comment3 = "three";
    return s;
}

QPushButton* buttonWithText(QWidget* dlg, const QString& text) {
    for (QPushButton* b : dlg->findChildren<QPushButton*>())
        if (b->text() == text) return b;
    return nullptr;
}

}  // namespace

class SubjectDialogTest : public QObject {
    Q_OBJECT

    QStringList messages;
    MessageHook catchMessages() {
        return [this](QWidget*, const QString& text) { messages << text; };
    }
    QLineEdit* box(QWidget* dlg, const char* name) { return dlg->findChild<QLineEdit*>(QString::fromLatin1(name)); }

private slots:
    void init() { messages.clear(); }

    void showsTheSubjectWithTheFocusInName() {
        SubjectDialog dlg(someone());
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Subject dialog"));
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        QCOMPARE(QApplication::focusWidget(), box(&dlg, "name"));
        QCOMPARE(box(&dlg, "name")->text(), QStringLiteral("Jan Novák"));
        QCOMPARE(box(&dlg, "age")->text(), QStringLiteral("41"));
        QCOMPARE(box(&dlg, "weight")->text(), QStringLiteral("82"));
        QCOMPARE(box(&dlg, "height")->text(), QStringLiteral("181"));
        QCOMPARE(box(&dlg, "comment3")->text(), QStringLiteral("three"));
        QVERIFY(dlg.findChild<QRadioButton*>("male")->isChecked());
        QVERIFY(!dlg.findChild<QRadioButton*>("female")->isChecked());

        // A fresh record (all zero) shows "female"; -1 shows no choice.
        SubjectInfo fresh;
        SubjectDialog freshDlg(fresh);
        QVERIFY(freshDlg.findChild<QRadioButton*>("female")->isChecked());
        fresh.sex = -1;
        SubjectDialog noneDlg(fresh);
        QVERIFY(!noneDlg.findChild<QRadioButton*>("female")->isChecked());
        QVERIFY(!noneDlg.findChild<QRadioButton*>("male")->isChecked());
    }

    // Every field wrong at once: each OK shows the message of the first that still
    // fails, in the station's order, with that field selected and the dialog open.
    void checksTheFieldsInTheStationsOrder() {
        SubjectDialog dlg(someone());
        dlg.setMessageHook(catchMessages());
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        const QString tooLong(67, u'x');
        box(&dlg, "name")->setText(tooLong);
        box(&dlg, "age")->setText("131");
        box(&dlg, "weight")->setText("201");
        box(&dlg, "height")->setText("301");
        box(&dlg, "comment1")->setText(tooLong);
        box(&dlg, "comment2")->setText(tooLong);
        box(&dlg, "comment3")->setText(tooLong);

        struct Step {
            const char* field;
            QString message;
            QString fixed;
        };
        const QString chars = QStringLiteral("Please enter no more than 66 characters.");
        const std::vector<Step> steps{
            {"name", chars, "Eva"},
            {"age", QStringLiteral("Please enter an integer between 0 and 130."), "130"},
            {"weight", QStringLiteral("Please enter a number between 0 and 200."), "200"},
            {"height", QStringLiteral("Please enter an integer between 0 and 300."), "300"},
            {"comment1", chars, "c1"},
            {"comment3", chars, "c3"},
            {"comment2", chars, "c2"},
        };
        QPushButton* ok = buttonWithText(&dlg, "OK");
        QVERIFY(ok);
        for (const Step& step : steps) {
            messages.clear();
            QTest::mouseClick(ok, Qt::LeftButton);
            QCOMPARE(messages, QStringList{step.message});
            QVERIFY2(dlg.isVisible(), step.field);
            QCOMPARE(dlg.result(), int(QDialog::Rejected));
            QLineEdit* failed = box(&dlg, step.field);
            QCOMPARE(QApplication::focusWidget(), failed);
            QCOMPARE(failed->selectedText(), failed->text());
            // Nothing is taken over while a field fails.
            QCOMPARE(dlg.subject(), someone());
            failed->setText(step.fixed);
        }
        messages.clear();
        QTest::mouseClick(ok, Qt::LeftButton);
        QVERIFY(messages.isEmpty());
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        SubjectInfo expected{"Eva", 1, 130, 200, 300, "c1", "c2", "c3"};
        QCOMPARE(dlg.subject(), expected);
    }

    void anEmptyOrSignedNumberBoxIsReported() {
        SubjectDialog dlg(someone());
        dlg.setMessageHook(catchMessages());
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        box(&dlg, "weight")->setText("");
        dlg.accept();
        QCOMPARE(messages, QStringList{"Please enter a number."});
        QCOMPARE(QApplication::focusWidget(), box(&dlg, "weight"));
        // A value from an old test file may be negative: it is an integer, out of range.
        messages.clear();
        box(&dlg, "weight")->setText("-5");
        dlg.accept();
        QCOMPARE(messages, QStringList{"Please enter a number between 0 and 200."});
        // Digits far beyond the range stay out of range instead of wrapping round.
        messages.clear();
        box(&dlg, "weight")->setText("4294967296");
        dlg.accept();
        QCOMPARE(messages, QStringList{"Please enter a number between 0 and 200."});
        messages.clear();
        box(&dlg, "weight")->setText("200,4");
        dlg.accept();
        QCOMPARE(messages, QStringList{"Please enter a number between 0 and 200."});
    }

    // The weight is typed with a decimal comma or point, as the load box reads it, and
    // kept as whole kilograms (test files and the register hold an integer).
    void aWeightWithDecimalsIsRoundedToWholeKilograms() {
        SubjectDialog dlg(someone());
        dlg.setMessageHook(catchMessages());
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        QLineEdit* weight = box(&dlg, "weight");
        weight->clear();
        QTest::keyClicks(weight, "61,5");
        QCOMPARE(weight->text(), QStringLiteral("61,5"));
        dlg.accept();
        QVERIFY(messages.isEmpty());
        QCOMPARE(dlg.subject().weight, 62);
        SubjectDialog again(someone());
        again.setMessageHook(catchMessages());
        box(&again, "weight")->setText("61.4");
        again.accept();
        QVERIFY(messages.isEmpty());
        QCOMPARE(again.subject().weight, 61);
    }

    void theLimitsThemselvesAreAccepted() {
        SubjectInfo s = someone();
        s.sex = -1;
        SubjectDialog dlg(s);
        dlg.setMessageHook(catchMessages());
        dlg.show();
        const QString longest(66, u'é');
        box(&dlg, "name")->setText(longest);
        box(&dlg, "age")->setText("0");
        box(&dlg, "weight")->setText("200");
        box(&dlg, "height")->setText("300");
        box(&dlg, "comment2")->setText(longest);
        dlg.accept();
        QVERIFY(messages.isEmpty());
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(QString::fromStdString(dlg.subject().name), longest);
        QCOMPARE(dlg.subject().age, 0);
        QCOMPARE(dlg.subject().height, 300);
        QCOMPARE(dlg.subject().sex, -1);  // neither chosen
    }

    void aSixtySeventhCharacterCannotBeTypedButAPastedOneIsReported() {
        SubjectDialog dlg(SubjectInfo{});
        dlg.setMessageHook(catchMessages());
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        QLineEdit* name = box(&dlg, "name");
        name->clear();
        QTest::keyClicks(name, QString(66, u'a'));
        QCOMPARE(name->text().size(), 66);
        QTest::keyClicks(name, "bc");
        QCOMPARE(name->text(), QString(66, u'a'));
        // Typing over a selection replaces it, so the full box still takes a correction.
        name->setSelection(0, 1);
        QTest::keyClicks(name, "Z");
        QCOMPARE(name->text(), "Z" + QString(65, u'a'));
        // Deleting works as ever.
        QTest::keyClick(name, Qt::Key_Backspace);
        QCOMPARE(name->text().size(), 65);

        QLineEdit* comment = box(&dlg, "comment1");
        QApplication::clipboard()->setText(QString(70, u'p'));
        comment->setFocus();
        QTest::keySequence(comment, QKeySequence::Paste);
        QCOMPARE(comment->text(), QString(70, u'p'));
        dlg.accept();
        QCOMPARE(messages, QStringList{"Please enter no more than 66 characters."});
        QCOMPARE(QApplication::focusWidget(), comment);

        // The number boxes take digits only.
        QLineEdit* age = box(&dlg, "age");
        age->clear();
        QTest::keyClicks(age, "1a2-");
        QCOMPARE(age->text(), QStringLiteral("12"));
    }

    void aLongNameFromAFileIsShownWholeAndCanBeShortened() {
        SubjectInfo fromFile = someone();
        fromFile.name = std::string(80, 'n');
        SubjectDialog dlg(fromFile);
        dlg.setMessageHook(catchMessages());
        dlg.show();
        QLineEdit* name = box(&dlg, "name");
        QCOMPARE(name->text().size(), 80);
        name->end(false);
        QTest::keyClicks(name, "x");
        QCOMPARE(name->text().size(), 80);
        dlg.accept();
        QCOMPARE(messages, QStringList{"Please enter no more than 66 characters."});
        name->setText(QString(66, u'n'));
        messages.clear();
        dlg.accept();
        QVERIFY(messages.isEmpty());
        QCOMPARE(dlg.subject().name, std::string(66, 'n'));
    }

    // A subject of the register needs a name (and a long one is seen whole); the
    // station's own dialog takes a blank one.
    void aRegisterSubjectNeedsANameShownWhole() {
        SubjectInfo blank = someone();
        blank.name = "  ";
        SubjectDialog dlg(blank);
        dlg.setMessageHook(catchMessages());
        dlg.setNameRule(NameRule::Required);
        dlg.show();
        QLineEdit* name = box(&dlg, "name");
        // 66 letters of a name as long as the alphabet's average fit the box.
        const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
        QVERIFY(name->width() >= name->fontMetrics().horizontalAdvance(letters) * 66 / 52);
        dlg.accept();
        QCOMPARE(messages, QStringList{"Please enter a name."});
        QVERIFY(dlg.isVisible());
        QCOMPARE(dlg.focusWidget(), name);
        name->setText(QStringLiteral("Eva"));
        messages.clear();
        dlg.accept();
        QVERIFY(messages.isEmpty());
        QCOMPARE(dlg.subject().name, std::string("Eva"));

        SubjectDialog own(blank);
        own.setMessageHook(catchMessages());
        own.accept();
        QVERIFY(messages.isEmpty());
        QCOMPARE(own.subject().name, std::string("  "));
    }

    void cancelChangesNothing() {
        SubjectInfo subject = someone();
        QTimer::singleShot(0, [this] {
            auto* dlg = qobject_cast<SubjectDialog*>(QApplication::activeModalWidget());
            QVERIFY(dlg);
            box(dlg, "name")->setText("Someone else");
            box(dlg, "age")->setText("12");
            dlg->findChild<QRadioButton*>("female")->setChecked(true);
            QTest::mouseClick(buttonWithText(dlg, "Cancel"), Qt::LeftButton);
        });
        QVERIFY(!SubjectDialog::edit(subject));
        QCOMPARE(subject, someone());

        // OK through the same call takes every value over at once.
        QTimer::singleShot(0, [this] {
            auto* dlg = qobject_cast<SubjectDialog*>(QApplication::activeModalWidget());
            QVERIFY(dlg);
            box(dlg, "name")->setText("Someone else");
            box(dlg, "age")->setText("12");
            dlg->findChild<QRadioButton*>("female")->setChecked(true);
            QTest::mouseClick(buttonWithText(dlg, "OK"), Qt::LeftButton);
        });
        QVERIFY(SubjectDialog::edit(subject));
        SubjectInfo expected = someone();
        expected.name = "Someone else";
        expected.age = 12;
        expected.sex = 0;
        QCOMPARE(subject, expected);
    }

    void setupDialogKeepsTheModeAsTheStationStoresIt() {
        SubjectModeDialog dlg(1);
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Subject info setup"));
        auto* abbreviated = dlg.findChild<QRadioButton*>("abbreviated");
        auto* extended = dlg.findChild<QRadioButton*>("extended");
        QCOMPARE(abbreviated->text(), QStringLiteral("Abbreviated"));
        QCOMPARE(extended->text(), QStringLiteral("Extended"));
        QVERIFY(extended->isChecked());
        QCOMPARE(dlg.mode(), uint8_t{1});
        abbreviated->setChecked(true);
        QCOMPARE(dlg.mode(), uint8_t{0});
        QVERIFY(SubjectModeDialog(0).findChild<QRadioButton*>("abbreviated")->isChecked());
        // A stray value from the settings file checks neither; anything but "Abbreviated"
        // means Extended.
        SubjectModeDialog stray(7);
        QVERIFY(!stray.findChild<QRadioButton*>("abbreviated")->isChecked());
        QVERIFY(!stray.findChild<QRadioButton*>("extended")->isChecked());
        QCOMPARE(stray.mode(), uint8_t{1});

        uint8_t mode = 1;
        QTimer::singleShot(0, [] {
            QWidget* dlg = QApplication::activeModalWidget();
            QVERIFY(dlg);
            dlg->findChild<QRadioButton*>("abbreviated")->setChecked(true);
            QTest::mouseClick(buttonWithText(dlg, "Cancel"), Qt::LeftButton);
        });
        QVERIFY(!SubjectModeDialog::edit(mode));
        QCOMPARE(mode, uint8_t{1});
        QTimer::singleShot(0, [] {
            QWidget* dlg = QApplication::activeModalWidget();
            QVERIFY(dlg);
            dlg->findChild<QRadioButton*>("abbreviated")->setChecked(true);
            QTest::mouseClick(buttonWithText(dlg, "OK"), Qt::LeftButton);
        });
        QVERIFY(SubjectModeDialog::edit(mode));
        QCOMPARE(mode, uint8_t{0});
    }
};

QTEST_MAIN(SubjectDialogTest)
#include "subject_dialog_test.moc"
