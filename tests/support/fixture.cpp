#include "fixture.h"

#include <businessdatamanager/businessdatainterface.h>
#include <velbusinessdata/businessdatabase.h>
#include <veldefine/velconstants.h>
#include <veldefine/veldefine.h>
#include <velevent/eventmessage.h>
#include <velmsg/packmessage.h>
#include <velplugin/pluginmanager.h>
#include <velwidget/velpluginbasewidget.h>

#include <QCoreApplication>
#include <QDate>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QMutexLocker>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

QMutex g_mutex;
QList<QRegularExpression> g_expected;
QStringList g_unexpected;
QtMessageHandler g_previous = nullptr;
QTemporaryDir *g_home = nullptr;
int g_metaId = QMetaType::UnknownType;
// An event type no page subscribes to: it marks a point in the bus's queue.
const int kMarkerEvent = 0x7F0001;

void guardHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg || type == QtCriticalMsg) {
        QMutexLocker locker(&g_mutex);
        bool expected = false;
        for (const QRegularExpression &re : qAsConst(g_expected))
            expected = expected || re.match(message).hasMatch();
        if (!expected)
            g_unexpected.append(message);
    }
    if (g_previous)
        g_previous(type, context, message);
}

Fixture::BusProbe *marker()
{
    static Fixture::BusProbe *probe =
        new Fixture::BusProbe(QStringLiteral("fixture-marker"), {kMarkerEvent});
    return probe;
}

} // namespace

