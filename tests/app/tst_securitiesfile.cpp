#include "securitiesfile.h"
#include "testsupport.h"

#include <QtTest>

class TestSecuritiesFile : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { TestSupport::installWarningGuard(); }
    void cleanup() { VERIFY_NO_UNEXPECTED_WARNINGS(); }

    void refused_data();
    void refused();
    void recordsLackingFieldsAccepted();
    void loadsFromDisk();
    void unreadableFiles_data();
    void unreadableFiles();
};

void TestSecuritiesFile::refused_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("expected"); // the whole message after the path

    QTest::newRow("truncated on line 3")
        << QByteArray("[\n  {\"symbol\": \"510050.SH\"},\n  {\"symbol\": \"5100")
        << QStringLiteral(":3: not valid JSON: unterminated string");
    QTest::newRow("missing comma on line 2")
        << QByteArray("[{\"symbol\": \"a\"}\n {\"symbol\": \"b\"}]")
        << QStringLiteral(":2: not valid JSON: missing value separator");
    QTest::newRow("empty file") << QByteArray()
                                << QStringLiteral(":1: not valid JSON: illegal value");
    QTest::newRow("an object, not an array")
        << QByteArray("{\"symbol\": \"510050.SH\"}")
        << QStringLiteral(":1: expected a JSON array of security records, found an object");
    QTest::newRow("number element on line 4 names its index")
        << QByteArray("[\n{\"symbol\": \"a\"},\n{\"symbol\": \"b\", \"x\": [1, 2]},\n  42\n]")
        << QStringLiteral(":4: element 2 of the array is a number, not a security record");
    QTest::newRow("string with brackets does not confuse the index")
        << QByteArray("[{\"n\": \"],{\\\"\"}, \"text\"]")
        << QStringLiteral(":1: element 1 of the array is a string, not a security record");
    QTest::newRow("nested array element")
        << QByteArray("[[{\"symbol\": \"a\"}]]")
        << QStringLiteral(":1: element 0 of the array is an array, not a security record");
    QTest::newRow("null element")
        << QByteArray("[{},\nnull]")
        << QStringLiteral(":2: element 1 of the array is null, not a security record");
}

void TestSecuritiesFile::refused()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, expected);
    QList<QVariantMap> records{{{QStringLiteral("kept"), 1}}};
    QString error;
    QVERIFY(!SecuritiesFile::parse(text, QStringLiteral("chain.json"), &records, &error));
    QCOMPARE(error, QStringLiteral("chain.json") + expected);
    QVERIFY(!error.contains(QLatin1Char('\n')));
    QCOMPARE(records.size(), 1); // untouched on failure
}

void TestSecuritiesFile::recordsLackingFieldsAccepted()
{
    const QByteArray text = "[{\"symbol\": \"10007001.SH\", \"StrikePrice\": 2.95, \"odd\": [1]},\n"
                            " {},\n {\"chineseName\": \"没有代码\"}]";
    QList<QVariantMap> records;
    QString error;
    QVERIFY2(SecuritiesFile::parse(text, QStringLiteral("x.json"), &records, &error),
             qPrintable(error));
    QCOMPARE(records.size(), 3);
    QCOMPARE(records.at(0).value(QStringLiteral("symbol")).toString(),
             QStringLiteral("10007001.SH"));
    QCOMPARE(records.at(0).value(QStringLiteral("StrikePrice")).toDouble(), 2.95);
    QVERIFY(records.at(1).isEmpty());
    QCOMPARE(records.at(2).value(QStringLiteral("chineseName")).toString(),
             QStringLiteral("没有代码"));

    QVERIFY(SecuritiesFile::parse("[]", QStringLiteral("empty.json"), &records, &error));
    QVERIFY(records.isEmpty());
}

void TestSecuritiesFile::loadsFromDisk()
{
    const QString dir = TestSupport::scratchDir(QStringLiteral("securitiesfile"));
    const QString path = dir + QStringLiteral("/chain.json");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[{\"symbol\": \"510050.SH\", \"mdcSecurityType\": \"ETF\"}]");
    file.close();
    QList<QVariantMap> records;
    QString error;
    QVERIFY2(SecuritiesFile::load(path, &records, &error), qPrintable(error));
    QCOMPARE(records.size(), 1);
    QCOMPARE(records.at(0).value(QStringLiteral("mdcSecurityType")).toString(),
             QStringLiteral("ETF"));
}

void TestSecuritiesFile::unreadableFiles_data()
{
    QTest::addColumn<QString>("relative");
    QTest::addColumn<QString>("fault");
    QTest::newRow("missing file") << QStringLiteral("no-such.json")
                                  << QStringLiteral(": cannot read: ");
    QTest::newRow("a folder") << QString() << QStringLiteral(": is a folder");
}

void TestSecuritiesFile::unreadableFiles()
{
    QFETCH(QString, relative);
    QFETCH(QString, fault);
    const QString dir = TestSupport::scratchDir(QStringLiteral("securitiesfile-missing"));
    const QString path = relative.isEmpty() ? dir : dir + QLatin1Char('/') + relative;
    QList<QVariantMap> records;
    QString error;
    QVERIFY(!SecuritiesFile::load(path, &records, &error));
    QVERIFY2(error.startsWith(path + fault), qPrintable(error));
}

QTEST_GUILESS_MAIN(TestSecuritiesFile)
#include "tst_securitiesfile.moc"
