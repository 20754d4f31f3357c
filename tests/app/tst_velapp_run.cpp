#include "testsupport.h"

#include <QDate>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

// Runs the built velapp the way a user or a script does, headless.
class TestVelappRun : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup() { VERIFY_NO_UNEXPECTED_WARNINGS(); }

    void builtinMarketDump();
    void refusedBeforeAnyWindow_data();
    void refusedBeforeAnyWindow();
    void replayReachesTheBoard();
    void simulatorPrintAndScreenshot();
    void noPagePlugin();

private:
    struct Run
    {
        int exitCode = -1;
        QString out;
        QStringList errLines;
    };
    Run velapp(const QStringList &args);
    QString write(const QString &name, const QByteArray &content);
    static QJsonObject readJson(const QString &path);

    QString m_dir;
};

void TestVelappRun::initTestCase()
{
    TestSupport::installWarningGuard();
    m_dir = TestSupport::scratchDir(QStringLiteral("velapp_run"));
    QVERIFY2(QFile::exists(QStringLiteral(VELAPP_BINARY)), VELAPP_BINARY);
}

TestVelappRun::Run TestVelappRun::velapp(const QStringList &args)
{
    QProcess process;
    process.setProgram(QStringLiteral(VELAPP_BINARY));
    process.setArguments(QStringList{QStringLiteral("-platform"), QStringLiteral("offscreen")} +
                         args);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("*.debug=false"));
    process.setProcessEnvironment(env);
    process.start();
    Run run;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    // Qt's own offscreen-platform notices are not ours, and the host's lock
    // diagnostics may report a long hold on a loaded machine.
    const QRegularExpression lockDiagnostic(QStringLiteral("held \\d+ ms at "));
    const QStringList lines = QString::fromUtf8(process.readAllStandardError())
                                  .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        if (!line.startsWith(QLatin1String("QStandardPaths:")) &&
            !line.contains(QLatin1String("propagateSizeHints")))
            run.errLines.append(line);
    }
    return run;
}

QString TestVelappRun::write(const QString &name, const QByteArray &content)
{
    const QString path = m_dir + QLatin1Char('/') + name;
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
    return path;
}

QJsonObject TestVelappRun::readJson(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

void TestVelappRun::builtinMarketDump()
{
    const QString dump = m_dir + QStringLiteral("/builtin.json");
    const Run run = velapp({QStringLiteral("--no-feed"), QStringLiteral("--quit-after"),
                            QStringLiteral("1500"), QStringLiteral("--dump"), dump});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.errLines.isEmpty(), qPrintable(run.errLines.join(QLatin1Char('\n'))));
    const QJsonObject root = readJson(dump);
    const QJsonArray pages = root.value(QStringLiteral("pages")).toArray();
    QCOMPARE(pages.size(), 1);
    const QJsonObject page = pages.at(0).toObject();
    QCOMPARE(page.value(QStringLiteral("title")).toString(), QStringLiteral("T型行情"));
    QCOMPARE(
        page.value(QStringLiteral("category")).toObject().value(QStringLiteral("text")).toString(),
        QStringLiteral("上证ETF"));
    const QJsonObject underlying = page.value(QStringLiteral("underlying")).toObject();
    QCOMPARE(underlying.value(QStringLiteral("symbol")).toString(), QStringLiteral("510050.SH"));
    QCOMPARE(underlying.value(QStringLiteral("items")).toArray().size(),
             4); // the four Shanghai funds
    QCOMPARE(page.value(QStringLiteral("dateButtons")).toArray().size(), 10);
    int visibleDates = 0;
    for (const QJsonValue &b : page.value(QStringLiteral("dateButtons")).toArray())
        visibleDates += b.toObject().value(QStringLiteral("visible")).toBool() ? 1 : 0;
    QCOMPARE(visibleDates, 4);
    QCOMPARE(page.value(QStringLiteral("callCaption")).toString(), QStringLiteral("认购期权"));

    // One group row per expiry, each with its strikes below it.
    const QJsonArray rows = page.value(QStringLiteral("rows")).toArray();
    QCOMPARE(rows.size(), 4);
    for (const QJsonValue &group : rows) {
        const QJsonObject cells = group.toObject().value(QStringLiteral("cells")).toObject();
        QCOMPARE(
            cells.value(QStringLiteral("7")).toObject().value(QStringLiteral("256")).toString(),
            QStringLiteral("ALL_PRICE"));
        QVERIFY(group.toObject().value(QStringLiteral("children")).toArray().size() >= 9);
    }

    // The host announced its base data; the page announced its underlying.
    bool baseData = false;
    bool underlyingChanged = false;
    for (const QJsonValue &v : root.value(QStringLiteral("events")).toArray()) {
        const QJsonObject e = v.toObject();
        const QJsonObject row = e.value(QStringLiteral("rows")).toArray().at(0).toObject();
        if (e.value(QStringLiteral("type")).toInt() == 69647) {
            baseData = e.value(QStringLiteral("src")).toString() == QLatin1String("velapp") &&
                       row.value(QStringLiteral("loadFinish")).toBool();
        }
        if (e.value(QStringLiteral("type")).toInt() == 213331 &&
            row.value(QStringLiteral("symbol")).toString() == QLatin1String("510050.SH"))
            underlyingChanged = true;
    }
    QVERIFY(baseData);
    QVERIFY(underlyingChanged);
}

