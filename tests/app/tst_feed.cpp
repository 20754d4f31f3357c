#include "fixture.h"

#include "files/jsontext.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

// velapp --listen (ticks from clients over TCP) and --record (the published
// ticks written as a replay file), run through the velapp binary.
class TestFeed : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup() { VERIFY_NO_UNEXPECTED_WARNINGS(); }

    void refusedBeforeAnyWindow_data();
    void refusedBeforeAnyWindow();
    void tickLineReadAsQtReadsIt_data();
    void tickLineReadAsQtReadsIt();
    void recordingReplaysTheSameBoard();
    void clientsFeedTheBoard();
    void hostileFeedLeavesTheGoodPrice();
    void cutRecordingReplays();
    void fullDiskStopsOnlyTheRecording();

private:
    using Run = Fixture::VelappRun;
    // A port nothing listens on now: the kernel's pick, let go.
    static quint16 freePort()
    {
        QTcpServer probe;
        return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
    }
    QString path(const QString &name) const { return m_dir + QLatin1Char('/') + name; }
    // The texts of every page's cells in order, blink levels ("###N") removed.
    static QString rows(const QString &dump);

    QString m_dir;
};

void TestFeed::initTestCase()
{
    Fixture::installWarningGuard();
    m_dir = Fixture::scratchDir(QStringLiteral("feed"));
    QVERIFY(QFile::exists(QStringLiteral(VELAPP_BINARY)));
    QVERIFY(Fixture::writeFile(path(QStringLiteral("chain.json")),
                               Fixture::securitiesJson(Fixture::standardMarket())));
    const QString replay = path(QStringLiteral("same.jsonl"));
    QVERIFY(Fixture::writeFile(replay,
                               R"({"t": 0, "type": "MDMARKETRECORD", "Symbol": "510050.SH"})"
                               "\n"));
    QVERIFY(QFile::link(replay, path(QStringLiteral("same-link.jsonl"))));
}

QString TestFeed::rows(const QString &dump)
{
    QFile file(dump);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QJsonValue pages = QJsonDocument::fromJson(file.readAll()).object().value("pages");
    QStringList texts;
    auto it = QRegularExpression(R"re("256": ("[^"]*"|[^,\n]*))re")
                  .globalMatch(QJsonDocument(pages.toArray()).toJson());
    while (it.hasNext())
        texts << it.next().captured(1);
    return texts.join('\n').remove(QRegularExpression(QStringLiteral("###\\d+")));
}

void TestFeed::refusedBeforeAnyWindow_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("error");
    QTest::newRow("port 0") << QStringList{"--listen", "0"} << "--listen: '0' is not a port";
    QTest::newRow("port too high") << QStringList{"--listen", "65536"} << "is not a port";
    QTest::newRow("not a number") << QStringList{"--listen", "http"} << "is not a port";
    QTest::newRow("with replay") << QStringList{"--listen", "5000", "--replay", "x.jsonl"}
                                 << "--listen excludes --replay and --no-feed";
    QTest::newRow("with no-feed") << QStringList{"--listen", "5000", "--no-feed"}
                                  << "--listen excludes";
    QTest::newRow("record into no folder")
        << QStringList{"--record", "/no/such/folder/rec.jsonl"} << "--record: the folder of";
    QTest::newRow("port taken") << QStringList{"--listen", "TAKEN"}
                                << "cannot listen on 127.0.0.1:";
    const QString replay = path(QStringLiteral("same.jsonl"));
    QTest::newRow("record the replay")
        << QStringList{"--replay", replay, "--record", replay} << "is the --replay file";
    QTest::newRow("record the replay through a link")
        << QStringList{"--replay", replay, "--record", path(QStringLiteral("same-link.jsonl"))}
        << "is the --replay file";
}

