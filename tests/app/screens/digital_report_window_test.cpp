// The digital report through the window: Report > "Digital" on an opened test, another
// repetition chosen in the bar's box, "Export xml" clicked, then another screen.
#include <QComboBox>
#include <QPushButton>
#include <QTest>

#include "app/screens/report_table.h"
#include "app/station_view.h"
#include "reports/spreadsheet_export.h"
#include "station/command_ids.h"
#include "tests/app/station_fixture.h"
#include "tests/support/temp_dir.h"

using namespace vanta;
using namespace vanta::testing;

class DigitalReportWindowTest : public QObject {
    Q_OBJECT
    QTemporaryDir home_;

private slots:
    void initTestCase() { redirectUserFolders(home_); }

    void reportChooseExportLeave() {
        StationFixture f;
        f.writeSettings(0);
        const std::string path = f.writeTestFileWith(3, "eva.kvq", "Eva M\xc3\xbcller & Co");
        QVERIFY(f.start());
        StationView& view = f.frame().view();
        std::vector<std::string> opened;
        view.setFileOpener([&](const std::string& p) {
            opened.push_back(p);
            return true;
        });
        f.dialogs.openAnswers.push_back(path);
        f.frame().action(cmd::kFileOpen)->trigger();

        ReportTable& table = view.reportTable();
        QCOMPARE(table.parentWidget(), &view);
        QCOMPARE(table.geometry().size(), QSize(0, 0));

        f.frame().action(cmd::kDigitalReport)->trigger();
        QCOMPARE(table.geometry(), QRect(10, 50, 730, 220));
        QVERIFY(table.isVisible());
        QCOMPARE(table.font().pixelSize(), 12);
        QCOMPARE(table.tableCells(), digitalReportRows(f.station().test.results[0]));

        auto* box = f.frame().findChild<QComboBox*>(QStringLiteral("ctl%1").arg(cmd::kReportRepetitionBox));
        QVERIFY(box);
        QCOMPARE(box->count(), 3);
        QCOMPARE(box->currentIndex(), 0);
        // The operator's choice: two steps down the closed list.
        QTest::keyClick(box, Qt::Key_Down);
        QTest::keyClick(box, Qt::Key_Down);
        QCOMPARE(box->currentIndex(), 2);
        QCOMPARE(f.station().selectedRepetition, 2);
        QCOMPARE(table.tableCells(), digitalReportRows(f.station().test.results[2]));

        auto* exportButton = f.frame().findChild<QPushButton*>(QStringLiteral("ctl%1").arg(cmd::kExportXml));
        QVERIFY(exportButton);
        QCOMPARE(exportButton->text(), QStringLiteral("Export xml"));
        QTest::mouseClick(exportButton, Qt::LeftButton);
        const std::string file = f.dataDirectory() + "/noname.xml";
        QCOMPARE(opened, std::vector<std::string>{file});
        // The bytes vantacheck-cli export writes for repetition 3 of this file.
        const std::string expected = spreadsheetBytes(digitalLayout, digitalReportRows(f.station().test.results[2]),
                                                      {"Eva M\xc3\xbcller & Co", 1700000000, 2});
        QVERIFY(readFileBytes(file) == expected);
        QVERIFY(f.dialogs.messages.empty());

        f.frame().action(cmd::kCurveGraph)->trigger();
        QCOMPARE(table.geometry().size(), QSize(0, 0));
        QCOMPARE(table.rowCount(), 0);
        QCOMPARE(table.columnCount(), 0);
    }
};

QTEST_MAIN(DigitalReportWindowTest)
#include "digital_report_window_test.moc"
