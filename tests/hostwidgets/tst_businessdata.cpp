#include "PivoraBusinessDataManager/pivorabusinessdatainterface.h"
#include "testsupport.h"
#include "velbusinessdata/businessdatabase.h"

#include <QThread>
#include <QtTest>

#include <atomic>
#include <limits>

namespace {

QVariantMap security(const QString &symbol, const QString &type, const QString &subType,
                     const QString &post)
{
    QVariantMap record{{QStringLiteral("symbol"), symbol},
                       {QStringLiteral("mdcSecurityType"), type},
                       {QStringLiteral("SymbolPost"), post}};
    if (!subType.isNull())
        record.insert(QStringLiteral("mdcSubSecurityType"), subType);
    return record;
}

const QString kOption = QStringLiteral("OPTION");
const QString kEtfOption = QStringLiteral("ETFOPTION");

QList<QVariantMap> sampleRecords()
{
    QVariantMap repeated =
        security(QStringLiteral("10000003.SH"), kOption, kEtfOption, QStringLiteral("SH"));
    repeated.insert(QStringLiteral("chineseName"), QStringLiteral("second"));
    return {security(QStringLiteral("10000003.SH"), kOption, kEtfOption, QStringLiteral("SH")),
            security(QStringLiteral("510050.SH"), QStringLiteral("ETF"), QString(),
                     QStringLiteral("SH")),
            security(QStringLiteral("90000001.SZ"), kOption, kEtfOption, QStringLiteral("SZ")),
            security(QStringLiteral("10000001.SH"), kOption, kEtfOption, QStringLiteral("SH")),
            security(QStringLiteral("lower.SH"), QStringLiteral("option"), kEtfOption,
                     QStringLiteral("SH")),
            security(QStringLiteral("stock.SH"), kOption, QStringLiteral("STOCKOPTION"),
                     QStringLiteral("SH")),
            security(QString(), kOption, kEtfOption, QStringLiteral("SH")),
            // A repeated symbol keeps its first place and its last record.
            repeated};
}

} // namespace

class TestBusinessData : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestSupport::installWarningGuard(); }
    void cleanup()
    {
        CBusinessDataBase::GetInstance()->clear();
        VERIFY_NO_UNEXPECTED_WARNINGS();
    }

    void emptyUntilLoaded();
    void symbolsByType_data();
    void symbolsByType();
    void details();
    void readersSeeWholeLoads();
    void pricePrecision_data();
    void pricePrecision();
};

void TestBusinessData::emptyUntilLoaded()
{
    CBusinessDataBase *data = CBusinessDataBase::GetInstance();
    QVERIFY(!data->isLoaded());
    QVERIFY(
        data->GetSymbolListByType(kOption, kEtfOption, QStringLiteral("SH"), false, {}).isEmpty());
    QVERIFY(data->GetSecurityDetailsBySymbol(QStringLiteral("10000001.SH")).isEmpty());

    data->loadSecurities(sampleRecords());
    QVERIFY(data->isLoaded());
    QCOMPARE(data->allSecurities().size(), 6);
    data->clear();
    QVERIFY(!data->isLoaded());
    QVERIFY(data->allSecurities().isEmpty());
}

void TestBusinessData::symbolsByType_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("subType");
    QTest::addColumn<QString>("post");
    QTest::addColumn<QStringList>("symbols");

    QTest::newRow("shanghai etf options in load order")
        << kOption << kEtfOption << "SH"
        << QStringList{QStringLiteral("10000003.SH"), QStringLiteral("10000001.SH")};
    QTest::newRow("shenzhen") << kOption << kEtfOption << "SZ"
                              << QStringList{QStringLiteral("90000001.SZ")};
    QTest::newRow("type is case-sensitive")
        << "option" << kEtfOption << "SH" << QStringList{QStringLiteral("lower.SH")};
    QTest::newRow("other sub-type") << kOption << "STOCKOPTION"
                                    << "SH" << QStringList{QStringLiteral("stock.SH")};
    QTest::newRow("missing sub-type matches empty")
        << "ETF"
        << ""
        << "SH" << QStringList{QStringLiteral("510050.SH")};
    QTest::newRow("post is exact") << kOption << kEtfOption << "sh" << QStringList();
    QTest::newRow("no such market") << kOption << kEtfOption << "BJ" << QStringList();
}

void TestBusinessData::symbolsByType()
{
    QFETCH(QString, type);
    QFETCH(QString, subType);
    QFETCH(QString, post);
    QFETCH(QStringList, symbols);

    CBusinessDataBase *data = CBusinessDataBase::GetInstance();
    data->loadSecurities(sampleRecords());
    QCOMPARE(data->GetSymbolListByType(type, subType, post, false, {}), symbols);
}

