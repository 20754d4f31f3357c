#include "window/desklayout.h"

#include "pages/boardface.h"
#include "pages/chartpage.h"
#include "pages/detailpage.h"
#include "pages/smilepage.h"
#include "window/mainwindow.h"
#include "window/panedock.h"

#include "velbusinessdata/businessdatabase.h"
#include "veldatabase/database.h"
#include "velwidget/velbusobserver.h"
#include "velwidget/velpluginbasewidget.h"
#include "velwidget/veltreeview.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QHeaderView>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaType>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>

#include <algorithm>

namespace {

// How long a restored board may take to show the date it was saved on.
constexpr int kDateAttempts = 60;
constexpr int kDateRetryMs = 100;
constexpr int kSteadyChecks = 5;

const QString kWindowKey = QStringLiteral("velapp/window");

QJsonObject readObject(const QString &key)
{
    return QJsonDocument::fromJson(CDataBase::GetInstance()->getSettingValue(key).toUtf8())
        .object();
}

// What the date button shows before its day count: "20261223" of "20261223(18日)".
QString dateOf(const QPushButton *button)
{
    return button->text().section(QLatin1Char('('), 0, 0).trimmed();
}

// The saved order when it is one of exactly the header's columns; else empty.
QList<int> validOrder(const QJsonArray &saved, int count)
{
    QList<int> order;
    QVector<bool> seen(count, false);
    for (const QJsonValue &v : saved) {
        const int logical = v.toInt(-1);
        if (logical < 0 || logical >= count || seen.at(logical))
            return {};
        seen[logical] = true;
        order.append(logical);
    }
    return order.size() == count ? order : QList<int>();
}

} // namespace

DeskLayout::DeskLayout(MainWindow *window, bool restore, bool save, QObject *parent)
    : QObject(parent)
    , m_window(window)
    , m_restore(restore)
    , m_save(save)
{
    connect(window, &MainWindow::pageOpened, this, &DeskLayout::adopt);
    if (!restore)
        return;
    const QJsonObject saved = readObject(kWindowKey);
    m_window->restoreGeometry(
        QByteArray::fromBase64(saved.value(QStringLiteral("geometry")).toString().toLatin1()));
    restorePanes(saved.value(QStringLiteral("panes")).toString());
    m_pages = saved.value(QStringLiteral("pages")).toArray();
    m_current = saved.value(QStringLiteral("current")).toInt();
}

// Where the panes were docked; they stay hidden until a click fills them.
void DeskLayout::restorePanes(const QString &state)
{
    if (state.isEmpty())
        return;
    m_window->restoreState(QByteArray::fromBase64(state.toLatin1()));
    for (const char *kind : {"chart", "detail"}) {
        if (PaneDock *pane = m_window->pane(QLatin1String(kind)))
            pane->hide();
    }
}

void DeskLayout::adopt(VelPluginBaseWidget *page)
{
    const QList<VelTreeView *> views = page->findChildren<VelTreeView *>();
    for (int i = 0; i < views.size(); ++i) {
        const QString key = QStringLiteral("columns/%1/%2")
                                .arg(QLatin1String(page->metaObject()->className()))
                                .arg(i);
        QHeaderView *header = views.at(i)->treeView()->header();
        if (m_restore && !m_columnOrders.contains(key)) {
            const QJsonArray saved =
                QJsonDocument::fromJson(CDataBase::GetInstance()->getSettingValue(key).toUtf8())
                    .array();
            m_columnOrders.insert(key, validOrder(saved, header->count()));
        }
        const QList<int> order = m_columnOrders.value(key);
        if (order.size() == header->count()) {
            m_ordering = true;
            for (int visual = 0; visual < order.size(); ++visual)
                header->moveSection(header->visualIndex(order.at(visual)), visual);
            m_ordering = false;
        }
        connect(header, &QHeaderView::sectionMoved, this, [this, key, header] {
            if (!m_ordering)
                rememberOrder(key, header);
        });
    }
}

