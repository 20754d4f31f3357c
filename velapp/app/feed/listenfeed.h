#pragma once

#include "feed/feedworker.h"
#include "feed/warninglimit.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>

#include <atomic>
#include <memory>

class QSocketNotifier;
class QTcpSocket;
class QTimer;

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
    quint16 port() const { return m_port; }
    // Clients connected now; still readable once the worker is gone.
    std::shared_ptr<const std::atomic<int>> clientCount() const { return m_clientCount; }

    void start() override;

    static constexpr int maxLineBytes = 64 * 1024;
    // Faults shown per client address a minute; garbage cannot flood stderr.
    static constexpr int maxWarnings = 20;
    // A client's bytes the kernel holds for us (it doubles this).
    static constexpr int receiveBufferBytes = 64 * 1024;
    // Out of descriptors, accepting waits this long rather than spin.
    static constexpr int acceptPauseMs = 1000;

private:
    struct Client
    {
        QString name;       // peer address:port, as accept() gave it
        QString address;    // peer address: what warnings are counted by
        QByteArray pending; // the line not yet ended
        int line = 0;
    };

    void accept();
    void read(QTcpSocket *socket);
    // False when the line was too long and the client has been dropped.
    bool handleLine(QTcpSocket *socket, Client *client, const QByteArray &line);
    void publishTick(Client *client, const QString &kind, const QVariantMap &fields);
    void left(QTcpSocket *socket);
    void drop(QTcpSocket *socket);
    void warn(Client *client, const QString &text);

    int m_listenFd = -1;
    quint16 m_port = 0;
    QSocketNotifier *m_notifier = nullptr;
    QTimer *m_acceptPause;
    bool m_warnedDescriptors = false;
    QHash<QTcpSocket *, Client> m_clients;
    std::shared_ptr<std::atomic<int>> m_clientCount;
    WarningLimit m_warnings{maxWarnings};
    QSet<QString> m_warnedUnknown; // addresses told of an unlisted symbol
};
