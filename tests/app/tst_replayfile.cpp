#include "replayfile.h"
#include "testsupport.h"

#include <QtTest>

class TestReplayFile : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { TestSupport::installWarningGuard(); }
    void cleanup() { VERIFY_NO_UNEXPECTED_WARNINGS(); }

    void faults_data();
    void faults();
    void acceptsTicks();
    void missingFileNamed();
};

namespace {
const QByteArray kGood = "{\"t\": 0, \"type\": \"MDOPTIONRECORD\", \"Symbol\": \"10007001.SH\"}\n";
}

void TestReplayFile::faults_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("expected"); // line and fault, after the file name

    QTest::newRow("not JSON") << kGood + "{\"t\": 5, \"type\": \n"
                              << QStringLiteral(":2: not JSON: unterminated object at column 17");
    QTest::newRow("array, not an object") << kGood + "\n[1, 2]\n"
                                          << QStringLiteral(":3: not an object but an array");
    QTest::newRow("missing t") << kGood + "{\"type\": \"MDOPTIONRECORD\", \"Symbol\": \"a\"}"
                               << QStringLiteral(":2: missing \"t\"");
    QTest::newRow("t as text")
        << QByteArray("{\"t\": \"10\", \"type\": \"MDOPTIONRECORD\", \"Symbol\": \"a\"}")
        << QStringLiteral(":1: \"t\" is a string, not a number");
    QTest::newRow("t null") << QByteArray(
                                   "{\"t\": null, \"type\": \"MDOPTIONRECORD\", \"Symbol\": \"a\"}")
                            << QStringLiteral(":1: \"t\" is null, not a number");
    QTest::newRow("t negative")
        << QByteArray("{\"t\": -1, \"type\": \"MDOPTIONRECORD\", \"Symbol\": \"a\"}")
        << QStringLiteral(":1: \"t\" -1 is outside 0 to 1000000000000 milliseconds");
    QTest::newRow("t huge")
        << QByteArray("{\"t\": 1e300, \"type\": \"MDOPTIONRECORD\", \"Symbol\": \"a\"}")
        << QStringLiteral(":1: \"t\" 1e+300 is outside 0 to 1000000000000 milliseconds");
    QTest::newRow("t decreasing")
        << QByteArray("{\"t\": 100, \"type\": \"MDOPTIONRECORD\", \"Symbol\": \"a\"}\r\n\r\n"
                      "{\"t\": 100, \"type\": \"MDMARKETRECORD\", \"Symbol\": \"b\"}\r\n"
                      "{\"t\": 99, \"type\": \"MDOPTIONRECORD\", \"Symbol\": \"a\"}\r\n")
        << QStringLiteral(":4: \"t\" decreases from 100 to 99");
    QTest::newRow("unknown type")
        << kGood + kGood + "{\"t\": 1, \"type\": \"mdoptionrecord\", \"Symbol\": \"a\"}"
        << QStringLiteral(":3: \"type\" is not \"MDOPTIONRECORD\" or \"MDMARKETRECORD\"");
    QTest::newRow("missing type") << QByteArray("{\"t\": 1, \"Symbol\": \"a\"}")
                                  << QStringLiteral(":1: missing \"type\"");
    QTest::newRow("missing Symbol")
        << QByteArray("{\"t\": 1, \"type\": \"MDMARKETRECORD\", \"symbol\": \"a\"}")
        << QStringLiteral(":1: missing \"Symbol\"");
    QTest::newRow("Symbol a number")
        << QByteArray("{\"t\": 1, \"type\": \"MDMARKETRECORD\", \"Symbol\": 5}")
        << QStringLiteral(":1: \"Symbol\" is not a non-empty string");
}

void TestReplayFile::faults()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, expected);
    QList<ReplayTick> ticks;
    QString error;
    QVERIFY(!ReplayFile::parse(text, QStringLiteral("ticks.jsonl"), &ticks, &error));
    QCOMPARE(error, QStringLiteral("ticks.jsonl") + expected);
    QVERIFY(ticks.isEmpty());
}

void TestReplayFile::acceptsTicks()
{
    const QByteArray text =
        "\n"
        "{\"t\": 0, \"type\": \"MDMARKETRECORD\", \"Symbol\": \"510050.SH\", \"LastPrice\": "
        "2.951}\n"
        "   \n"
        "{\"t\": 1500.4, \"type\": \"MDOPTIONRECORD\", \"Symbol\": \"10007001.SH\", \"Buy1Price\": "
        "0.1233,"
        " \"OpenInterest\": 12345}\n"
        "{\"t\": 1500, \"type\": \"MDOPTIONRECORD\", \"Symbol\": \"10007002.SH\"}";
    QList<ReplayTick> ticks;
    QString error;
    QVERIFY2(ReplayFile::parse(text, QStringLiteral("ok.jsonl"), &ticks, &error),
             qPrintable(error));
    QCOMPARE(ticks.size(), 3);
    QCOMPARE(ticks.at(0).kind, QStringLiteral("MDMARKETRECORD"));
    QCOMPARE(ticks.at(0).fields.value(QStringLiteral("LastPrice")).toDouble(), 2.951);
    QCOMPARE(ticks.at(1).t, qint64(1500));
    QCOMPARE(ticks.at(1).fields.value(QStringLiteral("OpenInterest")).toLongLong(), qint64(12345));
    // The tick carries its fields, not the replay's own keys.
    QVERIFY(!ticks.at(1).fields.contains(QStringLiteral("t")));
    QVERIFY(!ticks.at(1).fields.contains(QStringLiteral("type")));
    QCOMPARE(ticks.at(2).fields.value(QStringLiteral("Symbol")).toString(),
             QStringLiteral("10007002.SH"));

    QVERIFY(ReplayFile::parse("\n\n", QStringLiteral("blank.jsonl"), &ticks, &error));
    QVERIFY(ticks.isEmpty());
}

void TestReplayFile::missingFileNamed()
{
    const QString path =
        TestSupport::scratchDir(QStringLiteral("replayfile")) + QStringLiteral("/gone.jsonl");
    QList<ReplayTick> ticks;
    QString error;
    QVERIFY(!ReplayFile::load(path, &ticks, &error));
    QVERIFY2(error.startsWith(path + QStringLiteral(": cannot read: ")), qPrintable(error));
}

QTEST_GUILESS_MAIN(TestReplayFile)
#include "tst_replayfile.moc"