void DeskLayout::rememberOrder(const QString &key, const QHeaderView *header)
{
    QList<int> order;
    QJsonArray saved;
    for (int visual = 0; visual < header->count(); ++visual) {
        order.append(header->logicalIndex(visual));
        saved.append(order.last());
    }
    m_columnOrders.insert(key, order);
    if (m_save) {
        CDataBase::GetInstance()->setSettingValue(
            key, QString::fromUtf8(QJsonDocument(saved).toJson(QJsonDocument::Compact)));
    }
}

// The page type whose registered class made page; empty for velapp's own pages.
QString DeskLayout::pageTypeOf(const VelPluginBaseWidget *page) const
{
    const QByteArray className(page->metaObject()->className());
    const QList<PageType> types = m_window->pageTypes();
    for (const PageType &type : types) {
        if (QByteArray(QMetaType::typeName(type.metaId)) == className)
            return type.id;
    }
    return QString();
}

void DeskLayout::save() const
{
    if (!m_save)
        return;
    // Saved pages not reopened yet (a quit before the reference data came)
    // are kept as they were.
    QJsonArray pages = m_pages;
    int current = m_current;
    const QList<VelPluginBaseWidget *> open =
        m_pages.isEmpty() ? m_window->pages() : QList<VelPluginBaseWidget *>();
    for (const VelPluginBaseWidget *page : open) {
        QJsonObject saved{{QStringLiteral("kind"), BoardFace::kindOf(page)}};
        if (const auto *chart = qobject_cast<const ChartPage *>(page)) {
            saved.insert(QStringLiteral("symbols"),
                         QJsonArray::fromStringList(chart->symbols().mid(0, 2)));
        } else if (const auto *detail = qobject_cast<const DetailPage *>(page)) {
            saved.insert(QStringLiteral("symbol"), detail->symbol());
        } else if (qobject_cast<const SmilePage *>(page)) {
            // It shows the boards' fund: nothing of its own to keep.
        } else {
            const QString type = pageTypeOf(page);
            if (type.isEmpty())
                continue;
            saved.insert(QStringLiteral("type"), type);
        }
        const auto *category = BoardFace::categorySelector(page);
        const auto *underlying = BoardFace::underlyingSelector(page);
        if (category && underlying) {
            saved.insert(QStringLiteral("category"), category->currentIndex());
            saved.insert(QStringLiteral("underlying"), underlying->currentData().toString());
        }
        // One date chosen: its button; all of them: no date.
        const auto *all = BoardFace::allDatesButton(page);
        for (int i = 0; all && !all->isChecked() && i < BoardFace::DateButtonCount; ++i) {
            const auto *button = BoardFace::dateButton(page, i);
            if (button && button->isVisibleTo(page) && button->isChecked()) {
                saved.insert(QStringLiteral("date"), dateOf(button));
                break;
            }
        }
        if (page == m_window->currentPage())
            current = pages.size();
        pages.append(saved);
    }
    const QJsonObject root{
        {QStringLiteral("geometry"), QString::fromLatin1(m_window->saveGeometry().toBase64())},
        {QStringLiteral("current"), current},
        {QStringLiteral("panes"), QString::fromLatin1(m_window->saveState().toBase64())},
        {QStringLiteral("pages"), pages}};
    CDataBase::GetInstance()->setSettingValue(
        kWindowKey, QString::fromUtf8(QJsonDocument(root).toJson(QJsonDocument::Compact)));
}

