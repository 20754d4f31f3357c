#include "BlinkFading.h"
#include "testsupport.h"

#include <veldefine/velconstants.h>

#include <QtTest>

namespace {

typedef QMap<int, QString> Texts; // column -> "256" text

Row rowOf(const Texts &texts, qint64 stamp = -1)
{
    Row row;
    for (auto it = texts.begin(); it != texts.end(); ++it) {
        row[it.key()][VelConst::RoleUser] = it.value();
        row[it.key()][VelConst::RoleUser1] = 1.25;
    }
    if (stamp >= 0)
        row[BlinkFading::TimestampColumn][VelConst::TQuotation_TIMESTAMP] = stamp;
    return row;
}

Texts textsOf(const Row &row)
{
    Texts texts;
    for (auto it = row.begin(); it != row.end(); ++it)
        if (it->contains(VelConst::RoleUser))
            texts.insert(it.key(), it->value(VelConst::RoleUser).toString());
    return texts;
}

} // namespace

Q_DECLARE_METATYPE(Texts)

class TestBlinkFading : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { TestSupport::installWarningGuard(); }
    void cleanup() { VERIFY_NO_UNEXPECTED_WARNINGS(); }

    void actionForAge_data();
    void actionForAge();
    void fadeRow_data();
    void fadeRow();
    void selectDue();
};

void TestBlinkFading::actionForAge_data()
{
    QTest::addColumn<qint64>("age");
    QTest::addColumn<int>("action");
    QTest::newRow("fresh") << qint64(0) << int(BlinkFading::Leave);
    QTest::newRow("1000 left alone") << qint64(1000) << int(BlinkFading::Leave);
    QTest::newRow("1001 fades") << qint64(1001) << int(BlinkFading::Fade);
    QTest::newRow("3000 fades and stays") << qint64(3000) << int(BlinkFading::Fade);
    QTest::newRow("3001 dropped") << qint64(3001) << int(BlinkFading::FadeAndDrop);
    QTest::newRow("from the future") << qint64(-500) << int(BlinkFading::Leave);
}

void TestBlinkFading::actionForAge()
{
    QFETCH(qint64, age);
    QFETCH(int, action);
    QCOMPARE(int(BlinkFading::actionForAge(age)), action);
}

void TestBlinkFading::fadeRow_data()
{
    QTest::addColumn<Texts>("before");
    QTest::addColumn<bool>("force");
    QTest::addColumn<Texts>("after");

    QTest::newRow("last and change down a step, bid at 0 unchanged")
        << Texts{{0, "0.1000###0"}, {2, "0.1010###3"}, {3, "1.00%###3"}} << false
        << Texts{{0, "0.1000###0"}, {2, "0.1010###2"}, {3, "1.00%###2"}};
    QTest::newRow("each level one step")
        << Texts{{11, "a###3"}, {12, "b###2"}, {13, "c###1"}, {14, "d###0"}, {1, "no marker"}}
        << false
        << Texts{{11, "a###2"}, {12, "b###1"}, {13, "c###0"}, {14, "d###0"}, {1, "no marker"}};
    QTest::newRow("dropped: any level forced to 0")
        << Texts{{0, "a###3"}, {1, "b###2"}, {2, "c###1"}, {12, "d###3"}} << true
        << Texts{{0, "a###0"}, {1, "b###0"}, {2, "c###0"}, {12, "d###0"}};
    QTest::newRow("limits, open interest, keys untouched")
        << Texts{{4, "1.5000###3"}, {5, "0.1000###0"}, {6, "12###3"}, {7, "2.950 "},
                 {8, "7###2"}, {9, "x###3"}, {10, "y###1"}, {15, "20260101"},
                 {16, "ALL_PRICE20260101"}}
        << true
        << Texts{{4, "1.5000###3"}, {5, "0.1000###0"}, {6, "12###3"}, {7, "2.950 "},
                 {8, "7###2"}, {9, "x###3"}, {10, "y###1"}, {15, "20260101"},
                 {16, "ALL_PRICE20260101"}};
}

void TestBlinkFading::fadeRow()
{
    QFETCH(Texts, before);
    QFETCH(bool, force);
    QFETCH(Texts, after);
    const Row row = rowOf(before, 12345);
    const Row faded = BlinkFading::fadeRow(row, force);
    QCOMPARE(textsOf(faded), after);
    // Only "256" texts change: the numbers and the time stamp travel as they were.
    QCOMPARE(faded.value(BlinkFading::TimestampColumn), row.value(BlinkFading::TimestampColumn));
    for (auto it = row.begin(); it != row.end(); ++it)
        QCOMPARE(faded.value(it.key()).value(VelConst::RoleUser1), it->value(VelConst::RoleUser1));
}

void TestBlinkFading::selectDue()
{
    const qint64 now = 1700000000000;
    QMap<QString, Row> records{
        {"e.young", rowOf({{2, "a###3"}}, now - 1000)},
        {"d.at3000", rowOf({{2, "a###3"}}, now - 3000)},
        {"c.old", rowOf({{2, "a###3"}}, now - 3001)},
        {"b.nostamp", rowOf({{2, "a###1"}})},
        {"a.at1001", rowOf({{2, "a###2"}}, now - 1001)},
    };
    const QMap<QString, Row> before = records;
    const BlinkFading::Selection selection = BlinkFading::selectDue(records, now);

    QCOMPARE(selection.due.keys(), (QStringList{"a.at1001", "b.nostamp", "c.old", "d.at3000"}));
    QCOMPARE(selection.dropped, (QSet<QString>{"b.nostamp", "c.old"}));
    QCOMPARE(records.keys(), (QStringList{"a.at1001", "d.at3000", "e.young"}));
    // Copies as they were: the fading happens on them afterwards.
    for (auto it = selection.due.begin(); it != selection.due.end(); ++it)
        QCOMPARE(it.value(), before.value(it.key()));
    QCOMPARE(BlinkFading::recordTime(before.value("b.nostamp")), qint64(0));
    QCOMPARE(BlinkFading::recordTime(before.value("c.old")), now - 3001);

    QMap<QString, Row> none;
    QVERIFY(BlinkFading::selectDue(none, now).due.isEmpty());
}

QTEST_GUILESS_MAIN(TestBlinkFading)
#include "tst_blinkfading.moc"