namespace Fixture {

void isolateUserData()
{
    if (g_home)
        return;
    g_home = new QTemporaryDir(QDir::tempPath() + QStringLiteral("/velapp-test-XXXXXX"));
    const QString root = g_home->path();
    for (const char *name :
         {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"}) {
        const QString dir = root + QLatin1Char('/') + QString::fromLatin1(name).mid(4).toLower();
        QDir().mkpath(dir);
        QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                       QFileDevice::ExeOwner);
        qputenv(name, QFile::encodeName(dir));
    }
    // Removed with the folder when the program ends.
    std::atexit([] { delete g_home; });
}

QString scratchDir(const QString &name)
{
    isolateUserData();
    QDir dir(g_home->path() + QStringLiteral("/scratch/") + name);
    dir.removeRecursively();
    dir.mkpath(QStringLiteral("."));
    return dir.absolutePath();
}

void installWarningGuard()
{
    static bool installed = false;
    if (!installed) {
        installed = true;
        g_previous = qInstallMessageHandler(guardHandler);
    }
}

void expectWarning(const QRegularExpression &pattern)
{
    QMutexLocker locker(&g_mutex);
    g_expected.append(pattern);
}

QStringList takeUnexpectedWarnings()
{
    QMutexLocker locker(&g_mutex);
    const QStringList result = g_unexpected;
    g_unexpected.clear();
    g_expected.clear();
    return result;
}

void expectEnvironmentNoise()
{
    // Offscreen windows cannot propagate size hints; the host's lock
    // diagnostics report holds that a preempted thread made long.
    expectWarning(QRegularExpression(QStringLiteral("propagateSizeHints")));
    expectWarning(QRegularExpression(QStringLiteral("^(waited|held) \\d+ ms at")));
}

QString day(int offset)
{
    return QDate::currentDate().addDays(offset).toString(QStringLiteral("yyyyMMdd"));
}

QVariantMap option(const QString &symbol, const QString &underlyingId, const QString &strikeDate,
                   const QVariant &strike, const QString &side, const QString &name,
                   const QString &post)
{
    return {{Ostrel_Fields::Security::symbol, symbol},
            {Ostrel_Fields::Security::securityID, symbol.section(QLatin1Char('.'), 0, 0)},
            {Ostrel_Fields::Security::chineseName, name},
            {Ostrel_Fields::Security::underlyingSecurityID, underlyingId},
            {Ostrel_Fields::Security::PutOrCall, side},
            {Ostrel_Fields::Security::StrikeDate, strikeDate},
            {Ostrel_Fields::Security::StrikePrice, strike},
            {Ostrel_Fields::MDCFieldDefine::mdcSecurityType,
             Ostrel_Values::MdcSecurityType::OptionType},
            {Ostrel_Fields::MDCFieldDefine::mdcSubSecurityType,
             Ostrel_Values::MdcSubSecurityType::ETFoption},
            {Ostrel_Fields::UserAccount::SymbolPost, post}};
}

QVariantMap fund(const QString &symbol, const QString &name, const QString &post)
{
    return {
        {Ostrel_Fields::Security::symbol, symbol},
        {Ostrel_Fields::Security::securityID, symbol.section(QLatin1Char('.'), 0, 0)},
        {Ostrel_Fields::Security::chineseName, name},
        {Ostrel_Fields::MDCFieldDefine::mdcSecurityType, Ostrel_Values::MdcSecurityType::FundType},
        {Ostrel_Fields::UserAccount::SymbolPost, post}};
}

QVariantMap category(const QString &post)
{
    return {{Ostrel_Fields::MDCFieldDefine::mdcSubSecurityType,
             Ostrel_Values::MdcSubSecurityType::ETFoption},
            {Ostrel_Fields::UserAccount::SymbolPost, post}};
}

static QString sideSymbol(const QString &prefix, QChar side, double strike, const QString &post)
{
    return prefix + side + QString::number(qRound(strike * 1000)) + QLatin1Char('.') + post;
}

QString callSymbol(const QString &prefix, double strike, const QString &post)
{
    return sideSymbol(prefix, QLatin1Char('C'), strike, post);
}

QString putSymbol(const QString &prefix, double strike, const QString &post)
{
    return sideSymbol(prefix, QLatin1Char('P'), strike, post);
}

QList<QVariantMap> ladder(const QString &prefix, const QString &underlyingId,
                          const QString &strikeDate, const QList<double> &strikes,
                          const QString &post)
{
    QList<QVariantMap> records;
    for (double strike : strikes) {
        const QString price = QString::number(qRound(strike * 1000));
        records << option(callSymbol(prefix, strike, post), underlyingId, strikeDate, strike,
                          Ostrel_Values::OptionCallOrPut::call, QStringLiteral("购") + price, post)
                << option(putSymbol(prefix, strike, post), underlyingId, strikeDate, strike,
                          Ostrel_Values::OptionCallOrPut::put, QStringLiteral("沽") + price, post);
    }
    return records;
}

void load(const QList<QVariantMap> &records)
{
    CBusinessDataBase::GetInstance()->loadSecurities(records);
}

QByteArray securitiesJson(const QList<QVariantMap> &records)
{
    QJsonArray array;
    for (const QVariantMap &record : records)
        array.append(QJsonObject::fromVariantMap(record));
    return QJsonDocument(array).toJson();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
}

QList<QVariantMap> standardMarket(const QString &tag)
{
    const QList<double> sh{2.9, 2.95, 3.0};
    const QList<double> sz{3.5, 4.0};
    return QList<QVariantMap>{
               fund(QStringLiteral("510050.SH"), QStringLiteral("50ETF"), QStringLiteral("SH")),
               fund(QStringLiteral("159919.SZ"), QStringLiteral("深300ETF"),
                    QStringLiteral("SZ"))} +
           ladder(QStringLiteral("a") + tag, QStringLiteral("510050"), day(20), sh) +
           ladder(QStringLiteral("b") + tag, QStringLiteral("510050"), day(50), sh) +
           ladder(QStringLiteral("x") + tag, QStringLiteral("159919"), day(35), sz,
                  QStringLiteral("SZ")) +
           ladder(QStringLiteral("y") + tag, QStringLiteral("159919"), day(80), sz,
                  QStringLiteral("SZ")) +
           ladder(QStringLiteral("z") + tag, QStringLiteral("159919"), day(110), sz,
                  QStringLiteral("SZ"));
}

QVariantMap tick(const QString &symbol, const QVariantMap &overrides)
{
    QVariantMap t{
        {QStringLiteral("Symbol"), symbol},         {QStringLiteral("LastPrice"), 0.1234},
        {QStringLiteral("Buy1Price"), 0.1233},      {QStringLiteral("Sell1Price"), 0.1235},
        {QStringLiteral("PreSettlePrice"), 0.1200}, {QStringLiteral("PreClosePrice"), 0.1210},
        {QStringLiteral("OpenInterest"), 12345},    {QStringLiteral("MaxPx"), 0.4200},
        {QStringLiteral("MinPx"), 0.0001}};
    for (auto it = overrides.cbegin(); it != overrides.cend(); ++it) {
        if (it->isValid())
            t.insert(it.key(), it.value());
        else
            t.remove(it.key());
    }
    return t;
}

void publishOption(const QVariantMap &tick)
{
    BusinessDataInterface::PublishQuotation(QStringLiteral("MDOPTIONRECORD"), tick);
}

void publishUnderlying(const QString &symbol, double last)
{
    BusinessDataInterface::PublishQuotation(
        QStringLiteral("MDMARKETRECORD"),
        {{QStringLiteral("Symbol"), symbol}, {QStringLiteral("LastPrice"), last}});
}

bool loadBoardPlugin(QString *error)
{
    const QList<PluginSpec *> pluginInfos =
        PluginManager::instance()->loadPlugins(qEnvironmentVariable("VELAPP_PLUGIN_DIR"));
    for (const PluginSpec *pluginInfo : pluginInfos) {
        if (pluginInfo->hasError()) {
            *error = pluginInfo->errorString();
            return false;
        }
    }
    for (QObject *descriptor : PluginManager::instance()->allObjects()) {
        if (descriptor->objectName() == QLatin1String("TQuotationWidget"))
            g_metaId = descriptor->property("metaId").toInt();
    }
    if (g_metaId == QMetaType::UnknownType)
        *error = QStringLiteral("no TQuotationWidget descriptor");
    return g_metaId != QMetaType::UnknownType;
}

VelPluginBaseWidget *openPage()
{
    auto *page =
        qobject_cast<VelPluginBaseWidget *>(static_cast<QObject *>(QMetaType::create(g_metaId)));
    if (!page)
        return nullptr;
    page->setLoadingState(1);
    page->loadSkin(QString(qEnvironmentVariable("VELAPP_PLUGIN_DIR") + QStringLiteral("/../skin")));
    page->initPluginWidget();
    page->resize(1400, 600);
    page->show();
    return page;
}

void startVelapp(QProcess *process, const QStringList &args, bool noDisplay)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("*.debug=false"));
    if (noDisplay) {
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QString());
    }
    process->setProcessEnvironment(env);
    process->start(
        QStringLiteral(VELAPP_BINARY),
        noDisplay ? args
                  : QStringList{QStringLiteral("-platform"), QStringLiteral("offscreen")} + args);
}

