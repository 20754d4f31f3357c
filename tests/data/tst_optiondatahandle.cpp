#include "OptionDataHandle.h"
#include "optionfixture.h"
#include "testsupport.h"

#include <veldefine/veldefine.h>

#include <QtTest>

using namespace OptionFixture;

namespace {

const QString C = Ostrel_Values::OptionCallOrPut::call;
const QString P = Ostrel_Values::OptionCallOrPut::put;

// "underlying|date|strike|side=symbol" for every leaf, in the chain's order.
QStringList flatten(const OptionChainMap &chain)
{
    QStringList leaves;
    for (auto u = chain.begin(); u != chain.end(); ++u)
        for (auto d = u->begin(); d != u->end(); ++d)
            for (auto s = d->begin(); s != d->end(); ++s)
                for (auto side = s->begin(); side != s->end(); ++side)
                    leaves << u.key() + '|' + d.key() + '|' + s.key() + '|' + side.key() + '='
                                  + side->value(Ostrel_Fields::Security::symbol).toString();
    return leaves;
}

QStringList strikeKeys(const OptionChainMap &chain, const QString &underlying, const QString &date)
{
    return chain.value(underlying).value(date).keys();
}

QList<double> ladderStrikes()
{
    return {2.85, 2.9, 2.95, 3.0, 3.05};
}

} // namespace

class TestOptionDataHandle : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { TestSupport::installWarningGuard(); }
    void cleanup() { VERIFY_NO_UNEXPECTED_WARNINGS(); }

    void chain_data();
    void chain();
    void leafKeepsRecordAndReadFields();
    void filter_data();
    void filter();
    void underlyingList_data();
    void underlyingList();
};

