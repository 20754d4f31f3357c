#pragma once

#include <velwidget/velpresenterclass.h>

#include <QApplication>
#include <QList>
#include <QRegularExpression>
#include <QStringList>
#include <QVariantMap>

#include <mutex>

class QProcess;
class VelPluginBaseWidget;

// What every test program shares: a private user-data folder, a guard that
// turns unexpected Qt warnings into failures, reference data, ticks, the
// real plugin loaded as velapp loads it, and a view of the host's bus.
namespace Fixture {

// Points XDG_DATA_HOME, XDG_CONFIG_HOME, XDG_CACHE_HOME and XDG_RUNTIME_DIR
// at a fresh temporary folder, so stored column heads never reach the
// user's own; child processes inherit it. Call before QApplication exists.
void isolateUserData();
// A folder inside that temporary one, emptied before use.
QString scratchDir(const QString &name);

void installWarningGuard();
void expectWarning(const QRegularExpression &pattern);
// Unexpected warnings since the last call; forgets the expected ones.
QStringList takeUnexpectedWarnings();
// Warnings that depend on the platform or on how loaded the machine is.
void expectEnvironmentNoise();

// Reference data. day(n): today + n days as "yyyyMMdd".
QString day(int offset);
QVariantMap option(const QString &symbol, const QString &underlyingId, const QString &strikeDate,
                   const QVariant &strike, const QString &side, const QString &name,
                   const QString &post = QStringLiteral("SH"));
QVariantMap fund(const QString &symbol, const QString &name, const QString &post);
// What the underlying selector gives the presenter.
QVariantMap category(const QString &post);
// A call and a put per strike; symbols "<prefix><C|P><strike*1000>.<post>".
QList<QVariantMap> ladder(const QString &prefix, const QString &underlyingId,
                          const QString &strikeDate, const QList<double> &strikes,
                          const QString &post = QStringLiteral("SH"));
QString callSymbol(const QString &prefix, double strike,
                   const QString &post = QStringLiteral("SH"));
QString putSymbol(const QString &prefix, double strike, const QString &post = QStringLiteral("SH"));
void load(const QList<QVariantMap> &records);
// Records as a securities file holds them.
QByteArray securitiesJson(const QList<QVariantMap> &records);
// False when bytes could not all be written to path.
bool writeFile(const QString &path, const QByteArray &bytes);

// Two funds with their chains: 510050.SH with strikes 2.9 2.95 3.0 at 20
// days (prefix "a") and 50 days ("b"); 159919.SZ with 3.5 4.0 at 35, 80 and
// 110 days ("x", "y", "z"); tag is appended to every prefix, for contracts
// whose ticks no earlier test has published.
QList<QVariantMap> standardMarket(const QString &tag = QString());

// A complete option tick; overrides with an invalid value remove the field.
QVariantMap tick(const QString &symbol, const QVariantMap &overrides = QVariantMap());
void publishOption(const QVariantMap &tick);
void publishUnderlying(const QString &symbol, double last);

// The T-board plugin from VELAPP_PLUGIN_DIR, through the host's PluginManager.
bool loadBoardPlugin(QString *error);
// A page opened the way velapp opens one (loading state, skin, build, show).
VelPluginBaseWidget *openPage();
void putEvent(int type, const QVariantMap &row);
// Returns once everything put on the bus before it has been delivered and
// the GUI thread has run what that delivery queued.
bool settle(int timeoutMs = 30000);

// The velapp binary of this build, run offscreen as a child process.
struct VelappRun
{
    int exitCode = -1; // also when it crashed or did not end in time
    QString out;
    // What it wrote to stderr, without the offscreen platform's notices and
    // the lock diagnostics a loaded machine may cause.
    QStringList errLines;
};
// noDisplay: no display and no platform chosen, as in a plain terminal; a
// start of Qt's GUI would abort there.
void startVelapp(QProcess *process, const QStringList &args, bool noDisplay = false);
// Runs velapp with args to its end; or, given a process startVelapp
// started, waits for that one.
VelappRun runVelapp(const QStringList &args, QProcess *started = nullptr, bool noDisplay = false);

// A second page on the bus: records the events of the types it subscribed
// to (delivered on the bus thread) and publishes events as a page does.
class BusProbe : public VelPresenterClass
{
public:
    struct Event
    {
        int type;
        QString src;
        QList<QVariantMap> rows;
    };
    BusProbe(const QString &pid, const QList<int> &types);
    ~BusProbe() override;
    void ProcEventMsg(QString src, QVariant type, QVariant msg) override;
    QList<Event> events() const;
    QList<Event> eventsOf(int type) const;
    void send(int type, const QList<QVariantMap> &rows);

private:
    mutable std::mutex m_mutex; // seen by ThreadSanitizer, unlike QMutex
    QList<Event> m_events;
};

} // namespace Fixture

#define VERIFY_NO_UNEXPECTED_WARNINGS()                                                            \
    do {                                                                                           \
        const QStringList unexpected_ = Fixture::takeUnexpectedWarnings();                         \
        QVERIFY2(unexpected_.isEmpty(), qPrintable(unexpected_.join(QLatin1Char('\n'))));          \
    } while (false)

// Waits generous enough for a machine shared with parallel builds.
#define TRY_COMPARE(expr, expected) QTRY_COMPARE_WITH_TIMEOUT(expr, expected, 30000)
#define TRY_VERIFY(expr) QTRY_VERIFY_WITH_TIMEOUT(expr, 30000)

// QTEST_MAIN with the user's data kept out of reach first.
#define FIXTURE_TEST_MAIN(TestObject)                                                              \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        Fixture::isolateUserData();                                                                \
        QApplication app(argc, argv);                                                              \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                   \
        TestObject tc;                                                                             \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }
