#pragma once

#include <QObject>

class QSocketNotifier;

// SIGINT and SIGTERM quit the application as its menu's quit does: the
// handler only writes a byte to a pipe, and the event loop reads it and
// calls QCoreApplication::quit(), so everything done on quit still runs.
class SignalQuit : public QObject
{
    Q_OBJECT
public:
    explicit SignalQuit(QObject *parent = nullptr);
    ~SignalQuit() override;

    bool isInstalled() const { return m_notifier != nullptr; }

private:
    void readSignal();

    QSocketNotifier *m_notifier = nullptr;
};
