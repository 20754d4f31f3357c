#include "fixture.h"

#include <veldefine/velconstants.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

// velapp --actions: a scripted session replayed headless against a replay.
class TestSession : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup() { VERIFY_NO_UNEXPECTED_WARNINGS(); }

    void refusedBeforeAnyWindow_data();
    void refusedBeforeAnyWindow();
    void actionThatCannotApplyIsReported();
    void actionsAndTicksInterleave();
    void quietMarketKeepsItsPrices();

private:
    using Run = Fixture::VelappRun;
    // Runs a session of actions (one JSON object a line) on the test's chain
    // and replay; the final dump goes to dump.json.
    Run session(const QStringList &actions);
    QString path(const QString &name) const { return m_dir + QLatin1Char('/') + name; }
    static QJsonObject readJson(const QString &file);
    static QJsonObject strikeRow(const QJsonObject &dump); // the call 2.950 of the first page

    QString m_dir;
    QString m_date = Fixture::day(30);
};

void TestSession::initTestCase()
{
    Fixture::installWarningGuard();
    m_dir = Fixture::scratchDir(QStringLiteral("session"));
    QVERIFY(QFile::exists(QStringLiteral(VELAPP_BINARY)));

    // 300ETF never ticks in the replay.
    const QList<QVariantMap> chain =
        QList<QVariantMap>{Fixture::fund("510050.SH", "50ETF", "SH"),
                           Fixture::fund("510300.SH", "300ETF", "SH")} +
        Fixture::ladder("1000", "510050", m_date, {2.9, 2.95}) +
        Fixture::ladder("2000", "510300", m_date, {3.9, 4.0});
    QVERIFY(Fixture::writeFile(path(QStringLiteral("chain.json")), Fixture::securitiesJson(chain)));

    const QString call = Fixture::callSymbol(QStringLiteral("1000"), 2.95);
    QByteArray replay;
    const char *const ticks[] = {
        R"({"t": 300, "type": "MDOPTIONRECORD", "Symbol": "%1", "LastPrice": 0.1111})",
        R"({"t": 600, "type": "MDMARKETRECORD", "Symbol": "510050.SH", "LastPrice": 2.951})",
        // A number written as text reads as the number.
        R"({"t": 800, "type": "MDOPTIONRECORD", "Symbol": "%1", "LastPrice": " 0.2222"})"};
    for (const char *tick : ticks)
        replay += QString::fromUtf8(tick).replace(QStringLiteral("%1"), call).toUtf8() + '\n';
    QVERIFY(Fixture::writeFile(path(QStringLiteral("ticks.jsonl")), replay));
}

TestSession::Run TestSession::session(const QStringList &actions)
{
    Fixture::writeFile(path(QStringLiteral("actions.jsonl")),
                       actions.join(QLatin1Char('\n')).toUtf8());
    QFile::remove(path(QStringLiteral("dump.json")));

    return Fixture::runVelapp({QStringLiteral("--securities"), path(QStringLiteral("chain.json")),
                               QStringLiteral("--replay"), path(QStringLiteral("ticks.jsonl")),
                               QStringLiteral("--actions"), path(QStringLiteral("actions.jsonl")),
                               QStringLiteral("--dump"), path(QStringLiteral("dump.json"))});
}

QJsonObject TestSession::readJson(const QString &file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()).object()
                                       : QJsonObject();
}

QJsonObject TestSession::strikeRow(const QJsonObject &dump)
{
    const QJsonObject page = dump.value("pages").toArray().at(0).toObject();
    const QJsonObject group = page.value("rows").toArray().at(0).toObject();
    return group.value("children").toArray().at(1).toObject().value("cells").toObject();
}

void TestSession::refusedBeforeAnyWindow_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("fault"); // a regular expression
    const char *const rows[][3] = {
        {"not JSON", R"({"t": 5, do})", "not JSON: .+"},
        {"not an object", "[5]", "not an object but an array"},
        {"unknown action", R"({"t": 5, "do": "jump"})", R"(unknown action "jump")"},
        {"missing t", R"({"do": "quit"})", R"(missing "t")"},
        {"t not a number", R"({"t": "5", "do": "quit"})", R"("t" is a string, not a number)"},
        {"t going back", R"({"t": 1, "do": "quit"})", R"("t" decreases from 2 to 1)"},
        {"missing field", R"({"t": 5, "do": "date"})", R"(missing "button")"},
        {"missing text field", R"({"t": 5, "do": "underlying"})", R"(missing "symbol")"},
        {"open of no such kind", R"({"t": 5, "do": "open", "kind": "chart"})",
         R"("kind" is "chart", not one of "tboard", "smile")"},
        {"button not an int", R"({"t": 5, "do": "date", "button": "2"})",
         R"("button" is a string, not a whole number from -1 to 9)"},
        {"page negative", R"({"t": 5, "do": "refresh", "page": -1})",
         R"("page" is -1, not a whole number from 0 to \d+)"},
        {"huge column", R"({"t": 5, "do": "click", "date": "x", "strike": "1", "column": 1e300})",
         R"("column" is 1e\+300, not a whole number from 0 to 14)"},
        {"dump onto a folder", R"({"t": 5, "do": "dump", "file": "/tmp"})",
         R"("file" '/tmp' is a folder)"},
        {"dump into no folder", R"({"t": 5, "do": "dump", "file": "/no/x.json"})",
         R"(the folder of "file" '/no/x.json' does not exist)"},
    };
    for (const auto &row : rows)
        QTest::newRow(row[0]) << QString::fromUtf8(row[1]) << QString::fromUtf8(row[2]);
}

void TestSession::refusedBeforeAnyWindow()
{
    QFETCH(QString, line);
    QFETCH(QString, fault);
    const Run run = session({QStringLiteral("{\"t\": 2, \"do\": \"refresh\"}"), line});
    QCOMPARE(run.exitCode, 2);
    QCOMPARE(run.errLines.size(), 1);
    const QRegularExpression expected(QStringLiteral("^velapp: .*actions\\.jsonl:2: ") + fault +
                                      QLatin1Char('$'));
    QVERIFY2(expected.match(run.errLines.first()).hasMatch(), qPrintable(run.errLines.first()));
    QVERIFY(!QFile::exists(path(QStringLiteral("dump.json"))));
}

void TestSession::actionThatCannotApplyIsReported()
{
    const Run run = session({
        QStringLiteral(R"({"t": 400, "do": "refresh", "page": 3})"),
        QStringLiteral(R"({"t": 450, "do": "date", "button": 9})"),
        QStringLiteral(R"({"t": 500, "do": "underlying", "symbol": "159919.SZ"})"),
        QStringLiteral(R"({"t": 550, "do": "click", "date": "%1", "strike": "9.999", "column": 2})")
            .arg(m_date),
        QStringLiteral(R"({"t": 600, "do": "date", "button": 0})"), // applies
    });
    QCOMPARE(run.exitCode, 0);
    const QStringList expected{
        QStringLiteral("velapp: actions line 1: no page 3 (1 open)"),
        QStringLiteral("velapp: actions line 2: date button 9 is not shown"),
        QStringLiteral("velapp: actions line 3: no underlying 159919.SZ listed"),
        QStringLiteral("velapp: actions line 4: no row 9.999 under %1").arg(m_date)};
    QCOMPARE(run.errLines, expected);
    QStringList recorded;
    for (const QJsonValue &event :
         readJson(path(QStringLiteral("dump.json"))).value("events").toArray()) {
        const QJsonObject e = event.toObject();
        if (e.value("type") == QLatin1String("action-error"))
            recorded << QStringLiteral("velapp: actions line %1: %2")
                            .arg(e.value("line").toInt())
                            .arg(e.value("text").toString());
    }
    QCOMPARE(recorded, expected);
}

void TestSession::actionsAndTicksInterleave()
{
    const Run run = session({
        QStringLiteral(R"({"t": 500, "do": "dump", "file": "%1"})").arg(path("at500.json")),
        QStringLiteral(
            R"({"t": 900, "do": "click", "date": "%1", "strike": " 2.950", "column": 2})")
            .arg(m_date),
        QStringLiteral(R"({"t": 1000, "do": "dump", "file": "%1"})").arg(path("at1000.json")),
        QStringLiteral(R"({"t": 1100, "do": "open"})"),
        QStringLiteral(R"({"t": 1200, "do": "quit"})"),
    });
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.errLines.isEmpty(), qPrintable(run.errLines.join('\n')));

    const QJsonObject at500 = readJson(path(QStringLiteral("at500.json")));
    const QJsonObject at1000 = readJson(path(QStringLiteral("at1000.json")));
    auto last = [](const QJsonObject &dump) {
        return strikeRow(dump).value("2").toObject().value("256").toString().section("###", 0, 0);
    };
    QCOMPARE(last(at500), QStringLiteral("0.1111"));
    QCOMPARE(last(at1000), QStringLiteral("0.2222"));
    const QJsonObject page = at1000.value("pages").toArray().at(0).toObject();
    QCOMPARE(page.value("kind").toString(), QStringLiteral("tboard"));
    QCOMPARE(page.value("loading").toBool(true), false);
    // No tick of the fund yet: the page holds a zero price, which shades nothing.
    QCOMPARE(at500.value("pages").toArray().at(0).toObject().value("underlyingPrice").toString(),
             QStringLiteral("0.000"));
    QCOMPARE(page.value("underlyingPrice").toString(), QStringLiteral("2.951"));

    // The click went through the table to the bus (velapp answered with a
    // chart); the open through the menu.
    const QJsonObject final = readJson(path(QStringLiteral("dump.json")));
    QList<int> types; // a chart asked for; the pages opened later told the data are loaded
    for (const QJsonValue &event : final.value("events").toArray())
        types << event.toObject().value("type").toInt();
    QCOMPARE(types.count(213332), 1);
    QCOMPARE(types.count(VelEventType::BaseDataState), 2);
    QCOMPARE(final.value("pages").toArray().size(), 3);
}

