#include "presenterprobe.h"

#include "TQuotationPresenterClass.h"

#include <velevent/eventmessage.h>
#include <velmsg/packmessage.h>


ViewProbe::ViewProbe(PresenterClass *presenter)
{
    const auto q = Qt::QueuedConnection;
    connect(presenter, &PresenterClass::PositionListUpdate, this, [this](const QList<Row> &rows) {
        lists.append(rows);
        table = rows;
    }, q);
    connect(presenter, &PresenterClass::PositionUpdate, this, [this](const Row &row) {
        updates.append(row);
        for (Row &shown : table) {
            if (identity(shown) == identity(row)) {
                for (auto it = row.begin(); it != row.end(); ++it)
                    shown.insert(it.key(), it.value());
            }
        }
    }, q);
    connect(presenter, &PresenterClass::signalUpdateStrikeDate, this,
            [this](const QStringList &dates) { strikeDateLists.append(dates); }, q);
    connect(presenter, &PresenterClass::signalSetSymmetryShortName, this,
            [this](const QString &name) { symmetryNames.append(name); }, q);
    connect(presenter, &PresenterClass::signalUpdateComboxUnderlying, this,
            [this](const QString &symbol) { comboUnderlyings.append(symbol); }, q);
    connect(presenter, &PresenterClass::signalUpdateCallPutSecurity, this,
            [this](const QVariantMap &call, const QVariantMap &put) { callPut << call << put; }, q);
    connect(presenter, &PresenterClass::signalBaseDataLoadQuatationFinish, this,
            [this]() { ++baseDataFinished; }, q);
    connect(presenter, &VelPresenterClass::signalDataLoadFinished, this,
            [this]() { ++dataLoadFinished; }, q);
}

QString ViewProbe::identity(const Row &row)
{
    return text(row, 7) + text(row, 15);
}

QString ViewProbe::text(const Row &row, int column, const QString &role)
{
    return row.value(column).value(role).toString();
}

int ViewProbe::level(const Row &row, int column)
{
    const QString t = text(row, column);
    const int at = t.lastIndexOf(QLatin1String("###"));
    return at < 0 || at + 4 != t.size() ? -1 : t.at(at + 3).digitValue();
}

QList<Row> ViewProbe::updatesOf(const QString &strikeKey, const QString &date,
                                bool refreshRows) const
{
    QList<Row> result;
    for (const Row &row : updates)
        if (identity(row) == strikeKey + date && row.contains(10000) == refreshRows)
            result.append(row);
    return result;
}

Row ViewProbe::tableRow(const QString &strikeKey, const QString &date) const
{
    for (const Row &row : table)
        if (identity(row) == strikeKey + date)
            return row;
    return Row();
}

QStringList ViewProbe::tableKeys() const
{
    QStringList keys;
    for (const Row &row : table)
        keys.append(identity(row));
    return keys;
}

BusProbe::BusProbe(const QString &pid, const QList<int> &types)
    : VelPresenterClass(pid, nullptr, IMessageInterface::ThreadType_AllOnBus)
{
    for (int type : types)
        SubEvent(pid, QVariant(type), 1);
}

BusProbe::~BusProbe()
{
    detach();
}

void BusProbe::ProcEventMsg(QString src, QVariant type, QVariant msg)
{
    CUnPackMessageCommon unpack;
    unpack.SetUnPackMsg(msg, false);
    std::lock_guard<std::mutex> locker(m_mutex);
    m_events.append({type.toInt(), src, unpack.rows()});
}

QList<BusProbe::Event> BusProbe::events() const
{
    std::lock_guard<std::mutex> locker(m_mutex);
    return m_events;
}

void BusProbe::send(int type, const QList<QVariantMap> &rows)
{
    CPackMessageCommon pack;
    for (int i = 0; i < rows.size(); ++i) {
        if (i > 0)
            pack.AddRow();
        pack.AddRowVaule(rows.at(i));
    }
    auto *event = new CEventMessageCommon;
    event->SetSrcid(pluginPid());
    event->SetType(QVariant(type));
    event->SetMsg(pack.GetPackedMsg(false));
    PutEvent(pluginPid(), event);
}
