#include "feed/listenfeed.h"

#include "feed/feedlogging.h"
#include "files/replayfile.h"

#include <QHostAddress>
#include <QSocketNotifier>
#include <QTcpSocket>
#include <QTimer>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

ListenFeed::ListenFeed()
    : m_acceptPause(new QTimer(this))
    , m_clientCount(std::make_shared<std::atomic<int>>(0))
{
    m_acceptPause->setSingleShot(true);
    m_acceptPause->setInterval(acceptPauseMs);
    connect(m_acceptPause, &QTimer::timeout, this, [this] {
        if (m_notifier)
            m_notifier->setEnabled(true);
        accept();
    });
}

ListenFeed::~ListenFeed()
{
    for (auto it = m_clients.cbegin(); it != m_clients.cend(); ++it)
        it.key()->disconnect(this);
    m_clientCount->store(0);
    delete m_notifier;
    if (m_listenFd >= 0)
        ::close(m_listenFd);
}

// The socket is our own rather than a QTcpServer's: accept() then gives the
// peer's address even for a connection reset meanwhile, and running out of
// descriptors can pause accepting instead of waking the loop again at once.
bool ListenFeed::listen(quint16 port, QString *error)
{
    const auto fail = [&](const char *what) {
        *error = QStringLiteral("--listen: cannot listen on 127.0.0.1:%1: %2 (%3)")
                     .arg(port)
                     .arg(QString::fromLocal8Bit(std::strerror(errno)), QLatin1String(what));
        if (m_listenFd >= 0)
            ::close(m_listenFd);
        m_listenFd = -1;
        return false;
    };
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_listenFd < 0)
        return fail("socket");
    const int on = 1;
    ::setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    // What waits unread in the kernel is ticks the board does not show yet:
    // a small buffer (clients inherit it) keeps that wait short when a client
    // is faster than velapp; the client then waits, not the board.
    const int receiveBuffer = receiveBufferBytes;
    ::setsockopt(m_listenFd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(m_listenFd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0)
        return fail("bind");
    if (::listen(m_listenFd, SOMAXCONN) != 0)
        return fail("listen");
    m_port = port;
    return true;
}

void ListenFeed::start()
{
    qCInfo(lcFeed) << "listening on 127.0.0.1:" << m_port;
    if (m_listenFd < 0)
        return;
    m_notifier = new QSocketNotifier(m_listenFd, QSocketNotifier::Read);
    connect(m_notifier, &QSocketNotifier::activated, this, &ListenFeed::accept);
    accept(); // clients that came before the feed thread ran
}

void ListenFeed::accept()
{
    if (m_listenFd < 0 || m_acceptPause->isActive())
        return;
    for (;;) {
        sockaddr_in peer{};
        socklen_t peerSize = sizeof peer;
        const int fd = ::accept4(m_listenFd, reinterpret_cast<sockaddr *>(&peer), &peerSize,
                                 SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                if (!m_warnedDescriptors) {
                    m_warnedDescriptors = true;
                    qCWarning(lcFeed).noquote()
                        << QStringLiteral("cannot accept clients: %1; waiting for some to leave")
                               .arg(QString::fromLocal8Bit(std::strerror(errno)));
                }
                m_notifier->setEnabled(false);
                m_acceptPause->start();
            }
            return; // EAGAIN: none waiting
        }
        Client client;
        client.address = QHostAddress(reinterpret_cast<const sockaddr *>(&peer)).toString();
        client.name = QStringLiteral("%1:%2").arg(client.address).arg(ntohs(peer.sin_port));
        auto *socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(fd)) {
            qCWarning(lcFeed).noquote() << QStringLiteral("client %1: %2; not accepted")
                                               .arg(client.name, socket->errorString());
            ::close(fd);
            delete socket;
            continue;
        }
        qCInfo(lcFeed).noquote() << "client" << client.name << "connected";
        m_clients.insert(socket, client);
        m_clientCount->store(m_clients.size());
        // Qt's own buffer stays bounded too; the rest waits in the kernel.
        socket->setReadBufferSize(maxLineBytes);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { left(socket); });
        read(socket);
    }
}

