// The feed's edge under load: one TCP client sends JSON lines to velapp's
// listening feed as fast as the socket takes them, over the 1,300 listed
// options, while one board of 250 of them is shown. Figures: ticks/s
// accepted, the GUI thread's busy share, how far the board is behind the
// feed (a tick's arrival against the moment its row showed it) and RSS
// growth. With --unknown N the client sends N distinct unlisted symbols
// instead, and the figure is RSS growth. With --velapp PATH the same client
// feeds that velapp binary, which then gets SIGTERM: how long it takes to
// quit, and whether its dump shows every option's last tick.

#include "benchmarket.h"
#include "benchpage.h"
#include "benchreport.h"
#include "benchstats.h"
#include "guibusymeter.h"
#include "processmemory.h"

#include "feed/feedthread.h"
#include "feed/listenfeed.h"

#include "businessdatamanager/businessdatainterface.h"
#include "veldefine/velconstants.h"
#include "velwidget/veltreemodel.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace {

constexpr int kRing = 2000; // ticks of a symbol told apart by their price

void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double priceOf(int seq)
{
    return (1000 + seq % kRing) / 10000.0;
}

// Writes lines made by next() to 127.0.0.1:port as fast as the socket
// takes them, until stopped or next() returns false.
class Client
{
public:
    using Next = std::function<bool(char *line, int size, int *length)>;

    Client(quint16 port, Next next)
        : m_thread([this, port, next] { run(port, next); })
    {}
    ~Client() { stop(); }
    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    bool failed() const { return m_failed; }

private:
    void run(quint16 port, const Next &next)
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
            m_failed = true;
            if (fd >= 0)
                ::close(fd);
            return;
        }
        std::vector<char> buffer(64 * 1024);
        bool more = true;
        while (!m_stop && more) {
            size_t used = 0;
            int length = 0;
            while (used + 1024 < buffer.size() &&
                   (more = next(buffer.data() + used, 1024, &length)))
                used += size_t(length);
            for (size_t sent = 0; sent < used && !m_stop;) {
                const ssize_t n = ::send(fd, buffer.data() + sent, used - sent, MSG_NOSIGNAL);
                if (n <= 0) {
                    m_failed = true;
                    m_stop = true;
                    break;
                }
                sent += size_t(n);
            }
        }
        ::close(fd);
    }

    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_failed{false};
    std::thread m_thread;
};

// When each shown tick arrived, and how long its row took to show it.
class LagProbe : public QObject
{
public:
    LagProbe(VelTreeModel *model, const QStringList &symbols,
             const QHash<QString, BenchPage::Place> &places)
        : m_model(model)
        , m_arrivals(size_t(symbols.size()) * kRing)
    {
        m_clock.start();
        for (int i = 0; i < symbols.size(); ++i) {
            m_indexBySymbol.insert(symbols.at(i), i);
            const BenchPage::Place place = places.value(symbols.at(i));
            m_indexByPlace.insert(place.identity + QLatin1Char(place.call ? 'C' : 'P'), i);
        }
        connect(model, &VelTreeModel::dataChanged, this, &LagProbe::onDataChanged);
    }

    // Feed thread: tick arrived (the bench sends only ticks the host accepts).
    void arrived(const QVariantMap &tick)
    {
        const int index =
            m_indexBySymbol.value(tick.value(QStringLiteral("Symbol")).toString(), -1);
        if (index < 0)
            return;
        const int seq =
            int(std::lround(tick.value(QStringLiteral("LastPrice")).toDouble() * 10000)) - 1000;
        if (seq >= 0 && seq < kRing)
            m_arrivals[size_t(index) * kRing + size_t(seq)].store(m_clock.nsecsElapsed(),
                                                                  std::memory_order_relaxed);
    }
    QVector<double> takeLags()
    {
        QVector<double> lags;
        lags.swap(m_lags);
        return lags;
    }
    quint64 unmatched() const { return m_unmatched; }

private:
    void onDataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight)
    {
        const auto spans = [&](int column) {
            return topLeft.column() <= column && bottomRight.column() >= column;
        };
        const int column = spans(2) ? 2 : (spans(12) ? 12 : -1);
        if (column < 0)
            return;
        const qint64 now = m_clock.nsecsElapsed();
        const Row row = m_model->rowData(topLeft);
        const int index = m_indexByPlace.value(
            m_model->identityOf(row) + QLatin1Char(column == 2 ? 'C' : 'P'), -1);
        const QVariant last = row.value(column).value(VelConst::RoleUser1);
        const int seq = int(std::lround(last.toDouble() * 10000)) - 1000;
        if (index < 0 || !last.isValid() || seq < 0 || seq >= kRing) {
            ++m_unmatched;
            return;
        }
        const qint64 at =
            m_arrivals[size_t(index) * kRing + size_t(seq)].load(std::memory_order_relaxed);
        if (at <= 0) {
            ++m_unmatched;
            return;
        }
        m_lags.append((now - at) / 1e6);
    }

    VelTreeModel *m_model;
    QElapsedTimer m_clock;
    QHash<QString, int> m_indexBySymbol; // read-only once built
    QHash<QString, int> m_indexByPlace;
    std::vector<std::atomic<qint64>> m_arrivals;
    QVector<double> m_lags;
    quint64 m_unmatched = 0;
};

qint64 rssKbOf(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

// The last prices (cells 2 and 12) of every strike row of every page.
QVector<double> shownLastPrices(const QString &dumpPath)
{
    QFile file(dumpPath);
    QVector<double> prices;
    if (!file.open(QIODevice::ReadOnly))
        return prices;
    std::function<void(const QJsonArray &)> walk = [&](const QJsonArray &rows) {
        for (const QJsonValue &row : rows) {
            const QJsonObject cells = row.toObject().value(QStringLiteral("cells")).toObject();
            if (cells.value(QStringLiteral("7")).toObject().value(QStringLiteral("256")) !=
                QJsonValue(QStringLiteral("ALL_PRICE"))) {
                for (const char *column : {"2", "12"}) {
                    const QJsonValue last =
                        cells.value(QLatin1String(column)).toObject().value(QStringLiteral("257"));
                    if (!last.isUndefined())
                        prices << last.toDouble(-1);
                }
            }
            walk(row.toObject().value(QStringLiteral("children")).toArray());
        }
    };
    const QJsonArray pages =
        QJsonDocument::fromJson(file.readAll()).object().value(QStringLiteral("pages")).toArray();
    for (const QJsonValue &page : pages)
        walk(page.toObject().value(QStringLiteral("rows")).toArray());
    return prices;
}

// CPU time (user + system) of this process's thread named name, in ms.
double threadCpuMs(const QByteArray &name)
{
    const QStringList tasks =
        QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &task : tasks) {
        QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(task));
        if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != name)
            continue;
        QFile stat(QStringLiteral("/proc/self/task/%1/stat").arg(task));
        if (!stat.open(QIODevice::ReadOnly))
            return 0;
        const QByteArray text = stat.readAll();
        // The fields after the command's closing parenthesis; utime and stime are 14 and 15.
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        const double ticks = fields.value(11).toDouble() + fields.value(12).toDouble();
        return ticks * 1000.0 / double(sysconf(_SC_CLK_TCK));
    }
    return 0;
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace

int main(int argc, char *argv[])
{
    BenchPage::prepareProcess();
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("One TCP client at full speed into the feed."));
    parser.addHelpOption();
    const QCommandLineOption secondsOption(QStringLiteral("seconds"),
                                           QStringLiteral("Measured seconds (default 15)."),
                                           QStringLiteral("s"), QStringLiteral("15"));
    const QCommandLineOption unknownOption(
        QStringLiteral("unknown"),
        QStringLiteral("Sends n distinct symbols the reference data do not list instead."),
        QStringLiteral("n"));
    const QCommandLineOption velappOption(
        QStringLiteral("velapp"), QStringLiteral("Feeds that velapp binary and sends it SIGTERM."),
        QStringLiteral("path"));
    parser.addOptions({secondsOption, unknownOption, velappOption});
    parser.process(app);
    const int seconds = qMax(1, parser.value(secondsOption).toInt());

    BenchReport report(QStringLiteral("bench_feed"));
    report.machine();
    const QList<QVariantMap> records = BenchMarket::listedMarket();
    QStringList symbols;
    for (const BenchMarket::Underlying &fund : BenchMarket::listedUnderlyings())
        symbols << BenchMarket::optionSymbols(records, fund.code);
    std::atomic<int> index{0};
    std::atomic<int> finalRound{0}; // set: every symbol's price from now on
    int seq = 0;
    const auto nextLine = [&](char *line, int size, int *length) {
        const int i = index.load(std::memory_order_relaxed);
        const double last = finalRound.load() ? 0.0777 : priceOf(seq);
        *length = std::snprintf(
            line, size_t(size),
            "{\"type\":\"MDOPTIONRECORD\",\"Symbol\":\"%s\",\"LastPrice\":%.4f,"
            "\"Buy1Price\":%.4f,\"Sell1Price\":%.4f,\"PreSettlePrice\":0.08,"
            "\"PreClosePrice\":0.081,\"OpenInterest\":120000,\"MaxPx\":2.5,\"MinPx\":0.0001}\n",
            symbols.at(i).toLatin1().constData(), last, last - 0.0001, last + 0.0001);
        if (i + 1 == symbols.size()) {
            index.store(0, std::memory_order_relaxed);
            ++seq;
        } else {
            index.store(i + 1, std::memory_order_relaxed);
        }
        return true;
    };

    if (parser.isSet(velappOption)) {
        QTemporaryDir dir;
        const QString chain = dir.filePath(QStringLiteral("chain.json"));
        const QString dump = dir.filePath(QStringLiteral("dump.json"));
        QVariantList list;
        for (const QVariantMap &record : records)
            list << record;
        QFile file(chain);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(QJsonDocument(QJsonArray::fromVariantList(list)).toJson()) < 0) {
            report.line(QStringLiteral("cannot write ") + chain);
            return 1;
        }
        file.close();
        const quint16 port = freePort();
        QProcess velapp;
        velapp.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        velapp.start(parser.value(velappOption),
                     {"-platform", "offscreen", "--securities", chain, "--listen",
                      QString::number(port), "--dump", dump});
        std::unique_ptr<Client> client;
        QElapsedTimer wait;
        wait.start();
        while (wait.elapsed() < 30000) {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, port);
            if (probe.waitForConnected(500))
                break;
            runFor(200);
        }
        runFor(2000); // the reference data are in and the board shows
        client = std::make_unique<Client>(port, nextLine);
        runFor(1000);
        const qint64 rssBefore = rssKbOf(velapp.processId());
        qint64 rssPeak = rssBefore;
        for (int s = 0; s < seconds * 4; ++s) {
            runFor(250);
            rssPeak = qMax(rssPeak, rssKbOf(velapp.processId()));
        }
        // Long enough for the final price to pass the socket buffers' backlog.
        finalRound = 1;
        runFor(4000);
        QElapsedTimer quit;
        quit.start();
        ::kill(pid_t(velapp.processId()), SIGTERM);
        const bool ended = velapp.waitForFinished(30000);
        const double quitMs = quit.nsecsElapsed() / 1e6;
        client->stop();
        const QVector<double> shown = shownLastPrices(dump);
        const int stale = int(std::count_if(shown.begin(), shown.end(), [](double price) {
            return std::abs(price - 0.0777) > 1e-9;
        }));
        report.line(QStringLiteral("velapp: %1 s at full speed, then SIGTERM: %2, exit code %3; "
                                   "%4 last prices in the dump, %5 not the final tick")
                        .arg(seconds)
                        .arg(ended ? QStringLiteral("ended") : QStringLiteral("did not end"))
                        .arg(velapp.exitCode())
                        .arg(shown.size())
                        .arg(stale));
        const double growthMb = (rssPeak - rssBefore) / 1024.0;
        report.result(QStringLiteral("velapp RSS growth at full speed"), growthMb,
                      QStringLiteral("MB"), QStringLiteral("< 30"),
                      BenchReport::verdict(growthMb < 30));
        report.result(QStringLiteral("SIGTERM to exit, dump written"), quitMs, QStringLiteral("ms"),
                      QStringLiteral("< 250"),
                      BenchReport::verdict(ended && velapp.exitCode() == 0 && quitMs < 250 &&
                                           !shown.isEmpty() && stale == 0));
        return 0;
    }

    BenchPage bench;
    QString error;
    if (!bench.open(QSize(1600, 900), &error)) {
        report.line(QStringLiteral("cannot open the page: ") + error);
        return 1;
    }
    bench.loadReferenceData(records);
    const QStringList shown = symbols.mid(0, 250);
    VelTreeModel *model = bench.model();
    const QHash<QString, BenchPage::Place> places =
        bench.places(BenchMarket::category(QStringLiteral("SH")));
    if (!BenchPage::waitFor([&] {
            return model->indexOfIdentity(places.value(shown.first()).identity, 2).isValid();
        })) {
        report.line(QStringLiteral("the board did not show its chain"));
        return 1;
    }
    LagProbe probe(model, shown, places);

    const quint16 port = freePort();
    auto listen = std::make_unique<ListenFeed>();
    if (!listen->listen(port, &error)) {
        report.line(error);
        return 1;
    }
    // The arrival is noted before the tick enters the host: the board may
    // show it before the feed thread runs again.
    FeedThread feed([&probe](const QString &kind, const QVariantMap &tick, QString *fault) {
        probe.arrived(tick);
        return BusinessDataInterface::PublishQuotation(kind, tick, fault);
    });
    feed.start(std::move(listen));
    runFor(500);

    if (parser.isSet(unknownOption)) {
        const int count = qMax(1, parser.value(unknownOption).toInt());
        const auto before = BusinessDataInterface::Counts();
        const qint64 rssBefore = ProcessMemory::rssKb();
        int next = 0;
        Client client(port, [&next, count](char *line, int size, int *length) {
            if (next >= count)
                return false;
            *length = std::snprintf(line, size_t(size),
                                    "{\"type\":\"MDOPTIONRECORD\",\"Symbol\":\"U%07d.SH\","
                                    "\"LastPrice\":0.1234,\"OpenInterest\":100}\n",
                                    next++);
            return true;
        });
        QElapsedTimer wall;
        wall.start();
        BenchPage::waitFor(
            [&] {
                return BusinessDataInterface::Counts().unknownSymbols - before.unknownSymbols >=
                       quint64(count);
            },
            120000);
        const double elapsed = wall.nsecsElapsed() / 1e9;
        client.stop();
        runFor(500);
        const quint64 dropped =
            BusinessDataInterface::Counts().unknownSymbols - before.unknownSymbols;
        const double growthMb = (ProcessMemory::rssKb() - rssBefore) / 1024.0;
        report.line(QStringLiteral("%1 distinct unlisted symbols sent; %2 dropped in %3 s")
                        .arg(count)
                        .arg(dropped)
                        .arg(elapsed, 0, 'f', 1));
        report.result(QStringLiteral("RSS growth, unlisted symbols"), growthMb,
                      QStringLiteral("MB"), QStringLiteral("< 5"),
                      BenchReport::verdict(growthMb < 5 && dropped >= quint64(count)));
        feed.stop();
        return 0;
    }

    Client client(port, nextLine);
    runFor(1000); // the connection is up and the board ticks
    probe.takeLags();
    const quint64 acceptedBefore = feed.publishedCount();
    const auto countsBefore = BusinessDataInterface::Counts();
    const qint64 rssBefore = ProcessMemory::rssKb();
    const double feedCpuBefore = threadCpuMs("velapp feed");
    GuiBusyMeter busy;
    QElapsedTimer wall;
    wall.start();
    qint64 rssPeak = rssBefore;
    for (int s = 0; s < seconds * 4; ++s) {
        runFor(250);
        rssPeak = qMax(rssPeak, ProcessMemory::rssKb());
    }
    const double elapsed = wall.nsecsElapsed() / 1e9;
    const double busyShare = busy.busyPercent();
    const quint64 accepted = feed.publishedCount() - acceptedBefore;
    const double feedCpuMs = threadCpuMs("velapp feed") - feedCpuBefore;
    const double guiCpu = busy.cpuPercent();
    const auto countsAfter = BusinessDataInterface::Counts();
    QVector<double> lags = probe.takeLags();
    client.stop();
    QElapsedTimer quit;
    quit.start();
    feed.stop();
    const double stopMs = quit.nsecsElapsed() / 1e6;

    const double rate = accepted / elapsed;
    const double mergedShare = countsAfter.received > countsBefore.received
                                   ? 100.0 * double(countsAfter.merged - countsBefore.merged) /
                                         double(countsAfter.received - countsBefore.received)
                                   : 0;
    std::sort(lags.begin(), lags.end());
    const double maxLag = lags.isEmpty() ? -1 : lags.last();
    const double growthMb = (rssPeak - rssBefore) / 1024.0;
    report.line(QStringLiteral("%1 s, %2 ticks accepted, %3 % of them merged before delivery, %4 "
                               "row changes of the shown board measured (%5 unmatched)%6")
                    .arg(elapsed, 0, 'f', 1)
                    .arg(accepted)
                    .arg(mergedShare, 0, 'f', 1)
                    .arg(lags.size())
                    .arg(probe.unmatched())
                    .arg(client.failed() ? QStringLiteral("; the client failed") : QString()));
    report.result(QStringLiteral("ticks accepted, one client"), rate, QStringLiteral("ticks/s"),
                  QStringLiteral(">= 100000"), BenchReport::verdict(rate >= 100000));
    // On a shared machine the wall-clock rate is the machine's; the feed
    // thread's own CPU time per tick is what the code costs.
    const double usPerTick = accepted ? feedCpuMs * 1000.0 / double(accepted) : 0;
    report.result(QStringLiteral("feed thread CPU per accepted tick"), usPerTick,
                  QStringLiteral("us"));
    report.result(QStringLiteral("ticks/s one feed core would accept"),
                  usPerTick > 0 ? 1e6 / usPerTick : 0, QStringLiteral("ticks/s"),
                  QStringLiteral(">= 100000"),
                  BenchReport::verdict(usPerTick > 0 && 1e6 / usPerTick >= 100000));
    report.result(QStringLiteral("GUI thread busy meanwhile"), busyShare, QStringLiteral("%"),
                  QStringLiteral("< 5"), BenchReport::verdict(busyShare < 5));
    report.result(QStringLiteral("GUI thread CPU meanwhile"), guiCpu, QStringLiteral("%"));
    report.result(QStringLiteral("board behind the feed, p99"),
                  lags.isEmpty() ? -1 : BenchStats::percentile(lags, 99), QStringLiteral("ms"));
    report.result(QStringLiteral("board behind the feed, worst"), maxLag, QStringLiteral("ms"),
                  QStringLiteral("<= 100"), BenchReport::verdict(!lags.isEmpty() && maxLag <= 100));
    report.result(QStringLiteral("RSS growth at full speed"), growthMb, QStringLiteral("MB"),
                  QStringLiteral("< 30"), BenchReport::verdict(growthMb < 30));
    report.result(QStringLiteral("feed stopped and drained"), stopMs, QStringLiteral("ms"));
    return 0;
}
