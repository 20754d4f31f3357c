#include "BlinkFading.h"
#include "OptionDataHandle.h"
#include "fixture.h"

#include <veldefine/velconstants.h>

#include <QtTest>

using namespace Fixture;

namespace {

const qint64 kNoStamp = std::numeric_limits<qint64>::min();

// "underlying|date|strike|side=symbol" for every leaf, in the chain's order.
QStringList flatten(const OptionChainMap &chain)
{
    QStringList leaves;
    for (auto u = chain.begin(); u != chain.end(); ++u)
        for (auto d = u->begin(); d != u->end(); ++d)
            for (auto s = d->begin(); s != d->end(); ++s)
                for (auto side = s->begin(); side != s->end(); ++side)
                    leaves << u.key() + '|' + d.key() + '|' + s.key() + '|' + side.key() + '=' +
                                  side->value("symbol").toString();
    return leaves;
}

// Texts "column=text ..." of a row's "256" cells, and back.
Row rowOf(const QString &texts, qint64 stamp)
{
    Row row;
    for (const QString &cell : texts.split(' ', Qt::SkipEmptyParts)) {
        row[cell.section('=', 0, 0).toInt()][VelConst::RoleUser] = cell.section('=', 1);
        row[cell.section('=', 0, 0).toInt()][VelConst::RoleUser1] = 1.25;
    }
    if (stamp >= 0)
        row[BlinkFading::TimestampColumn][VelConst::TQuotation_TIMESTAMP] = stamp;
    return row;
}

QString textsOf(const Row &row)
{
    QStringList cells;
    for (auto it = row.begin(); it != row.end(); ++it)
        if (it->contains(VelConst::RoleUser))
            cells << QString::number(it.key()) + '=' + it->value(VelConst::RoleUser).toString();
    return cells.join(' ');
}

} // namespace

// The chain builder's keys and strike filter, and the blink ageing rules.
class TestChain : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { installWarningGuard(); }
    void cleanup() { VERIFY_NO_UNEXPECTED_WARNINGS(); }

    void chainKeys_data();
    void chainKeys();
    void strikeFilter_data();
    void strikeFilter();
    void underlyingList_data();
    void underlyingList();
    void blinkAgeing_data();
    void blinkAgeing();
    void blinkFadeSteps_data();
    void blinkFadeSteps();
};

void TestChain::chainKeys_data()
{
    QTest::addColumn<QList<QVariantMap>>("records");
    QTest::addColumn<QString>("post");
    QTest::addColumn<QStringList>("expected");
    const QString d = day(30);
    const QString C = QStringLiteral("C"), P = QStringLiteral("P");
    QTest::newRow("yesterday dropped, today kept")
        << QList<QVariantMap>{option("a.SH", "510050", day(-1), 2.5, C, "x"),
                              option("b.SH", "510050", day(0), 2.5, C, "x")}
        << "SH" << QStringList{"510050.SH|" + day(0) + "|2.500 |C=b.SH"};
    QTest::newRow("A suffix after the blank")
        << QList<QVariantMap>{option("a.SH", "510050", d, 2.95, C, "50ETF购12月2950A"),
                              option("b.SH", "510050", d, 2.95, C, "50ETF购12月2950")}
        << "SH"
        << QStringList{"510050.SH|" + d + "|2.950 |C=b.SH", "510050.SH|" + d + "|2.950A|C=a.SH"};
    QTest::newRow("lower case, CJK or empty name: blank")
        << QList<QVariantMap>{option("a.SH", "510050", d, 1, C, "abc"),
                              option("c.SH", "510050", d, 3, C, "认购"),
                              option("e.SH", "510050", d, 4, C, "")}
        << "SH"
        << QStringList{"510050.SH|" + d + "|1.000 |C=a.SH", "510050.SH|" + d + "|3.000 |C=c.SH",
                       "510050.SH|" + d + "|4.000 |C=e.SH"};
    QTest::newRow("10.000 before 9.000 as text")
        << QList<QVariantMap>{option("a.SH", "510050", d, 9, P, "x"),
                              option("b.SH", "510050", d, 10, P, "x")}
        << "SH"
        << QStringList{"510050.SH|" + d + "|10.000 |P=b.SH", "510050.SH|" + d + "|9.000 |P=a.SH"};
    QTest::newRow("other post left out")
        << QList<QVariantMap>{option("a.SH", "510300", d, 4, C, "x"),
                              option("b.SZ", "159919", d, 4, C, "x", "SZ")}
        << "SH" << QStringList{"510300.SH|" + d + "|4.000 |C=a.SH"};
    // The underlying's key takes the post the page asked for, whatever the
    // option's own symbol says.
    QTest::newRow("symbol without suffix")
        << QList<QVariantMap>{option("10001", "510050", d, 3, C, "x")} << "SH"
        << QStringList{"510050.SH|" + d + "|3.000 |C=10001"};
    QTest::newRow("symbol with another suffix")
        << QList<QVariantMap>{option("10001.XSHG", "510050", d, 3, C, "x")} << "SH"
        << QStringList{"510050.SH|" + d + "|3.000 |C=10001.XSHG"};
    QTest::newRow("later of identical keys wins")
        << QList<QVariantMap>{option("a.SH", "510050", d, 3, C, "x"),
                              option("b.SH", "510050", d, 3, C, "x")}
        << "SH" << QStringList{"510050.SH|" + d + "|3.000 |C=b.SH"};
    QTest::newRow("bad fields shape the keys")
        << QList<QVariantMap>{option("a.SH", "", d, "abc", C, "x"),
                              option("b.SH", "510050", "garbage", "nan", "", "x"),
                              option("c.SH", "510050", d, "inf", C, "x")}
        << "SH"
        << QStringList{".SH|" + d + "|0.000 |C=a.SH", "510050.SH|" + d + "|0.000 |C=c.SH",
                       "510050.SH|garbage|0.000 |=b.SH"};
}

