#pragma once

#include <QDockWidget>
#include <QPointer>

class QToolButton;
class VelPluginBaseWidget;

// A pane docked beside the tabs that shows the page the board's last click
// asked for, with a Keep button that copies it into a tab of its own.
class PaneDock : public QDockWidget
{
    Q_OBJECT
public:
    // kind: "chart" or "detail"; it names the dock for the saved layout.
    PaneDock(const QString &kind, const QString &title, QWidget *parent = nullptr);

    QString kind() const { return m_kind; }
    // Shows page in place of the one before (deleted), and the pane itself
    // when it was closed.
    void setPage(VelPluginBaseWidget *page);
    // The page shown; null before the first.
    VelPluginBaseWidget *page() const { return m_page; }
    // Open, with a page in it.
    bool isShowing() const;
    QToolButton *keepButton() const { return m_keep; }

signals:
    void keepRequested(VelPluginBaseWidget *page);

private:
    QString m_kind;
    QString m_title;
    QPointer<VelPluginBaseWidget> m_page;
    QToolButton *m_keep;
};