void TestFeed::refusedBeforeAnyWindow()
{
    QFETCH(QStringList, args);
    QFETCH(QString, error);
    QTcpServer taken;
    QVERIFY(taken.listen(QHostAddress::LocalHost, 0));
    args.replaceInStrings(QStringLiteral("TAKEN"), QString::number(taken.serverPort()));
    const Run run =
        Fixture::runVelapp(args + QStringList{QStringLiteral("--quit-after"), QStringLiteral("1")});
    QCOMPARE(run.exitCode, 2);
    QCOMPARE(run.errLines.size(), 1);
    QVERIFY2(run.errLines.first().contains(error), qPrintable(run.errLines.first()));
    QCOMPARE(QFileInfo(path(QStringLiteral("same.jsonl"))).size(), 58);
}

// The quick reader of tick lines takes only lines it reads exactly as
// QJsonDocument does (the same values of the same types); it leaves the rest.
void TestFeed::tickLineReadAsQtReadsIt_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("quick"); // read by the quick reader
    const auto row = [](const char *name, const char *line, bool quick) {
        QTest::newRow(name) << QByteArray(line) << quick;
    };
    row("tick",
        R"({"type":"MDOPTIONRECORD","Symbol":"X.SH","LastPrice":0.1234,"OpenInterest":120000})",
        true);
    row("spaces", "{ \"a\" :\t1 , \"b\":\"x y\" }", true);
    row("empty", "{}", true);
    row("literals", R"({"a":true,"b":false,"c":null})", true);
    row("large", R"({"a":1e308,"b":4.9e-324,"c":-1.5E+300})", true);
    row("whole", R"({"a":-0,"b":-0.0,"c":1E+2,"d":1e15,"e":1e16})", true);
    row("fraction", R"({"a":1.0e-5,"b":0.1,"c":-2.5})", true);
    row("beyond 2^53", R"({"a":9007199254740993,"b":9007199254740993.0})", true);
    row("beyond qint64",
        R"({"a":9223372036854775807,"b":9223372036854775808,"c":-9223372036854775808,"d":12345678901234567890})",
        true);
    row("escape", R"({"a":"x"y"})", false);
    row("unicode escape", R"({"a":"é"})", false);
    row("utf-8", "{\"a\":\"\xc3\xa9\"}", false);
    row("duplicate", R"({"a":1,"a":2})", false);
    row("nested", R"({"a":{"b":1}})", false);
    row("array value", R"({"a":[1]})", false);
    row("overflow", R"({"a":1e400})", false);
    row("leading zero", R"({"a":01})", false);
    row("bare point", R"({"a":1.})", false);
    row("trailing garbage", R"({"a":1} x)", false);
    row("trailing comma", R"({"a":1,})", false);
    row("cut short", R"({"a":1)", false);
    row("array", "[1]", false);
}

void TestFeed::tickLineReadAsQtReadsIt()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, quick);
    QVariantMap fields;
    QCOMPARE(JsonText::parseFlatObject(line, &fields), quick);
    if (!quick)
        return;
    const QVariantMap qt = QJsonDocument::fromJson(line).object().toVariantMap();
    QCOMPARE(fields.keys(), qt.keys());
    for (auto it = qt.cbegin(); it != qt.cend(); ++it) {
        const QVariant mine = fields.value(it.key());
        QCOMPARE(QMetaType::typeName(mine.userType()), QMetaType::typeName(it->userType()));
        if (it->userType() == QMetaType::Double) // 17 digits tell every double apart, -0 too
            QCOMPARE(QByteArray::number(mine.toDouble(), 'g', 17),
                     QByteArray::number(it->toDouble(), 'g', 17));
        else
            QCOMPARE(mine, *it);
    }
}

