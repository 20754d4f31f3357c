#include "feed/listenfeed.h"

#include "feed/feedlogging.h"
#include "files/replayfile.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

ListenFeed::ListenFeed()
    : m_server(new QTcpServer(this))
    , m_clientCount(std::make_shared<std::atomic<int>>(0))
{
    connect(m_server, &QTcpServer::newConnection, this, &ListenFeed::accept);
}

ListenFeed::~ListenFeed()
{
    for (auto it = m_clients.cbegin(); it != m_clients.cend(); ++it)
        it.key()->disconnect(this);
    m_clientCount->store(0);
}

bool ListenFeed::listen(quint16 port, QString *error)
{
    if (m_server->listen(QHostAddress::LocalHost, port))
        return true;
    *error = QStringLiteral("--listen: cannot listen on 127.0.0.1:%1: %2")
                 .arg(port)
                 .arg(m_server->errorString());
    return false;
}

void ListenFeed::start()
{
    qCInfo(lcFeed) << "listening on 127.0.0.1:" << m_server->serverPort();
    accept(); // clients that came before the feed thread ran
}

void ListenFeed::accept()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        Client client;
        client.name =
            QStringLiteral("%1:%2").arg(socket->peerAddress().toString()).arg(socket->peerPort());
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
        for (int end; (end = client.pending.indexOf('\n', start)) >= 0; start = end + 1) {
            if (!handleLine(socket, &client, client.pending.mid(start, end - start)))
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
        if (++client->warnings <= maxWarnings) {
            warn(client, QStringLiteral("line %1: %2; skipped%3")
                             .arg(client->line)
                             .arg(fault, client->warnings == maxWarnings
                                             ? QStringLiteral(" (further faults not shown)")
                                             : QString()));
        }
        return true;
    }
    publish(tick.kind, tick.fields);
    return true;
}

void ListenFeed::left(QTcpSocket *socket)
{
    // Lines that arrived complete before the cut still count.
    read(socket);
    auto it = m_clients.find(socket);
    if (it == m_clients.end())
        return;
    if (!it->pending.trimmed().isEmpty())
        warn(&it.value(), QStringLiteral("left in the middle of line %1; that line is dropped")
                              .arg(it->line + 1));
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
}

void ListenFeed::warn(Client *client, const QString &text)
{
    qCWarning(lcFeed).noquote() << QStringLiteral("client %1: %2").arg(client->name, text);
}