VelappRun runVelapp(const QStringList &args, QProcess *started, bool noDisplay)
{
    QProcess own;
    QProcess *process = started;
    if (!process) {
        process = &own;
        startVelapp(process, args, noDisplay);
    }
    VelappRun run;
    if (!process->waitForFinished(120000)) {
        process->kill();
        process->waitForFinished();
        return run;
    }
    run.exitCode = process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
    run.out = QString::fromUtf8(process->readAllStandardOutput());
    const QRegularExpression noise(QStringLiteral("propagateSizeHints|(waited|held) \\d+ ms at "));
    const QStringList lines = QString::fromUtf8(process->readAllStandardError())
                                  .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &line : lines)
        if (!noise.match(line).hasMatch())
            run.errLines.append(line);
    return run;
}

void putEvent(int type, const QVariantMap &row)
{
    marker()->send(type, {row});
}

bool settle(int timeoutMs)
{
    // Twice: what the GUI thread ran may have put more on the bus.
    BusProbe *probe = marker();
    QDeadlineTimer deadline(timeoutMs);
    for (int round = 0; round < 2; ++round) {
        const int before = probe->events().size();
        probe->send(kMarkerEvent, {{{QStringLiteral("n"), before}}});
        while (probe->events().size() == before) {
            if (deadline.hasExpired())
                return false;
            QTest::qWait(2);
        }
        QCoreApplication::processEvents();
    }
    return true;
}

BusProbe::BusProbe(const QString &pid, const QList<int> &types)
    : VelPresenterClass(pid, nullptr, IMessageInterface::ThreadType_AllOnBus)
{
    for (int type : types)
        SubEvent(pid, QVariant(type), 1);
}

BusProbe::~BusProbe()
{
    detach();
}

void BusProbe::ProcEventMsg(QString src, QVariant type, QVariant msg)
{
    CUnPackMessageCommon unpack;
    unpack.SetUnPackMsg(msg, false);
    std::lock_guard<std::mutex> locker(m_mutex);
    m_events.append({type.toInt(), src, unpack.rows()});
}

QList<BusProbe::Event> BusProbe::events() const
{
    std::lock_guard<std::mutex> locker(m_mutex);
    return m_events;
}

QList<BusProbe::Event> BusProbe::eventsOf(int type) const
{
    QList<Event> result;
    for (const Event &event : events())
        if (event.type == type)
            result.append(event);
    return result;
}

void BusProbe::send(int type, const QList<QVariantMap> &rows)
{
    CPackMessageCommon pack;
    for (int i = 0; i < rows.size(); ++i) {
        if (i > 0)
            pack.AddRow();
        pack.AddRowVaule(rows.at(i));
    }
    auto *event = new CEventMessageCommon;
    event->SetSrcid(pluginPid());
    event->SetType(QVariant(type));
    event->SetMsg(pack.GetPackedMsg(false));
    PutEvent(pluginPid(), event);
}

} // namespace Fixture