void TestFeed::recordingReplaysTheSameBoard()
{
    const QString rec = path(QStringLiteral("rec.jsonl"));
    Run run = Fixture::runVelapp({"--seed", "5", "--quit-after", "2500", "--record", rec, "--dump",
                                  path(QStringLiteral("a.json"))});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.errLines.isEmpty(), qPrintable(run.errLines.join('\n')));

    QFile file(rec);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
    QVERIFY(lines.size() > 100);
    const int lastT = QJsonDocument::fromJson(lines.last()).object().value("t").toInt(-1);
    QVERIFY2(lastT > 1000 && lastT < 4000, qPrintable(QString::number(lastT)));
    // The simulated options trade within their price limits.
    for (const QByteArray &line : lines) {
        const QJsonObject tick = QJsonDocument::fromJson(line).object();
        if (tick.value("type").toString() == QLatin1String("MDOPTIONRECORD"))
            QVERIFY2(tick.value("MinPx").toDouble() > 0 &&
                         tick.value("MinPx").toDouble() <= tick.value("LastPrice").toDouble() &&
                         tick.value("LastPrice").toDouble() <= tick.value("MaxPx").toDouble(),
                     line.constData());
    }

    run = Fixture::runVelapp({"--replay", rec, "--quit-after", QString::number(lastT + 1500),
                              "--dump", path(QStringLiteral("b.json"))});
    QCOMPARE(run.exitCode, 0);
    const QString recorded = rows(path(QStringLiteral("a.json")));
    QVERIFY(recorded.contains(QRegularExpression(QStringLiteral("\"0\\.\\d{4}\""))));
    QCOMPARE(rows(path(QStringLiteral("b.json"))), recorded);
}

void TestFeed::clientsFeedTheBoard()
{
    const quint16 port = freePort();
    const QString dump = path(QStringLiteral("listen.json"));
    QProcess process;
    Fixture::startVelapp(&process, {"--securities", path(QStringLiteral("chain.json")), "--listen",
                                    QString::number(port), "--quit-after", "8000", "--dump", dump});
    const auto connected = [port](QTcpSocket *socket) {
        socket->abort();
        socket->connectToHost(QHostAddress::LocalHost, port);
        return socket->waitForConnected(1000);
    };
    const auto tick = [](const QString &symbol, const char *price) -> QByteArray {
        return QStringLiteral(R"({"type": "MDOPTIONRECORD", "Symbol": "%1", "LastPrice": %2})")
                   .arg(symbol, QLatin1String(price))
                   .toUtf8() +
               '\n';
    };

    QTcpSocket first, flood, leaving;
    QTRY_VERIFY_WITH_TIMEOUT(connected(&first), 30000);
    first.write(tick(Fixture::callSymbol("a", 2.95), "0.1111") + "{not json\n" +
                R"({"t": 5, "type": "MDOPTIONRECORD", "LastPrice": 0.3333})" + '\n' +
                tick(Fixture::putSymbol("a", 2.95), "0.2222"));
    QVERIFY(connected(&flood));
    const quint16 floodPort = flood.localPort();
    flood.write(QByteArray(70 * 1024, 'x') + '\n');
    QTRY_COMPARE_WITH_TIMEOUT(flood.state(), QAbstractSocket::UnconnectedState, 30000);
    QCOMPARE(first.state(), QAbstractSocket::ConnectedState);
    first.write(tick(Fixture::callSymbol("a", 2.9), "0.4444"));
    QVERIFY(first.waitForBytesWritten(5000));
    // Vanishing mid-line: the complete line still counts.
    QVERIFY(connected(&leaving));
    leaving.write(tick(Fixture::putSymbol("a", 2.9), "0.5555") + R"({"type": "MDOPTIONRE)");
    QVERIFY(leaving.waitForBytesWritten(5000));
    leaving.disconnectFromHost();

    const Run run = Fixture::runVelapp({}, &process);
    QCOMPARE(run.exitCode, 0);
    const QString board = rows(dump);
    for (const char *price : {"0.1111", "0.2222", "0.4444", "0.5555"})
        QVERIFY2(board.contains(QLatin1String(price)), price);
    QVERIFY(!board.contains(QLatin1String("0.3333")));
    const QString peer = QStringLiteral("velapp.feed: client 127.0.0.1:%1: line ");
    const QStringList expected{peer.arg(first.localPort()) + "2: not JSON",
                               peer.arg(first.localPort()) + "3: missing \"Symbol\"; skipped",
                               peer.arg(floodPort) + "1 is longer than 65536 bytes; client dropped",
                               "left in the middle of line 2; that line is dropped"};
    QCOMPARE(run.errLines.size(), expected.size());
    for (const QString &text : expected)
        QVERIFY2(run.errLines.join('\n').contains(text), qPrintable(text));
}

