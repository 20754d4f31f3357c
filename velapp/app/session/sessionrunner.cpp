#include "session/sessionrunner.h"

#include "pages/boardface.h"
#include "session/buseventrecorder.h"
#include "window/mainwindow.h"
#include "window/panedock.h"

#include "businessdatamanager/businessdatainterface.h"
#include "veldefine/velconstants.h"
#include "velwidget/velbusobserver.h"
#include "velwidget/velpluginbasewidget.h"
#include "velwidget/veltreemodel.h"
#include "velwidget/veltreeview.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabBar>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include <cstdio>
#include <limits>

namespace {

const QString kTBoardType = QStringLiteral("VELApp.TQuotationWidget");
// Ticks published in one go, so a burst in the replay cannot freeze the window.
const int kTicksPerStep = 1000;

// A widget a person could use: there, shown and enabled.
template<typename T> T *usable(T *w, const char *what, VelPluginBaseWidget *page, QString *error)
{
    if (!w || !w->isVisibleTo(page) || !w->isEnabled()) {
        *error = QStringLiteral("the page has no %1 to use").arg(QLatin1String(what));
        return nullptr;
    }
    return w;
}

void sendMouse(QWidget *target, QEvent::Type type, const QPoint &pos)
{
    const Qt::MouseButtons buttons =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(Qt::LeftButton);
    QMouseEvent event(type, pos, target->mapToGlobal(pos), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

// A typed text goes through the input's validator, as keystrokes do.
bool type(QLineEdit *edit, const QString &text, QString *error)
{
    edit->selectAll();
    edit->insert(text);
    if (edit->text() == text)
        return true;
    *error = QStringLiteral("%1 does not take '%2'").arg(edit->objectName(), text);
    return false;
}

} // namespace

SessionRunner::SessionRunner(const QList<SessionAction> &actions, const QList<ReplayTick> &ticks,
                             MainWindow *window, BusEventRecorder *recorder, Writer dump,
                             Writer screenshot, QObject *parent)
    : QObject(parent)
    , m_actions(actions)
    , m_ticks(ticks)
    , m_window(window)
    , m_recorder(recorder)
    , m_dump(std::move(dump))
    , m_screenshot(std::move(screenshot))
    , m_timer(new QTimer(this))
{
    m_timer->setSingleShot(true);
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &SessionRunner::step);
}

SessionRunner::~SessionRunner() = default;

void SessionRunner::start()
{
    m_clock.start();
    if (m_actions.isEmpty())
        emit actionsDone();
    step();
}

// One clock on the GUI thread drives both timelines: ticks due by an
// action's t are published first, then the action waits for the bus to
// deliver them (and for the pages' queued updates), and no later tick is
// published until the action has run.
void SessionRunner::step()
{
    if (m_waiting || m_quit)
        return;
    const qint64 now = m_clock.elapsed();
    const qint64 never = std::numeric_limits<qint64>::max();
    int published = 0;
    for (;;) {
        const qint64 tickT = m_nextTick < m_ticks.size() ? m_ticks.at(m_nextTick).t : never;
        const qint64 actionT =
            m_nextAction < m_actions.size() ? m_actions.at(m_nextAction).t : never;
        if (tickT <= now && tickT <= actionT) {
            if (published++ == kTicksPerStep) {
                m_timer->start(0);
                return;
            }
            const ReplayTick &tick = m_ticks.at(m_nextTick++);
            if (m_publish)
                m_publish(tick.kind, tick.fields);
            else
                BusinessDataInterface::PublishQuotation(tick.kind, tick.fields);
            continue;
        }
        if (actionT <= now) {
            m_waiting = true;
            VelBusObserver::whenDelivered(this, [this] {
                m_waiting = false;
                // A tick the presenter's own timer flushed is posted by now.
                QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
                run(m_actions.at(m_nextAction++));
                step();
            });
            return;
        }
        const qint64 next = qMin(tickT, actionT);
        if (next != never)
            m_timer->start(int(qMin<qint64>(next - now, std::numeric_limits<int>::max())));
        return;
    }
}

void SessionRunner::run(const SessionAction &action)
{
    QString error;
    if (!perform(action, &error))
        report(action.line, error);
    if (action.kind == SessionAction::Kind::Quit) {
        m_quit = true;
        QCoreApplication::quit();
    } else if (m_nextAction == m_actions.size()) {
        emit actionsDone();
    }
}

void SessionRunner::report(int line, const QString &text)
{
    const QByteArray out =
        QStringLiteral("velapp: actions line %1: %2\n").arg(line).arg(text).toUtf8();
    std::fputs(out.constData(), stderr);
    std::fflush(stderr);
    m_recorder->recordActionError(line, text);
}

VelPluginBaseWidget *SessionRunner::showPage(const SessionAction &action, QString *error)
{
    const QList<VelPluginBaseWidget *> pages = m_window->pages();
    if (action.page >= pages.size()) {
        *error = QStringLiteral("no page %1 (%2 open)").arg(action.page).arg(pages.size());
        return nullptr;
    }
    // What a click on the tab does.
    m_window->tabBar()->setCurrentIndex(action.page);
    return pages.at(action.page);
}

bool SessionRunner::perform(const SessionAction &action, QString *error)
{
    using Kind = SessionAction::Kind;
    switch (action.kind) {
    case Kind::Open: {
        if (action.pageKind == QLatin1String("smile")) {
            m_window->smileAction()->trigger();
            return true;
        }
        QAction *open = m_window->openAction(kTBoardType);
        if (!open || !open->isEnabled()) {
            *error = QStringLiteral("the menu offers no T-board page");
            return false;
        }
        open->trigger();
        return true;
    }
    case Kind::Dump:
        return m_dump(action.file, error);
    case Kind::Screenshot:
        return m_screenshot(action.file, error);
    case Kind::Quit:
        return true;
    case Kind::Keep:
        return keep(action, error);
    default:
        break;
    }

    VelPluginBaseWidget *page = showPage(action, error);
    if (!page)
        return false;
    switch (action.kind) {
    case Kind::Close: {
        QTabBar *tabs = m_window->tabBar();
        QWidget *close = tabs->tabButton(action.page, QTabBar::RightSide);
        if (!close)
            close = tabs->tabButton(action.page, QTabBar::LeftSide);
        auto *button = qobject_cast<QAbstractButton *>(close);
        if (!button) {
            *error = QStringLiteral("page %1 has no close button").arg(action.page);
            return false;
        }
        button->click();
        return true;
    }
    case Kind::Refresh:
        m_window->refreshAction()->trigger();
        return true;
    case Kind::Date: {
        QPushButton *button = usable(action.button < 0 ? BoardFace::allDatesButton(page)
                                                       : BoardFace::dateButton(page, action.button),
                                     "date button", page, error);
        if (!button) {
            *error = QStringLiteral("date button %1 is not shown").arg(action.button);
            return false;
        }
        button->click();
        return true;
    }
    case Kind::Category:
    case Kind::Underlying: {
        const bool category = action.kind == Kind::Category;
        QComboBox *combo = usable(
            category ? BoardFace::categorySelector(page) : BoardFace::underlyingSelector(page),
            category ? "category selector" : "underlying selector", page, error);
        if (!combo)
            return false;
        const int index = category ? action.index : combo->findData(action.symbol);
        if (index < 0 || index >= combo->count()) {
            *error = category ? QStringLiteral("no category %1 (%2 listed)")
                                    .arg(action.index)
                                    .arg(combo->count())
                              : QStringLiteral("no underlying %1 listed").arg(action.symbol);
            return false;
        }
        // The frame follows currentIndexChanged, which a pick in the list emits.
        combo->setCurrentIndex(index);
        return true;
    }
    case Kind::Click:
    case Kind::DoubleClick:
        return clickCell(page, action, error);
    case Kind::Filter:
        return filter(page, action, error);
    default:
        return true;
    }
}

bool SessionRunner::clickCell(VelPluginBaseWidget *page, const SessionAction &action,
                              QString *error)
{
    VelTreeView *view = BoardFace::table(page);
    VelTreeModel *model = view ? view->model() : nullptr;
    if (!model) {
        *error = QStringLiteral("the page has no table");
        return false;
    }
    const QModelIndex row = BoardFace::strikeRow(model, action.date, action.strike);
    const QModelIndex cell = row.sibling(row.row(), action.column);
    if (!cell.isValid()) {
        *error = QStringLiteral("no row %1 under %2").arg(action.strike, action.date);
        return false;
    }

    QTreeView *tree = view->treeView();
    tree->scrollTo(cell);
    const QRect rect = tree->visualRect(cell);
    QWidget *viewport = tree->viewport();
    if (rect.isEmpty() || !viewport->rect().contains(rect.center())) {
        *error = QStringLiteral("column %1 of row %2 is not shown")
                     .arg(action.column)
                     .arg(action.strike);
        return false;
    }
    bool reached = false;
    const QMetaObject::Connection spy =
        connect(view, &VelTreeView::clicked, this,
                [&](const QModelIndex &index) { reached = index == cell; });
    const QPoint at = rect.center();
    sendMouse(viewport, QEvent::MouseButtonPress, at);
    sendMouse(viewport, QEvent::MouseButtonRelease, at);
    if (action.kind == SessionAction::Kind::DoubleClick) {
        sendMouse(viewport, QEvent::MouseButtonDblClick, at);
        sendMouse(viewport, QEvent::MouseButtonRelease, at);
    }
    disconnect(spy);
    if (!reached) {
        *error = QStringLiteral("the click on row %1 did not reach the table").arg(action.strike);
        return false;
    }
    return true;
}

// The pane's Keep button, as a person presses it.
bool SessionRunner::keep(const SessionAction &action, QString *error)
{
    PaneDock *pane = m_window->pane(action.pane);
    QToolButton *button = pane ? pane->keepButton() : nullptr;
    if (!button || !pane->isShowing() || !button->isEnabled()) {
        *error = QStringLiteral("the %1 pane shows nothing to keep").arg(action.pane);
        return false;
    }
    button->click();
    return true;
}

bool SessionRunner::filter(VelPluginBaseWidget *page, const SessionAction &action, QString *error)
{
    // The inputs' panel stays hidden; they are reached all the same.
    QLineEdit *count = BoardFace::filterCountInput(page);
    QLineEdit *centre = BoardFace::filterCentreInput(page);
    QPushButton *apply = BoardFace::filterApplyButton(page);
    if (!count || !centre || !apply) {
        *error = QStringLiteral("the page has no strike filter");
        return false;
    }
    if (!type(count, QString::number(action.count), error) || !type(centre, action.centre, error))
        return false;
    apply->click();
    return true;
}
