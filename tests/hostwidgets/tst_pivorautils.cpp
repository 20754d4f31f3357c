#include "PivoraUtils/pivorautils.h"
#include "testsupport.h"

#include <QtTest>

#include <limits>

class TestPivoraUtils : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestSupport::installWarningGuard(); }
    void cleanup()
    {
        PivoraUtils::SetCurrentShowType(ShowType_Plain);
        VERIFY_NO_UNEXPECTED_WARNINGS();
    }

    void showType();
    void transQty_data();
    void transQty();
    void lastPrice_data();
    void lastPrice();
};

void TestPivoraUtils::showType()
{
    QCOMPARE(PivoraUtils::GetCurrentShowType(), ShowType_Plain);
    PivoraUtils::SetCurrentShowType(ShowType_Unit);
    QCOMPARE(PivoraUtils::GetCurrentShowType(), ShowType_Unit);
    PivoraUtils::SetCurrentShowType(static_cast<ShowType>(7));
    QCOMPARE(PivoraUtils::GetCurrentShowType(), ShowType_Plain);
}

void TestPivoraUtils::transQty_data()
{
    QTest::addColumn<QString>("qty");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("shown");

    QTest::newRow("plain") << "12345" << int(ShowType_Plain) << "12345";
    QTest::newRow("plain large stays whole") << "123456789" << int(ShowType_Plain) << "123456789";
    QTest::newRow("plain normalised") << " 012345 " << int(ShowType_Plain) << "12345";
    QTest::newRow("plain negative") << "-42" << int(ShowType_Plain) << "-42";
    QTest::newRow("plain integral double") << "12345.0" << int(ShowType_Plain) << "12345";
    QTest::newRow("plain fraction kept") << "12.5" << int(ShowType_Plain) << "12.5";
    QTest::newRow("unit below ten thousand") << "9999" << int(ShowType_Unit) << "9999";
    QTest::newRow("unit wan") << "12345" << int(ShowType_Unit) << "1.23万";
    QTest::newRow("unit wan rounds") << "12355" << int(ShowType_Unit) << "1.24万";
    QTest::newRow("unit exactly ten thousand") << "10000" << int(ShowType_Unit) << "1.00万";
    QTest::newRow("unit negative wan") << "-12345" << int(ShowType_Unit) << "-1.23万";
    QTest::newRow("unit yi") << "123456789" << int(ShowType_Unit) << "1.23亿";
    QTest::newRow("unit negative yi") << "-150000000" << int(ShowType_Unit) << "-1.50亿";
    QTest::newRow("unit rounding up to yi") << "99999999" << int(ShowType_Unit) << "1.00亿";
    QTest::newRow("unit exponent text") << "1e5" << int(ShowType_Unit) << "10.00万";
    QTest::newRow("text unchanged") << "abc" << int(ShowType_Unit) << "abc";
    QTest::newRow("empty unchanged") << "" << int(ShowType_Unit) << "";
    QTest::newRow("nan unchanged") << "nan" << int(ShowType_Unit) << "nan";
    QTest::newRow("inf unchanged") << "inf" << int(ShowType_Plain) << "inf";
    QTest::newRow("huge plain") << "1e20" << int(ShowType_Plain) << "100000000000000000000";
}

void TestPivoraUtils::transQty()
{
    QFETCH(QString, qty);
    QFETCH(int, type);
    QFETCH(QString, shown);
    QCOMPARE(PivoraUtils::TransQtyShowType(qty, static_cast<ShowType>(type)), shown);
}

void TestPivoraUtils::lastPrice_data()
{
    QTest::addColumn<QVariantMap>("tick");
    QTest::addColumn<double>("price");

    const QString last = QStringLiteral("LastPrice");
    const QString preClose = QStringLiteral("PreClosePrice");
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();

    QTest::newRow("last") << QVariantMap{{last, 0.1234}, {preClose, 0.12}} << 0.1234;
    QTest::newRow("last as integer") << QVariantMap{{last, 3}} << 3.0;
    QTest::newRow("zero last falls back") << QVariantMap{{last, 0.0}, {preClose, 0.12}} << 0.12;
    QTest::newRow("negative last falls back")
        << QVariantMap{{last, -1.0}, {preClose, 0.12}} << 0.12;
    QTest::newRow("missing last falls back") << QVariantMap{{preClose, 0.12}} << 0.12;
    QTest::newRow("nan last falls back") << QVariantMap{{last, nan}, {preClose, 0.12}} << 0.12;
    QTest::newRow("inf last falls back") << QVariantMap{{last, inf}, {preClose, 0.12}} << 0.12;
    QTest::newRow("numeric text is read as a number")
        << QVariantMap{{last, QStringLiteral(" 0.1300")}, {preClose, 0.12}} << 0.13;
    QTest::newRow("text that is no number falls back")
        << QVariantMap{{last, QStringLiteral("0.13x")}, {preClose, 0.12}} << 0.12;
    QTest::newRow("nothing usable") << QVariantMap{{last, 0.0}, {preClose, nan}} << 0.0;
    QTest::newRow("negative both") << QVariantMap{{last, -2.0}, {preClose, -1.0}} << 0.0;
    QTest::newRow("empty tick") << QVariantMap() << 0.0;
}

void TestPivoraUtils::lastPrice()
{
    QFETCH(QVariantMap, tick);
    QFETCH(double, price);
    QCOMPARE(PivoraBusiUtils::GetLastPriceFromTick(tick), price);
}

QTEST_MAIN(TestPivoraUtils)
#include "tst_pivorautils.moc"
