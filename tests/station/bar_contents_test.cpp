// What the dialog bars' lists offer and how a typed number is read.
#include <QTest>

#include <clocale>

#include "station/bar_contents.h"

using namespace vanta;

class BarContentsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { std::setlocale(LC_NUMERIC, "C"); }

    void loadList_data() {
        QTest::addColumn<float>("load");
        QTest::addColumn<int>("selected");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("last");
        QTest::addColumn<QString>("around");  // entries selected-1, selected, selected+1
        QTest::newRow("one of the list") << 5.0f << 4 << " 1.00" << "31.00" << " 4.00| 5.00| 6.00";
        QTest::newRow("between two") << 7.5f << 7 << " 1.00" << "30.00" << " 7.00| 7.50| 8.00";
        QTest::newRow("above the list") << 45.0f << 30 << " 1.00" << "45.00" << "30.00|45.00|";
        QTest::newRow("below the list") << 0.5f << 0 << " 0.50" << "30.00" << "| 0.50| 1.00";
        QTest::newRow("the last of the list") << 30.0f << 29 << " 1.00" << "31.00" << "29.00|30.00|31.00";
    }
    void loadList() {
        QFETCH(float, load);
        QFETCH(int, selected);
        QFETCH(QString, first);
        QFETCH(QString, last);
        QFETCH(QString, around);
        const ListContents list = loadListContents(load);
        QCOMPARE(list.entries.size(), size_t(31));  // always 31 entries
        QCOMPARE(list.selected, selected);
        QCOMPARE(QString::fromStdString(list.entries.front()), first);
        QCOMPARE(QString::fromStdString(list.entries.back()), last);
        QStringList near;
        for (int i = selected - 1; i <= selected + 1; ++i)
            near << (i >= 0 && i < 31 ? QString::fromStdString(list.entries[size_t(i)]) : QString());
        QCOMPARE(near.join(QLatin1Char('|')), around);
        // Ascending throughout.
        for (size_t i = 1; i < list.entries.size(); ++i)
            QVERIFY(std::stod(list.entries[i - 1]) < std::stod(list.entries[i]));
    }

    void typedNumbers_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<float>("value");
        QTest::newRow("plain") << "12.5" << 12.5f;
        QTest::newRow("leading blanks") << "  7.25" << 7.25f;
        QTest::newRow("unit after the number") << "20kg" << 20.0f;
        // With a decimal point the conversion stops at a comma.
        QTest::newRow("comma in a point locale") << "12,5" << 12.0f;
        QTest::newRow("no number") << "abc" << 0.0f;
        QTest::newRow("empty") << "" << 0.0f;
        QTest::newRow("negative") << "-3" << -3.0f;
    }
    void typedNumbers() {
        QFETCH(QString, text);
        QFETCH(float, value);
        QCOMPARE(barTextToNumber(text.toStdString()), value);
    }

    void repetitionLists() {
        QVERIFY(reportRepetitionContents(0).entries.empty());
        QCOMPARE(reportRepetitionContents(0).selected, -1);
        const ListContents hundred = curveRepetitionContents(100);
        QCOMPARE(hundred.entries.size(), size_t(100));
        QCOMPARE(hundred.entries[0], std::string("Rep No.  1"));
        QCOMPARE(hundred.entries[99], std::string("Rep No. 100"));
        QCOMPARE(hundred.selected, 0);
        QCOMPARE(reportRepetitionContents(12).entries[11], std::string("Repetition No(#) 12"));
    }
};

QTEST_APPLESS_MAIN(BarContentsTest)
#include "bar_contents_test.moc"