void TestVelappRun::refusedBeforeAnyWindow_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("expected"); // regular expression for the one stderr line

    const QString badChain = write(QStringLiteral("bad-chain.json"),
                                   "[\n  {\"symbol\": \"510050.SH\"},\n  {\"symbol\" \"x\"}\n]");
    const QString notObjects = write(QStringLiteral("numbers.json"), "[{}, 7]");
    const QString badReplay =
        write(QStringLiteral("bad.jsonl"),
              "{\"t\": 5, \"type\": \"MDOPTIONRECORD\", \"Symbol\": \"a\"}\n"
              "{\"t\": 4, \"type\": \"MDOPTIONRECORD\", \"Symbol\": \"a\"}\n");
    QTest::newRow("malformed securities")
        << QStringList{QStringLiteral("--securities"), badChain}
        << QStringLiteral("^velapp: .*bad-chain\\.json:3: not valid JSON: .+$");
    QTest::newRow("securities element not an object")
        << QStringList{QStringLiteral("--securities"), notObjects}
        << QStringLiteral("^velapp: .*numbers\\.json:1: element 1 of the array is a number, .+$");
    QTest::newRow("missing securities file")
        << QStringList{QStringLiteral("--securities"), m_dir + QStringLiteral("/none.json")}
        << QStringLiteral("^velapp: .*none\\.json: cannot read: .+$");
    QTest::newRow("replay going back in time")
        << QStringList{QStringLiteral("--replay"), badReplay}
        << QStringLiteral("^velapp: .*bad\\.jsonl:2: \"t\" decreases from 5 to 4$");
    QTest::newRow("bad option value")
        << QStringList{QStringLiteral("--pages"), QStringLiteral("many")}
        << QStringLiteral("^velapp: --pages: 'many' is not a whole number");
}

void TestVelappRun::refusedBeforeAnyWindow()
{
    QFETCH(QStringList, args);
    QFETCH(QString, expected);
    const QString dump = m_dir + QStringLiteral("/refused.json");
    QFile::remove(dump);
    const Run run = velapp(args + QStringList{QStringLiteral("--quit-after"), QStringLiteral("1"),
                                              QStringLiteral("--dump"), dump});
    QCOMPARE(run.exitCode, 2);
    QCOMPARE(run.errLines.size(), 1);
    QVERIFY2(QRegularExpression(expected).match(run.errLines.first()).hasMatch(),
             qPrintable(run.errLines.first()));
    QVERIFY(run.out.isEmpty());
    QVERIFY(!QFile::exists(dump)); // it never ran
}