void TestBusinessData::details()
{
    CBusinessDataBase *data = CBusinessDataBase::GetInstance();
    data->loadSecurities(sampleRecords());
    const QVariantMap record = data->GetSecurityDetailsBySymbol(QStringLiteral("10000003.SH"));
    QCOMPARE(record.value(QStringLiteral("chineseName")).toString(), QStringLiteral("second"));
    QVERIFY(data->GetSecurityDetailsBySymbol(QStringLiteral("nope")).isEmpty());
    QVERIFY(data->GetSecurityDetailsBySymbol(QString()).isEmpty());

    // A new load replaces everything.
    data->loadSecurities(
        {security(QStringLiteral("x.SZ"), kOption, kEtfOption, QStringLiteral("SZ"))});
    QVERIFY(data->GetSecurityDetailsBySymbol(QStringLiteral("10000003.SH")).isEmpty());
    QCOMPARE(data->GetSymbolListByType(kOption, kEtfOption, QStringLiteral("SZ"), false, {}),
             QStringList{QStringLiteral("x.SZ")});
}

// Readers on another thread see the old list or the new one, never a mixture.
void TestBusinessData::readersSeeWholeLoads()
{
    CBusinessDataBase *data = CBusinessDataBase::GetInstance();
    QList<QVariantMap> small, large;
    QStringList smallSymbols, largeSymbols;
    for (int i = 0; i < 200; ++i) {
        const QString symbol = QStringLiteral("%1.SH").arg(10000000 + i);
        large.append(security(symbol, kOption, kEtfOption, QStringLiteral("SH")));
        largeSymbols.append(symbol);
        if (i % 2 == 0) {
            small.append(large.last());
            smallSymbols.append(symbol);
        }
    }
    data->loadSecurities(small);

    std::atomic<bool> stop{false};
    std::atomic<int> mixed{0};
    std::atomic<int> reads{0};
    QThread *reader = QThread::create([&] {
        while (!stop.load()) {
            const QStringList seen =
                data->GetSymbolListByType(kOption, kEtfOption, QStringLiteral("SH"), false, {});
            if (seen != smallSymbols && seen != largeSymbols)
                ++mixed;
            ++reads;
        }
    });
    reader->start();
    for (int round = 0; round < 200 || reads.load() < 50; ++round)
        data->loadSecurities(round % 2 ? small : large);
    stop = true;
    QVERIFY(reader->wait(60000));
    delete reader;
    QCOMPARE(mixed.load(), 0);
}

void TestBusinessData::pricePrecision_data()
{
    QTest::addColumn<QVariantMap>("record");
    QTest::addColumn<int>("precision");

    const QString key = QStringLiteral("pricePrecision");
    const QVariantMap option =
        security(QStringLiteral("p.SH"), kOption, kEtfOption, QStringLiteral("SH"));
    const QVariantMap fund =
        security(QStringLiteral("p.SH"), QStringLiteral("ETF"), QString(), QStringLiteral("SH"));
    auto with = [&](QVariantMap record, const QVariant &value) {
        record.insert(key, value);
        return record;
    };

    QTest::newRow("option default") << option << 4;
    QTest::newRow("fund default") << fund << 3;
    QTest::newRow("given") << with(fund, 2) << 2;
    QTest::newRow("given as integral double") << with(option, 3.0) << 3;
    QTest::newRow("given as text") << with(fund, QStringLiteral("5")) << 5;
    QTest::newRow("zero allowed") << with(option, 0) << 0;
    QTest::newRow("clamped high") << with(option, 12) << 8;
    QTest::newRow("clamped low") << with(option, -3) << 0;
    QTest::newRow("huge does not overflow") << with(option, 1e300) << 8;
    QTest::newRow("fraction is no precision") << with(option, 2.5) << 4;
    QTest::newRow("nan is no precision")
        << with(fund, std::numeric_limits<double>::quiet_NaN()) << 3;
    QTest::newRow("text is no precision") << with(option, QStringLiteral("abc")) << 4;
    QTest::newRow("list is no precision") << with(fund, QVariantList{2}) << 3;
}

void TestBusinessData::pricePrecision()
{
    QFETCH(QVariantMap, record);
    QFETCH(int, precision);
    CBusinessDataBase::GetInstance()->loadSecurities({record});
    QCOMPARE(PivoraBusinessDataInterface::GetPricePrecisionBySymbol(QStringLiteral("p.SH"), {}),
             precision);
    QCOMPARE(PivoraBusinessDataInterface::GetPricePrecisionBySymbol(QStringLiteral("unknown"), {}),
             3);
}

QTEST_MAIN(TestBusinessData)
#include "tst_businessdata.moc"
