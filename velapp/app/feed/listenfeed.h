#pragma once

#include "feed/feedworker.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <atomic>
#include <memory>

class QTcpServer;
class QTcpSocket;

// Ticks from clients on 127.0.0.1, one JSON object a line in the replay
// format ("t" ignored), each published as its line arrives.
class ListenFeed : public FeedWorker
{
    Q_OBJECT
public:
    ListenFeed();
    ~ListenFeed() override;

    // Binds the port on the calling thread, so a port in use is refused
    // before any window opens; the worker then moves to the feed thread.
    bool listen(quint16 port, QString *error);
    // Clients connected now; still readable once the worker is gone.
    std::shared_ptr<const std::atomic<int>> clientCount() const { return m_clientCount; }

    void start() override;

    static constexpr int maxLineBytes = 64 * 1024;
    // Faults shown per client; a client sending only garbage cannot flood stderr.
    static constexpr int maxWarnings = 20;

private:
    struct Client
    {
        QString name;       // peer address:port
        QByteArray pending; // the line not yet ended
        int line = 0;
        int warnings = 0;
    };

    void accept();
    void read(QTcpSocket *socket);
    // False when the line was too long and the client has been dropped.
    bool handleLine(QTcpSocket *socket, Client *client, const QByteArray &line);
    void left(QTcpSocket *socket);
    void drop(QTcpSocket *socket);
    void warn(Client *client, const QString &text);

    QTcpServer *m_server;
    QHash<QTcpSocket *, Client> m_clients;
    std::shared_ptr<std::atomic<int>> m_clientCount;
};