void TestVelappRun::replayReachesTheBoard()
{
    // A chain of one strike a month ahead; fields beyond those the page
    // needs are left out on purpose.
    const QString date = QDate::currentDate().addDays(30).toString(QStringLiteral("yyyyMMdd"));
    const QByteArray chain =
        QStringLiteral("[{\"symbol\": \"510050.SH\", \"securityID\": \"510050\", \"chineseName\": "
                       "\"50ETF\", \"mdcSecurityType\": \"ETF\", \"SymbolPost\": \"SH\"},"
                       " {\"symbol\": \"10009001.SH\", \"securityID\": \"10009001\", "
                       "\"chineseName\": \"50ETF购1月2950\", \"underlyingSecurityID\": \"510050\","
                       "  \"PutOrCall\": \"C\", \"StrikeDate\": \"%1\", \"StrikePrice\": 2.95, "
                       "\"mdcSecurityType\": \"OPTION\", \"mdcSubSecurityType\": \"ETFOPTION\", "
                       "\"SymbolPost\": \"SH\"},"
                       " {\"symbol\": \"10009002.SH\", \"securityID\": \"10009002\", "
                       "\"chineseName\": \"50ETF沽1月2950\", \"underlyingSecurityID\": \"510050\","
                       "  \"PutOrCall\": \"P\", \"StrikeDate\": \"%1\", \"StrikePrice\": 2.95, "
                       "\"mdcSecurityType\": \"OPTION\", \"mdcSubSecurityType\": \"ETFOPTION\", "
                       "\"SymbolPost\": \"SH\"},"
                       " {\"symbol\": \"no-fields.SH\"}]")
            .arg(date)
            .toUtf8();
    const QString chainPath = write(QStringLiteral("chain.json"), chain);
    const QString replayPath =
        write(QStringLiteral("ticks.jsonl"),
              "{\"t\": 0, \"type\": \"MDOPTIONRECORD\", \"Symbol\": \"10009001.SH\", "
              "\"LastPrice\": 0.1234, \"Buy1Price\": 0.1233,"
              " \"Sell1Price\": 0.1235, \"PreSettlePrice\": 0.12, \"OpenInterest\": 12345, "
              "\"MaxPx\": 0.42, \"MinPx\": 0.0001}\n"
              "\n"
              "{\"t\": 200, \"type\": \"MDOPTIONRECORD\", \"Symbol\": \"10009002.SH\", "
              "\"Buy1Price\": 0.0456}\n"
              "{\"t\": 250, \"type\": \"MDMARKETRECORD\", \"Symbol\": \"510050.SH\", "
              "\"LastPrice\": 2.951}\n");
    const QString dump = m_dir + QStringLiteral("/replay.json");
    const Run run = velapp({QStringLiteral("--securities"), chainPath, QStringLiteral("--replay"),
                            replayPath, QStringLiteral("--quit-after"), QStringLiteral("2500"),
                            QStringLiteral("--dump"), dump});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.errLines.isEmpty(), qPrintable(run.errLines.join(QLatin1Char('\n'))));
    const QJsonArray rows = readJson(dump)
                                .value(QStringLiteral("pages"))
                                .toArray()
                                .at(0)
                                .toObject()
                                .value(QStringLiteral("rows"))
                                .toArray();
    QCOMPARE(rows.size(), 1);
    const QJsonArray strikes = rows.at(0).toObject().value(QStringLiteral("children")).toArray();
    QCOMPARE(strikes.size(), 1);
    const QJsonObject cells = strikes.at(0).toObject().value(QStringLiteral("cells")).toObject();
    auto text = [&cells](int column) {
        return cells.value(QString::number(column))
            .toObject()
            .value(QStringLiteral("256"))
            .toString();
    };
    QVERIFY2(text(0).startsWith(QStringLiteral("0.1233###")), qPrintable(text(0)));   // call bid
    QVERIFY2(text(1).startsWith(QStringLiteral("0.1235###")), qPrintable(text(1)));   // call ask
    QVERIFY2(text(14).startsWith(QStringLiteral("0.0456###")), qPrintable(text(14))); // put bid
}

void TestVelappRun::simulatorPrintAndScreenshot()
{
    const QString shot = m_dir + QStringLiteral("/shot.png");
    QFile::remove(shot);
    const Run run =
        velapp({QStringLiteral("--seed"), QStringLiteral("5"), QStringLiteral("--pages"),
                QStringLiteral("2"), QStringLiteral("--quit-after"), QStringLiteral("2500"),
                QStringLiteral("--print"), QStringLiteral("--screenshot"), shot});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.errLines.isEmpty(), qPrintable(run.errLines.join(QLatin1Char('\n'))));
    QCOMPARE(run.out.count(QStringLiteral("== T型行情 ==")), 2);
    QVERIFY(run.out.contains(QStringLiteral("标的: 上证ETF / 50ETF (510050.SH)")));
    // Strike rows are indented under their expiry and carry simulated prices.
    const QRegularExpression priced(QStringLiteral("^  0\\.\\d{4}(\\*\\d)? +\\| 0\\.\\d{4}"),
                                    QRegularExpression::MultilineOption);
    QVERIFY2(priced.match(run.out).hasMatch(), qPrintable(run.out.left(3000)));
    const QImage image(shot);
    QVERIFY(!image.isNull());
    QVERIFY(image.width() >= 800 && image.height() >= 400);
}

void TestVelappRun::noPagePlugin()
{
    const QString empty = TestSupport::scratchDir(QStringLiteral("velapp_run_noplugins"));
    const QString dump = m_dir + QStringLiteral("/nopages.json");
    const Run run = velapp({QStringLiteral("--plugins"), empty, QStringLiteral("--no-feed"),
                            QStringLiteral("--quit-after"), QStringLiteral("300"),
                            QStringLiteral("--dump"), dump});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.errLines.size(), 1);
    QVERIFY2(run.errLines.first().startsWith(QStringLiteral("velapp: no page plugin found in ")),
             qPrintable(run.errLines.first()));
    const QJsonObject root = readJson(dump);
    QVERIFY(root.contains(QStringLiteral("pages")));
    QVERIFY(root.value(QStringLiteral("pages")).toArray().isEmpty());
    QCOMPARE(root.value(QStringLiteral("events")).toArray().size(), 1); // the base-data event only
}

QTEST_GUILESS_MAIN(TestVelappRun)
#include "tst_velapp_run.moc"