// The replay's ticks end at 800 ms; whatever rebuilds the rows afterwards
// must show the last prices again, and another fund must not inherit the
// first one's price.
void TestSession::quietMarketKeepsItsPrices()
{
    QStringList actions;
    const auto act = [&](int t, const QString &json) {
        actions << QStringLiteral(R"({"t": %1, %2})").arg(t).arg(json);
    };
    const auto dump = [&](int t, const QString &name) {
        act(t, QStringLiteral(R"("do": "dump", "file": "%1")").arg(path(name)));
    };
    act(1000, QStringLiteral(R"("do": "date", "button": 0)"));
    dump(1050, QStringLiteral("date.json"));
    act(1100, QStringLiteral(R"("do": "refresh")"));
    dump(1150, QStringLiteral("refresh.json"));
    act(1200, QStringLiteral(R"("do": "underlying", "symbol": "510300.SH")"));
    dump(1300, QStringLiteral("quiet.json"));
    act(1400, QStringLiteral(R"("do": "underlying", "symbol": "510050.SH")"));
    dump(1500, QStringLiteral("back.json"));
    act(1600, QStringLiteral(R"("do": "open")"));
    dump(1900, QStringLiteral("late.json"));
    act(1950, QStringLiteral(R"("do": "filter", "count": 1, "centre": "2.95")"));
    dump(1980, QStringLiteral("filtered.json"));
    act(2000, QStringLiteral(R"("do": "quit")"));
    const Run run = session(actions);
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.errLines.isEmpty(), qPrintable(run.errLines.join('\n')));

    const auto page = [&](const QString &name, int index) {
        return readJson(path(name)).value("pages").toArray().at(index).toObject();
    };
    const auto lastOfCall = [](const QJsonObject &page) {
        const QJsonObject group = page.value("rows").toArray().at(0).toObject();
        return group.value("children")
            .toArray()
            .at(1)
            .toObject()
            .value("cells")
            .toObject()
            .value("2")
            .toObject()
            .value("256")
            .toString()
            .section("###", 0, 0);
    };
    for (const QString &name : {"date.json", "refresh.json", "back.json"}) {
        QCOMPARE(lastOfCall(page(name, 0)), QStringLiteral("0.2222"));
        QCOMPARE(page(name, 0).value("underlyingPrice").toString(), QStringLiteral("2.951"));
    }
    const QJsonObject quiet = page(QStringLiteral("quiet.json"), 0);
    QCOMPARE(quiet.value("underlying").toObject().value("symbol").toString(),
             QStringLiteral("510300.SH"));
    QCOMPARE(quiet.value("underlyingPrice").toString(), QStringLiteral("0.000"));

    // A page opened late loads like the first one and ends its loading state.
    const QJsonObject late = page(QStringLiteral("late.json"), 1);
    QCOMPARE(late.value("loading").toBool(true), false);
    QCOMPARE(lastOfCall(late), QStringLiteral("0.2222"));
    QCOMPARE(late.value("underlyingPrice").toString(), QStringLiteral("2.951"));

    // The filter's inputs and 确定: one strike below the centre is left.
    const QJsonArray kept = page(QStringLiteral("filtered.json"), 0)
                                .value("rows")
                                .toArray()
                                .at(0)
                                .toObject()
                                .value("children")
                                .toArray();
    QCOMPARE(kept.size(), 1);
    QCOMPARE(kept.at(0)
                 .toObject()
                 .value("cells")
                 .toObject()
                 .value("7")
                 .toObject()
                 .value("256")
                 .toString()
                 .trimmed(),
             QStringLiteral("2.900"));
}

FIXTURE_TEST_MAIN(TestSession)
#include "tst_session.moc"
