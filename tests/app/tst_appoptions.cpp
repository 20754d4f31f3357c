#include "appoptions.h"
#include "testsupport.h"

#include <QtTest>

class TestAppOptions : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { TestSupport::installWarningGuard(); }
    void cleanup() { VERIFY_NO_UNEXPECTED_WARNINGS(); }

    void allOptions();
    void refused_data();
    void refused();
    void help();
};

void TestAppOptions::allOptions()
{
    const QString dir = TestSupport::scratchDir(QStringLiteral("appoptions"));
    AppOptions options;
    QString message;
    const QStringList args{QStringLiteral("velapp"),
                           QStringLiteral("--plugins"),
                           dir,
                           QStringLiteral("--securities"),
                           QStringLiteral("chain.json"),
                           QStringLiteral("--replay"),
                           QStringLiteral("ticks.jsonl"),
                           QStringLiteral("--seed"),
                           QStringLiteral("18446744073709551615"),
                           QStringLiteral("--pages"),
                           QStringLiteral("3"),
                           QStringLiteral("--quit-after"),
                           QStringLiteral("0"),
                           QStringLiteral("--screenshot"),
                           dir + QStringLiteral("/shot.png"),
                           QStringLiteral("--dump"),
                           dir + QStringLiteral("/out.json"),
                           QStringLiteral("--print")};
    QCOMPARE(AppOptions::parse(args, &options, &message), AppOptions::ParseResult::Ok);
    QCOMPARE(options.pluginDir, dir);
    QCOMPARE(options.securitiesFile, QStringLiteral("chain.json"));
    QCOMPARE(options.replayFile, QStringLiteral("ticks.jsonl"));
    QVERIFY(options.hasSeed);
    QCOMPARE(options.seed, Q_UINT64_C(18446744073709551615));
    QCOMPARE(options.pages, 3);
    QCOMPARE(options.quitAfterMs, 0);
    QCOMPARE(options.screenshotFile, dir + QStringLiteral("/shot.png"));
    QCOMPARE(options.dumpFile, dir + QStringLiteral("/out.json"));
    QVERIFY(options.print);
}

void TestAppOptions::refused_data()
{
    const QString dir = TestSupport::scratchDir(QStringLiteral("appoptions-refused"));
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("expected"); // part of the message

    QTest::newRow("unknown option")
        << QStringList{QStringLiteral("--colour")} << QStringLiteral("colour");
    QTest::newRow("value missing")
        << QStringList{QStringLiteral("--pages")} << QStringLiteral("pages");
    QTest::newRow("pages not a number")
        << QStringList{QStringLiteral("--pages"), QStringLiteral("two")}
        << QStringLiteral("--pages: 'two' is not a whole number from 0 to 32");
    QTest::newRow("pages negative")
        << QStringList{QStringLiteral("--pages=-1")} << QStringLiteral("--pages: '-1'");
    QTest::newRow("pages too many") << QStringList{QStringLiteral("--pages"), QStringLiteral("33")}
                                    << QStringLiteral("--pages: '33'");
    QTest::newRow("quit-after fractional")
        << QStringList{QStringLiteral("--quit-after"), QStringLiteral("1.5")}
        << QStringLiteral("--quit-after: '1.5'");
    QTest::newRow("quit-after beyond int")
        << QStringList{QStringLiteral("--quit-after"), QStringLiteral("99999999999")}
        << QStringLiteral("--quit-after: '99999999999'");
    QTest::newRow("seed negative")
        << QStringList{QStringLiteral("--seed=-5")} << QStringLiteral("--seed: '-5'");
    QTest::newRow("seed overflows")
        << QStringList{QStringLiteral("--seed"), QStringLiteral("18446744073709551616")}
        << QStringLiteral("--seed: '18446744073709551616'");
    QTest::newRow("replay with no-feed")
        << QStringList{QStringLiteral("--replay"), QStringLiteral("t.jsonl"),
                       QStringLiteral("--no-feed")}
        << QStringLiteral("--replay and --no-feed exclude each other");
    QTest::newRow("plugins not a folder")
        << QStringList{QStringLiteral("--plugins"), dir + QStringLiteral("/none")}
        << QStringLiteral("is not a folder");
    QTest::newRow("screenshot unknown type")
        << QStringList{QStringLiteral("--screenshot"), dir + QStringLiteral("/shot.xyz")}
        << QStringLiteral("known image type");
    QTest::newRow("screenshot into missing folder")
        << QStringList{QStringLiteral("--screenshot"), dir + QStringLiteral("/no/shot.png")}
        << QStringLiteral("does not exist");
    QTest::newRow("dump into a folder")
        << QStringList{QStringLiteral("--dump"), dir} << QStringLiteral("is not a file name");
    QTest::newRow("positional argument")
        << QStringList{QStringLiteral("extra")} << QStringLiteral("unexpected argument 'extra'");
}

void TestAppOptions::refused()
{
    QFETCH(QStringList, args);
    QFETCH(QString, expected);
    AppOptions options;
    options.pages = 7; // must stay as it was
    QString message;
    QCOMPARE(AppOptions::parse(QStringList{QStringLiteral("velapp")} + args, &options, &message),
             AppOptions::ParseResult::Error);
    QVERIFY2(message.contains(expected), qPrintable(message));
    QVERIFY(!message.trimmed().contains(QLatin1Char('\n')));
    QCOMPARE(options.pages, 7);
}

void TestAppOptions::help()
{
    AppOptions options;
    QString message;
    QCOMPARE(
        AppOptions::parse({QStringLiteral("velapp"), QStringLiteral("--help")}, &options, &message),
        AppOptions::ParseResult::HelpRequested);
    for (const char *option : {"--plugins", "--securities", "--replay", "--no-feed", "--seed",
                               "--pages", "--quit-after", "--screenshot", "--dump", "--print"})
        QVERIFY2(message.contains(QLatin1String(option)), option);
}

QTEST_MAIN(TestAppOptions)
#include "tst_appoptions.moc"