// Every kind of bad line a client may send, against the running velapp: a
// good price stays on the board, each fault is named once, warnings are
// capped per address however often the client reconnects, a last line
// needs no newline, and SIGTERM still writes the dump.
void TestFeed::hostileFeedLeavesTheGoodPrice()
{
    struct Hostile
    {
        const char *fields; // after a good tick of the same symbol
        const char *warning;
    };
    const Hostile table[] = {
        {R"("LastPrice": "abc")", R"("LastPrice" is "abc", not a number from 0 to 1e9)"},
        {R"("LastPrice": null)", R"("LastPrice" is null)"},
        {R"("LastPrice": {})", R"("LastPrice" is an object)"},
        {R"("LastPrice": true)", R"("LastPrice" is true)"},
        {R"("LastPrice": -0.5)", R"("LastPrice" is -0.5)"},
        {R"("LastPrice": 1e308)", R"("LastPrice" is 1e+308)"},
        {R"("LastPrice": 0.9999, "MaxPx": "1e10")", R"("MaxPx" is "1e10")"},
        {R"("LastPrice": 0.9999, "OpenInterest": 2.5)",
         R"("OpenInterest" is 2.5, not a whole number from 0 to 1e15)"},
        {R"("LastPrice": 0.9999, "OpenInterest": [1])", R"("OpenInterest" is an array)"},
        {R"("LastPrice": "1\r\n2\u0000\"\ud800")",
         R"("LastPrice" is "1\u000d\u000a2\u0000\"\ud800")"},
    };
    QStringList symbols;
    for (const char *expiry : {"a", "b"})
        for (double strike : {2.9, 2.95, 3.0})
            symbols << Fixture::callSymbol(expiry, strike) << Fixture::putSymbol(expiry, strike);
    const auto line = [](const QString &symbol, const QString &fields) {
        return QStringLiteral(R"({"type": "MDOPTIONRECORD", "Symbol": "%1", %2})")
            .arg(symbol, fields)
            .toUtf8();
    };

    const quint16 port = freePort();
    const QString dump = path(QStringLiteral("hostile.json"));
    QProcess process;
    Fixture::startVelapp(&process, {"--securities", path(QStringLiteral("chain.json")), "--listen",
                                    QString::number(port), "--dump", dump});
    QTcpSocket client;
    const auto reconnect = [&client, port] {
        client.abort();
        client.connectToHost(QHostAddress::LocalHost, port);
        return client.waitForConnected(1000);
    };
    const auto sendAndLeave = [&client](const QByteArray &bytes) {
        client.write(bytes);
        QVERIFY(client.waitForBytesWritten(5000));
        client.disconnectFromHost();
        QTest::qWait(100); // each client in turn, so the warnings keep this order
    };
    QTRY_VERIFY_WITH_TIMEOUT(reconnect(), 30000);
    QByteArray lines;
    int n = 0;
    for (const Hostile &row : table) {
        const QString good = QStringLiteral(R"("LastPrice": 0.11%1)").arg(++n, 2, 10, QChar('0'));
        lines += line(symbols.at(n), good) + '\n' + line(symbols.at(n), row.fields) + '\n';
    }
    sendAndLeave(lines + line("NOPE.SH", R"("LastPrice": 0.5)") + '\n');
    for (int i = 0; i < 20; ++i) {
        QVERIFY(reconnect());
        sendAndLeave("{not json\n");
    }
    QVERIFY(reconnect());
    sendAndLeave(line(symbols.at(0), R"("LastPrice": 0.7777)")); // no newline

    QTest::qWait(500);
    process.terminate();
    const Run run = Fixture::runVelapp({}, &process);
    QCOMPARE(run.exitCode, 0);
    const QString board = rows(dump);
    QVERIFY2(board.contains(QLatin1String("\"0.7777\"")), "a last line without a newline");
    for (int i = 1; i <= n; ++i) {
        const QString good = QStringLiteral("\"0.11%1\"").arg(i, 2, 10, QChar('0'));
        QVERIFY2(board.contains(good), qPrintable(good));
    }
    QVERIFY(!board.contains(QLatin1String("0.9999")));
    QVERIFY(!board.contains(QLatin1String("-0.5")));
    QVERIFY(!board.contains(QLatin1String("e+")));

    // Ten faults, one unknown symbol, then the reconnecting client's lines
    // until the cap of 20 an address a minute; the rest counted at quit.
    QCOMPARE(run.errLines.size(), 21);
    n = 0;
    for (const Hostile &row : table) {
        const QString expected = QStringLiteral("line %1: %2").arg(2 * ++n).arg(row.warning);
        QVERIFY2(run.errLines.at(n - 1).contains(expected), qPrintable(run.errLines.at(n - 1)));
    }
    QVERIFY2(run.errLines.at(n).contains(R"(symbol "NOPE.SH" is not in the reference data)"),
             qPrintable(run.errLines.at(n)));
    QVERIFY(run.errLines.at(19).contains(QLatin1String("line 1: not JSON")));
    QCOMPARE(run.errLines.at(20), QStringLiteral("velapp.feed: 127.0.0.1: 11 further warnings "
                                                 "not shown"));
}

