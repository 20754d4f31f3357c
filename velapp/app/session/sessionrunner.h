#pragma once

#include "files/actionsfile.h"
#include "files/replayfile.h"

#include <QElapsedTimer>
#include <QObject>

#include <functional>

class BusEventRecorder;
class MainWindow;
class QTimer;
class VelPluginBaseWidget;

// Plays an --actions session through the window's real widgets, on the
// replay's clock (t = 0 when start() is called, with the base-data event).
class SessionRunner : public QObject
{
    Q_OBJECT
public:
    // Writes a file at an action's time; false with a one-line reason.
    using Writer = std::function<bool(const QString &path, QString *error)>;

    // ticks: replayed ticks this runner publishes on its own clock, so that
    // they interleave exactly with the actions; empty when the feed is
    // another source.
    SessionRunner(const QList<SessionAction> &actions, const QList<ReplayTick> &ticks,
                  MainWindow *window, BusEventRecorder *recorder, Writer dump, Writer screenshot,
                  QObject *parent = nullptr);
    ~SessionRunner() override;

    // Where the replayed ticks go; the host's quotation bus by default.
    void setPublisher(std::function<void(const QString &kind, const QVariantMap &tick)> publisher)
    {
        m_publish = std::move(publisher);
    }

    void start();
    quint64 publishedCount() const { return quint64(m_nextTick); }

signals:
    // The last action other than quit has run.
    void actionsDone();

private:
    void step();
    void run(const SessionAction &action);
    bool perform(const SessionAction &action, QString *error);
    VelPluginBaseWidget *showPage(const SessionAction &action, QString *error);
    bool clickCell(VelPluginBaseWidget *page, const SessionAction &action, QString *error);
    bool filter(VelPluginBaseWidget *page, const SessionAction &action, QString *error);
    bool keep(const SessionAction &action, QString *error);
    void report(int line, const QString &text);

    QList<SessionAction> m_actions;
    QList<ReplayTick> m_ticks;
    MainWindow *m_window;
    BusEventRecorder *m_recorder;
    Writer m_dump;
    Writer m_screenshot;
    std::function<void(const QString &kind, const QVariantMap &tick)> m_publish;
    int m_nextAction = 0;
    int m_nextTick = 0;
    bool m_waiting = false; // for the bus to deliver before an action
    bool m_quit = false;
    QElapsedTimer m_clock;
    QTimer *m_timer;
};
