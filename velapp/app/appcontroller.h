#pragma once

#include "appoptions.h"
#include "files/actionsfile.h"
#include "files/replayfile.h"
#include "session/buseventrecorder.h"

#include <QList>
#include <QObject>
#include <QVariantMap>

#include <memory>

class DeskLayout;
class FeedThread;
class LinkedPages;
class ListenFeed;
class TickRecorder;
class MainWindow;
class SessionRunner;
class SignalQuit;
class VelPluginBaseWidget;
class VelPresenterClass;

// Runs velapp: checks the input files, opens the window with its pages,
// loads the reference data, starts the feed and, on quit, writes what the
// command line asked for.
class AppController : public QObject
{
    Q_OBJECT
public:
    explicit AppController(const AppOptions &options, QObject *parent = nullptr);
    ~AppController() override;

    // Takes the files' contents read before (or reads them), binds the
    // --listen port and opens the recording; no window exists yet. False
    // with a one-line error.
    bool prepare(AppInputs inputs, QString *error);
    bool prepare(QString *error);
    // Opens the window; the rest follows from the event loop.
    void start();
    // 0, or 1 when an output file could not be written.
    int exitCode() const { return m_exitCode; }

    MainWindow *window() const { return m_window.get(); }
    FeedThread *feed() const { return m_feed.get(); }

signals:
    // The reference data are in and the base-data event went out.
    void baseDataLoaded();

private:
    void loadPlugins(const QString &dir);
    void openDefaultPages();
    void loadBaseData();
    // The base-data event; to everyone, or to a page opened after the load.
    void sendBaseDataLoaded(VelPluginBaseWidget *page);
    void startFeed();
    // Everything the feed published is on the pages, for what quit writes.
    void drainFeed();
    void finish();
    bool writeOutputs();
    bool writeDump(const QString &path, QString *error) const;
    bool writeScreenshot(const QString &path, QString *error) const;
    void afterLastAction();
    QString applicationDir() const;

    AppOptions m_options;
    QList<QVariantMap> m_securities;
    QList<ReplayTick> m_replay;
    QList<SessionAction> m_actions;
    BusEventRecorder m_recorder;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<DeskLayout> m_layout;
    std::unique_ptr<FeedThread> m_feed;
    std::unique_ptr<ListenFeed> m_listen; // bound in prepare(), started with the feed
    std::unique_ptr<TickRecorder> m_tickRecorder;
    std::unique_ptr<VelPresenterClass> m_hostPresenter;
    std::unique_ptr<LinkedPages> m_linkedPages;
    bool m_baseDataLoaded = false;
    std::unique_ptr<SessionRunner> m_session;
    std::unique_ptr<SignalQuit> m_signalQuit;
    bool m_finished = false;
    int m_exitCode = 0;
};