// A recording cut in the middle of its last line plays every line before it.
void TestFeed::cutRecordingReplays()
{
    const QString replay = path(QStringLiteral("cut.jsonl"));
    const QString line = QStringLiteral(R"({"t": %1, "type": "MDOPTIONRECORD", "Symbol": "%2", )"
                                        R"("LastPrice": %3})");
    QVERIFY(Fixture::writeFile(
        replay, line.arg(0).arg(Fixture::callSymbol("a", 2.95)).arg(0.1234).toUtf8() + '\n' +
                    line.arg(10).arg(Fixture::putSymbol("a", 2.95)).arg(0.2345).toUtf8() + '\n' +
                    R"({"t": 20, "type": "MDOPTIONRECORD", "Sym)"));
    const QString dump = path(QStringLiteral("cut.json"));
    const Run run =
        Fixture::runVelapp({"--securities", path(QStringLiteral("chain.json")), "--replay", replay,
                            "--quit-after", "1500", "--dump", dump});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.errLines,
             QStringList{QStringLiteral("velapp: %1:3: the last line is cut short; the 2 ticks "
                                        "before it play")
                             .arg(replay)});
    const QString board = rows(dump);
    QVERIFY(board.contains(QLatin1String("\"0.1234\"")));
    QVERIFY(board.contains(QLatin1String("\"0.2345\"")));
}

// A file that may grow no more (here past 200 kB, which the board's dump
// fits) stops the recording alone, and what it holds ends on a whole line.
void TestFeed::fullDiskStopsOnlyTheRecording()
{
    rlimit old{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
    const rlimit limited{200000, old.rlim_max};
    std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const QString dump = path(QStringLiteral("full.json")), file = path("limited.jsonl");
    const Run run = Fixture::runVelapp(
        {"--seed", "5", "--quit-after", "3000", "--record", file, "--dump", dump});
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &old), 0);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.errLines, QStringList("velapp.feed: --record: " + file +
                                       ": cannot write: File too large; recording stopped"));
    QVERIFY(rows(dump).contains(QRegularExpression(QStringLiteral("\"0\\.\\d{4}\""))));
    QFile recorded(file);
    QVERIFY(recorded.open(QIODevice::ReadOnly) && recorded.readAll().endsWith('\n'));
}

FIXTURE_TEST_MAIN(TestFeed)
#include "tst_feed.moc"