void ListenFeed::read(QTcpSocket *socket)
{
    auto it = m_clients.find(socket);
    if (it == m_clients.end())
        return;
    while (socket->bytesAvailable() > 0) {
        Client &client = it.value();
        client.pending += socket->read(maxLineBytes);
        int start = 0;
        // Lines are read in place: pending does not change while they are.
        for (int end; (end = client.pending.indexOf('\n', start)) >= 0; start = end + 1) {
            if (!handleLine(
                    socket, &client,
                    QByteArray::fromRawData(client.pending.constData() + start, end - start)))
                return;
        }
        client.pending.remove(0, start);
        if (client.pending.size() > maxLineBytes) {
            warn(&client, QStringLiteral("line %1 is longer than %2 bytes; client dropped")
                              .arg(client.line + 1)
                              .arg(maxLineBytes));
            drop(socket);
            return;
        }
    }
}

bool ListenFeed::handleLine(QTcpSocket *socket, Client *client, const QByteArray &line)
{
    ++client->line;
    if (line.size() > maxLineBytes) {
        warn(client, QStringLiteral("line %1 is longer than %2 bytes; client dropped")
                         .arg(client->line)
                         .arg(maxLineBytes));
        drop(socket);
        return false;
    }
    const QByteArray text = line.trimmed();
    if (text.isEmpty())
        return true;
    ReplayTick tick;
    QString fault;
    if (!ReplayFile::parseLiveTick(text, &tick, &fault)) {
        warn(client, QStringLiteral("line %1: %2; skipped").arg(client->line).arg(fault));
        return true;
    }
    publishTick(client, tick.kind, tick.fields);
    return true;
}

void ListenFeed::publishTick(Client *client, const QString &kind, const QVariantMap &fields)
{
    QString fault;
    switch (publish(kind, fields, &fault)) {
    case Admission::Accepted:
        break;
    case Admission::UnknownSymbol:
        // Said once an address; the status bar counts the rest.
        if (!m_warnedUnknown.contains(client->address) && m_warnedUnknown.size() < 1000) {
            m_warnedUnknown.insert(client->address);
            warn(client, QStringLiteral("line %1: %2; ticks of symbols not listed are dropped")
                             .arg(client->line)
                             .arg(fault));
        }
        break;
    case Admission::Refused:
        warn(client, QStringLiteral("line %1: %2; skipped").arg(client->line).arg(fault));
        break;
    }
}

void ListenFeed::left(QTcpSocket *socket)
{
    // Lines that arrived complete before the cut still count.
    read(socket);
    auto it = m_clients.find(socket);
    if (it == m_clients.end())
        return;
    // A last line needs no newline: the close ends it.
    const QByteArray last = it->pending.trimmed();
    if (!last.isEmpty()) {
        ++it->line;
        ReplayTick tick;
        QString fault;
        if (ReplayFile::parseLiveTick(last, &tick, &fault))
            publishTick(&it.value(), tick.kind, tick.fields);
        else
            warn(&it.value(), QStringLiteral("left in the middle of line %1; that line is dropped")
                                  .arg(it->line));
    }
    qCInfo(lcFeed).noquote() << "client" << it->name << "left";
    drop(socket);
}

void ListenFeed::drop(QTcpSocket *socket)
{
    m_clients.remove(socket);
    m_clientCount->store(m_clients.size());
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
    // A descriptor came free: a waiting client may come in.
    if (m_acceptPause->isActive()) {
        m_acceptPause->stop();
        QTimer::singleShot(0, this, [this] {
            if (m_notifier)
                m_notifier->setEnabled(true);
            accept();
        });
    }
}

void ListenFeed::warn(Client *client, const QString &text)
{
    if (m_warnings.allow(client->address))
        qCWarning(lcFeed).noquote() << QStringLiteral("client %1: %2").arg(client->name, text);
}