void TestChain::chainKeys()
{
    QFETCH(QList<QVariantMap>, records);
    QFETCH(QString, post);
    QFETCH(QStringList, expected);
    load(records);
    QCOMPARE(flatten(OptionDataHandle::getOptionData(category(post))), expected);
}

void TestChain::strikeFilter_data()
{
    QTest::addColumn<QString>("centre");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QStringList>("kept");
    QTest::newRow("2.95 limit 4") << "2.95" << 4
                                  << QStringList{"2.850 ", "2.900 ", "2.950 ", "3.000 "};
    QTest::newRow("limit = count keeps all")
        << "2.95" << 5 << QStringList{"2.850 ", "2.900 ", "2.950 ", "3.000 ", "3.050 "};
    QTest::newRow("limit 1: the one below") << "2.95" << 1 << QStringList{"2.900 "};
    QTest::newRow("limit 0: nearest below") << "2.95" << 0 << QStringList{"2.900 "};
    QTest::newRow("odd limit: extra below")
        << "2.95" << 3 << QStringList{"2.850 ", "2.900 ", "2.950 "};
    QTest::newRow("above all") << "9.000" << 2 << QStringList{"3.000 ", "3.050 "};
    QTest::newRow("empty centre: lowest") << "" << 2 << QStringList{"2.850 ", "2.900 "};
    QTest::newRow("one side only, limit 0: none") << "0.000" << 0 << QStringList{};
    QTest::newRow("key equal to the centre counts below")
        << "2.950 " << 2 << QStringList{"2.950 ", "3.000 "};
}

void TestChain::strikeFilter()
{
    QFETCH(QString, centre);
    QFETCH(int, limit);
    QFETCH(QStringList, kept);
    const QString d1 = day(10), d2 = day(40);
    load(ladder("a", "510050", d1, {2.85, 2.9, 2.95, 3.0, 3.05}) +
         ladder("b", "510050", d2, {2.5, 2.6}));
    const OptionChainMap result =
        OptionDataHandle::getFilteredOptionData("510050.SH", centre, limit, category("SH"));
    QCOMPARE(result.value("510050.SH").value(d1).keys(), kept);
    QCOMPARE(result.value("510050.SH").contains(d1), !kept.isEmpty());
    for (const QString &key : kept)
        QCOMPARE(result["510050.SH"][d1][key].keys(), (QStringList{"C", "P"}));
    // Each date is filtered on its own.
    if (limit >= 2)
        QCOMPARE(result.value("510050.SH").value(d2).keys(), (QStringList{"2.500 ", "2.600 "}));
    QVERIFY(OptionDataHandle::getFilteredOptionData("510300.SH", centre, limit, category("SH"))
                .isEmpty());
}

void TestChain::underlyingList_data()
{
    QTest::addColumn<QList<QVariantMap>>("records");
    QTest::addColumn<QString>("post");
    QTest::addColumn<QStringList>("expected");
    const QString d = day(20);
    QTest::newRow("distinct, in order of first option")
        << QList<QVariantMap>{option("a.SH", "510300", d, 4, "C", "x"),
                              option("b.SH", "510050", d, 3, "C", "x"),
                              option("c.SH", "510300", d, 4, "P", "x")}
        << "SH" << QStringList{"510300.SH", "510050.SH"};
    QTest::newRow("suffix already present, empty id skipped")
        << QList<QVariantMap>{option("a.SZ", "159919.SZ", d, 4, "C", "x", "SZ"),
                              option("b.SZ", "", d, 4, "C", "x", "SZ"),
                              option("c.SZ", "159919", d, 4, "P", "x", "SZ")}
        << "SZ" << QStringList{"159919.SZ"};
}