void TestOptionDataHandle::chain_data()
{
    QTest::addColumn<QList<QVariantMap>>("records");
    QTest::addColumn<QString>("post");
    QTest::addColumn<QStringList>("expected");
    const QString d = day(30);

    QTest::newRow("yesterday dropped, today kept")
        << QList<QVariantMap>{option("a.SH", "510050", day(-1), 2.5, C, "x"),
                              option("b.SH", "510050", day(0), 2.5, C, "x")}
        << "SH" << QStringList{"510050.SH|" + day(0) + "|2.500 |C=b.SH"};
    QTest::newRow("A suffix after the blank")
        << QList<QVariantMap>{option("a.SH", "510050", d, 2.95, C, "50ETF购12月2950A"),
                              option("b.SH", "510050", d, 2.95, C, "50ETF购12月2950")}
        << "SH"
        << QStringList{"510050.SH|" + d + "|2.950 |C=b.SH", "510050.SH|" + d + "|2.950A|C=a.SH"};
    QTest::newRow("lower case, digit, CJK, empty name: blank")
        << QList<QVariantMap>{option("a.SH", "510050", d, 1, C, "abc"),
                              option("b.SH", "510050", d, 2, C, "x9"),
                              option("c.SH", "510050", d, 3, C, "认购"),
                              option("e.SH", "510050", d, 4, C, "")}
        << "SH"
        << QStringList{"510050.SH|" + d + "|1.000 |C=a.SH", "510050.SH|" + d + "|2.000 |C=b.SH",
                       "510050.SH|" + d + "|3.000 |C=c.SH", "510050.SH|" + d + "|4.000 |C=e.SH"};
    QTest::newRow("10.000 before 9.000")
        << QList<QVariantMap>{option("a.SH", "510050", d, 9, P, "x"),
                              option("b.SH", "510050", d, 10, P, "x")}
        << "SH" << QStringList{"510050.SH|" + d + "|10.000 |P=b.SH", "510050.SH|" + d + "|9.000 |P=a.SH"};
    QTest::newRow("several underlyings of the post, other post absent")
        << QList<QVariantMap>{option("a.SH", "510300", d, 4, C, "x"),
                              option("b.SZ", "159919", d, 4, C, "x", "SZ"),
                              option("c.SH", "510050", d, 3, C, "x")}
        << "SH" << QStringList{"510050.SH|" + d + "|3.000 |C=c.SH", "510300.SH|" + d + "|4.000 |C=a.SH"};
    QTest::newRow("request without post")
        << QList<QVariantMap>{option("a", "510050", d, 3, C, "x", ""),
                              option("b.SH", "510050", d, 3, C, "x")}
        << "" << QStringList{"510050.|" + d + "|3.000 |C=a"};
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

void TestOptionDataHandle::chain()
{
    QFETCH(QList<QVariantMap>, records);
    QFETCH(QString, post);
    QFETCH(QStringList, expected);
    load(records);
    QVariantMap request = category(post);
    if (post.isEmpty())
        request.remove(Ostrel_Fields::UserAccount::SymbolPost);
    QCOMPARE(flatten(OptionDataHandle::getOptionData(request)), expected);
}

void TestOptionDataHandle::leafKeepsRecordAndReadFields()
{
    QVariantMap record = option("a.SH", "510050", day(3), 2.95, C, "x");
    record.remove(Ostrel_Fields::Security::chineseName);
    record.insert(QStringLiteral("pricePrecision"), 3);
    load({record});
    const OptionChainMap chain = OptionDataHandle::getOptionData(category("SH"));
    const QVariantMap leaf = chain["510050.SH"][day(3)]["2.950 "][C];
    QVERIFY(leaf.contains(Ostrel_Fields::Security::chineseName));
    QVERIFY(!leaf.value(Ostrel_Fields::Security::chineseName).isValid());
    QVariantMap withoutAdded = leaf;
    withoutAdded.remove(Ostrel_Fields::Security::chineseName);
    QCOMPARE(withoutAdded, record);
}

void TestOptionDataHandle::filter_data()
{
    QTest::addColumn<QString>("centre");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QStringList>("kept");

    QTest::newRow("2.95 limit 4") << "2.95" << 4
                                  << QStringList{"2.850 ", "2.900 ", "2.950 ", "3.000 "};
    QTest::newRow("2.95 limit 5 = count keeps all")
        << "2.95" << 5 << QStringList{"2.850 ", "2.900 ", "2.950 ", "3.000 ", "3.050 "};
    QTest::newRow("2.95 limit 1: the one below") << "2.95" << 1 << QStringList{"2.900 "};
    QTest::newRow("2.95 limit 0: nearest below") << "2.95" << 0 << QStringList{"2.900 "};
    QTest::newRow("2.95 limit 3: odd extra is below")
        << "2.95" << 3 << QStringList{"2.850 ", "2.900 ", "2.950 "};
    QTest::newRow("9.000 above all, limit 2") << "9.000" << 2 << QStringList{"3.000 ", "3.050 "};
    QTest::newRow("empty centre: lowest") << "" << 2 << QStringList{"2.850 ", "2.900 "};
    QTest::newRow("0.000 limit 0, one side only: none") << "0.000" << 0 << QStringList{};
    QTest::newRow("2.9500: 2.950 counts below") << "2.9500" << 2 << QStringList{"2.950 ", "3.000 "};
    QTest::newRow("2.950 : key equal to centre is below")
        << "2.950 " << 2 << QStringList{"2.950 ", "3.000 "};
}

void TestOptionDataHandle::filter()
{
    QFETCH(QString, centre);
    QFETCH(int, limit);
    QFETCH(QStringList, kept);
    const QString d1 = day(10);
    const QString d2 = day(40);
    load(ladder("a", "510050", d1, ladderStrikes()) + ladder("b", "510050", d2, {2.5, 2.6}));

    const OptionChainMap result =
        OptionDataHandle::getFilteredOptionData("510050.SH", centre, limit, category("SH"));
    QCOMPARE(strikeKeys(result, "510050.SH", d1), kept);
    QCOMPARE(result.value("510050.SH").contains(d1), !kept.isEmpty());
    // The short date is kept whole whenever the limit reaches its two strikes.
    if (limit >= 2)
        QCOMPARE(strikeKeys(result, "510050.SH", d2), (QStringList{"2.500 ", "2.600 "}));
    // Each kept strike still carries both sides.
    for (const QString &key : kept)
        QCOMPARE(result["510050.SH"][d1][key].keys(), (QStringList{C, P}));
    QVERIFY(OptionDataHandle::getFilteredOptionData("510300.SH", centre, limit, category("SH"))
                .isEmpty());
}

void TestOptionDataHandle::underlyingList_data()
{
    QTest::addColumn<QList<QVariantMap>>("records");
    QTest::addColumn<QString>("post");
    QTest::addColumn<QStringList>("expected");
    const QString d = day(20);
    QTest::newRow("distinct, in order of first option")
        << QList<QVariantMap>{option("a.SH", "510300", d, 4, C, "x"),
                              option("b.SH", "510050", d, 3, C, "x"),
                              option("c.SH", "510300", d, 4, P, "x")}
        << "SH" << QStringList{"510300.SH", "510050.SH"};
    QTest::newRow("suffix already present, empty id skipped")
        << QList<QVariantMap>{option("a.SZ", "159919.SZ", d, 4, C, "x", "SZ"),
                              option("b.SZ", "", d, 4, C, "x", "SZ"),
                              option("c.SZ", "159919", d, 4, P, "x", "SZ"),
                              option("e.SZ", "159915.sz", d, 4, P, "x", "SZ")}
        << "SZ" << QStringList{"159919.SZ", "159915.sz.SZ"};
    QTest::newRow("other post not listed")
        << QList<QVariantMap>{option("a.SH", "510050", d, 3, C, "x")} << "SZ" << QStringList{};
}

void TestOptionDataHandle::underlyingList()
{
    QFETCH(QList<QVariantMap>, records);
    QFETCH(QString, post);
    QFETCH(QStringList, expected);
    load(records);
    QCOMPARE(OptionDataHandle::getUnderlyingSymbolList(category(post)), expected);
}

QTEST_GUILESS_MAIN(TestOptionDataHandle)
#include "tst_optiondatahandle.moc"