int DeskLayout::reopenPages(double rate)
{
    const CBusinessDataBase *data = CBusinessDataBase::GetInstance();
    const QList<PageType> types = m_window->pageTypes();
    QList<VelPluginBaseWidget *> opened;
    for (const QJsonValue &value : qAsConst(m_pages)) {
        const QJsonObject saved = value.toObject();
        const QString kind = saved.value(QStringLiteral("kind")).toString();
        VelPluginBaseWidget *page = nullptr;
        if (kind == QLatin1String("chart")) {
            const QJsonArray symbols = saved.value(QStringLiteral("symbols")).toArray();
            const QVariantMap call = data->GetSecurityDetailsBySymbol(symbols.at(0).toString());
            const QVariantMap put = data->GetSecurityDetailsBySymbol(symbols.at(1).toString());
            if (!call.isEmpty() || !put.isEmpty())
                m_window->addPage(page = new ChartPage(call, put));
        } else if (kind == QLatin1String("detail")) {
            const QVariantMap record =
                data->GetSecurityDetailsBySymbol(saved.value(QStringLiteral("symbol")).toString());
            if (!record.isEmpty())
                m_window->addPage(page = new DetailPage(record, rate));
        } else if (kind == QLatin1String("smile")) {
            page = m_window->openSmile();
        } else {
            for (const PageType &type : types) {
                if (!page && type.id == saved.value(QStringLiteral("type")).toString())
                    page = m_window->openPage(type);
            }
            if (page && saved.contains(QStringLiteral("underlying"))) {
                m_boards.append({page, saved.value(QStringLiteral("category")).toInt(-1),
                                 saved.value(QStringLiteral("underlying")).toString(),
                                 saved.value(QStringLiteral("date")).toString()});
            }
        }
        if (page)
            opened.append(page);
    }
    m_pages = QJsonArray();
    m_currentPage = opened.value(m_current);
    if (m_currentPage)
        m_window->bringForward(m_currentPage);
    // The boards load and announce their funds first; what is chosen before
    // that would be undone by it.
    if (m_boards.isEmpty())
        emit pagesRestored();
    else
        whenSettled(2, [this] { chooseFunds(); });
    return opened.size();
}

// done, once the bus has delivered what was published and the pages have run
// what that queued; rounds times, as what they ran may publish more.
void DeskLayout::whenSettled(int rounds, std::function<void()> done)
{
    VelBusObserver::whenDelivered(this, [this, rounds, done] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
        if (rounds > 1)
            whenSettled(rounds - 1, done);
        else
            done();
    });
}

// Through the selectors, as a person picks. Boards keep one another on the
// same fund, so one board picks and the others follow its word; were each to
// pick, each one's steps (a category's first fund on the way) would reach the
// others late, on a slow machine after a date was chosen, and undo it.
void DeskLayout::chooseFunds()
{
    const auto last = std::find_if(m_boards.crbegin(), m_boards.crend(),
                                   [](const Board &board) { return bool(board.page); });
    if (last != m_boards.crend()) {
        auto *category = BoardFace::categorySelector(last->page);
        auto *underlying = BoardFace::underlyingSelector(last->page);
        if (category && last->category >= 0 && last->category < category->count())
            category->setCurrentIndex(last->category);
        const int index = underlying ? underlying->findData(last->underlying) : -1;
        if (index >= 0)
            underlying->setCurrentIndex(index);
    }
    whenSettled(2, [this] { chooseDates(); });
}

// A date button acts only on a page that is shown, so each board comes
// forward for its click, as for a person's. A board still loading its fund
// has no button for the date yet, and a late echo of the fund from another
// board loads it again on every date: each board is looked at until it has
// kept its date for a while, for a few seconds at most (a saved date may
// have expired).
void DeskLayout::chooseDates(int attempt)
{
    bool pending = false;
    for (Board &board : m_boards) {
        if (!board.page || board.date.isEmpty())
            continue;
        m_window->bringForward(board.page);
        const QPushButton *all = BoardFace::allDatesButton(board.page);
        for (int i = 0; i < BoardFace::DateButtonCount; ++i) {
            auto *button = BoardFace::dateButton(board.page, i);
            if (button && button->isVisible() && dateOf(button) == board.date) {
                if (all && all->isChecked()) {
                    button->click();
                    board.steady = 0;
                } else if (++board.steady == kSteadyChecks) {
                    board.date.clear();
                }
                break;
            }
        }
        pending = pending || !board.date.isEmpty();
    }
    if (pending && attempt < kDateAttempts) {
        QTimer::singleShot(kDateRetryMs, this, [this, attempt] {
            whenSettled(1, [this, attempt] { chooseDates(attempt + 1); });
        });
        return;
    }
    m_boards.clear();
    if (m_currentPage)
        m_window->bringForward(m_currentPage);
    whenSettled(2, [this] { emit pagesRestored(); });
}