void TestChain::underlyingList()
{
    QFETCH(QList<QVariantMap>, records);
    QFETCH(QString, post);
    QFETCH(QStringList, expected);
    load(records);
    QCOMPARE(OptionDataHandle::getUnderlyingSymbolList(category(post)), expected);
}

void TestChain::blinkAgeing_data()
{
    // Ages of the records held at one run, and what the run makes of them.
    QTest::addColumn<QList<qint64>>("ages"); // kNoStamp: no time stamp
    QTest::addColumn<QStringList>("due");
    QTest::addColumn<QStringList>("dropped");
    QTest::addColumn<QStringList>("kept");
    QTest::newRow("1000 ms left alone, 1001 fades")
        << QList<qint64>{1000, 1001} << QStringList{"s1"} << QStringList{}
        << QStringList{"s0", "s1"};
    QTest::newRow("3000 fades and stays, 3001 dropped")
        << QList<qint64>{3000, 3001} << QStringList{"s0", "s1"} << QStringList{"s1"}
        << QStringList{"s0"};
    QTest::newRow("no time stamp: dropped")
        << QList<qint64>{kNoStamp} << QStringList{"s0"} << QStringList{"s0"} << QStringList{};
    QTest::newRow("from the future: left alone")
        << QList<qint64>{-500} << QStringList{} << QStringList{} << QStringList{"s0"};
}

void TestChain::blinkAgeing()
{
    QFETCH(QList<qint64>, ages);
    QFETCH(QStringList, due);
    QFETCH(QStringList, dropped);
    QFETCH(QStringList, kept);
    const qint64 now = 1700000000000;
    QMap<QString, Row> records;
    for (int i = 0; i < ages.size(); ++i) {
        const qint64 age = ages.at(i);
        records.insert(QStringLiteral("s%1").arg(i),
                       rowOf(QStringLiteral("2=a###3"), age == kNoStamp ? -1 : now - age));
    }
    const QMap<QString, Row> before = records;
    const BlinkFading::Selection selection = BlinkFading::selectDue(records, now);
    QCOMPARE(selection.due.keys(), due);
    QStringList droppedKeys = selection.dropped.values();
    droppedKeys.sort();
    QCOMPARE(droppedKeys, dropped);
    QCOMPARE(records.keys(), kept);
    // Copies as they were: the fading happens on them afterwards.
    for (auto it = selection.due.begin(); it != selection.due.end(); ++it)
        QCOMPARE(it.value(), before.value(it.key()));
}

void TestChain::blinkFadeSteps_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<bool>("force");
    QTest::addColumn<QString>("after");
    QTest::newRow("last and change down a step, bid at 0 stays")
        << "0=0.1000###0 2=0.1010###3 3=1.00%###3" << false
        << "0=0.1000###0 2=0.1010###2 3=1.00%###2";
    QTest::newRow("each level one step")
        << "1=no-marker 11=a###3 12=b###2 13=c###1 14=d###0" << false
        << "1=no-marker 11=a###2 12=b###1 13=c###0 14=d###0";
    QTest::newRow("dropped: any level to 0")
        << "0=a###3 1=b###2 2=c###1 12=d###3" << true << "0=a###0 1=b###0 2=c###0 12=d###0";
    QTest::newRow("limits, open interest and keys untouched")
        << "4=1.5000###3 6=12###3 7=2.950 8=7###2 9=x###3 15=20260101 16=ALL_PRICE20260101" << true
        << "4=1.5000###3 6=12###3 7=2.950 8=7###2 9=x###3 15=20260101 16=ALL_PRICE20260101";
}

void TestChain::blinkFadeSteps()
{
    QFETCH(QString, before);
    QFETCH(bool, force);
    QFETCH(QString, after);
    const Row row = rowOf(before, 12345);
    const Row faded = BlinkFading::fadeRow(row, force);
    QCOMPARE(textsOf(faded), after);
    // Numbers and the time stamp travel as they were.
    QCOMPARE(faded.value(BlinkFading::TimestampColumn), row.value(BlinkFading::TimestampColumn));
    for (auto it = row.begin(); it != row.end(); ++it)
        QCOMPARE(faded.value(it.key()).value(VelConst::RoleUser1), it->value(VelConst::RoleUser1));
}

FIXTURE_TEST_MAIN(TestChain)
#include "tst_chain.moc"
