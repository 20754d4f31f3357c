#include "TQuotationPresenterClass.h"

#include "BlinkFading.h"

#include <PivoraBusinessDataManager/pivorabusinessdatainterface.h>
#include <businessdatamanager/businessdatainterface.h>
#include <velbusinessdata/businessdatabase.h>
#include <veldefine/velconstants.h>
#include <veldefine/veldefine.h>
#include <velevent/eventmessage.h>
#include <velmsg/packmessage.h>
#include <velutils/velcommonutils.h>
#include <velutils/vellockorder.h>
#include <velutils/velmutex.h>

#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QDebug>
#include <QLoggingCategory>
#include <QMetaObject>
#include <QReadLocker>
#include <QThread>
#include <QTimer>
#include <QWriteLocker>

#include <cmath>
#include <limits>

// Rows and chains are logged whole; skip the formatting when nobody listens.
#define TQ_DEBUG_IN(function, line)                                                                \
    if (!QLoggingCategory::defaultCategory()->isDebugEnabled()) {                                  \
    } else                                                                                         \
        qDebug().noquote() << (function) << "TQuotationPresenterClass" << (line)
#define TQ_DEBUG_AT(line) TQ_DEBUG_IN(Q_FUNC_INFO, line)
#define TQ_DEBUG TQ_DEBUG_AT(__LINE__)

#define TQ_LOCK()                                                                                  \
    VelMutex::lock(&m_dataMutex, QStringLiteral("TQuotationPresenterClass"), __LINE__,             \
                   QLatin1String(Q_FUNC_INFO))
#define TQ_UNLOCK() VelMutex::unlock(&m_dataMutex)

/*
 * Threads. Slots run on the GUI thread; the host runs the four Proc handlers
 * on its bus thread, and a "loadFinish" reload runs the whole load there.
 * m_dataMutex is only held to copy or assign members. Signals are emitted
 * outside it.
 *
 * Order of what reaches the table. The table keeps whatever row it received
 * last, so a stale row sent after a newer one would stay on screen. Three
 * producers race: row lists (GUI or bus thread), tick rows (bus thread) and
 * faded rows of the refresh run (GUI thread). Each producer builds its rows
 * without the lock, then commits them under the lock into m_pendingUpdates,
 * and whoever finds no flush running empties the queue and emits, outside the
 * lock, until it is empty. So emission order is commit order, and commit
 * order is decided under the lock:
 * - a row list commits only if no newer build started since it took its
 *   generation (taken together with the date choice), so the last list sent
 *   is the list of the last choice, and m_shownOptionSymbols matches it;
 * - a tick commits its row after the hold that stored the tick;
 * - a refresh run commits a faded row only if no tick of that symbol was
 *   processed since the run copied the record (m_tickCountBySymbol) and the
 *   record is still held. A tick that came in between committed, or will
 *   commit, its own newer row, so the faded one is dropped; a tick after the
 *   run's commit is emitted after the faded row. Either way the newest tick's
 *   row is the one left on the table.
 */

namespace {

const int ColumnStrike = 7;
const int ColumnStrikeDate = 15;
const int ColumnParent = 16;

// A tick field as a number: text that is no number, and anything missing, is 0.
double numberOf(const QVariant &value)
{
    bool ok = false;
    const double number = value.toDouble(&ok);
    return ok ? number : 0.0;
}

// The filter count of an underlying data map, safe for any value it may hold.
int countOf(const QVariant &value)
{
    if (value.type() == QVariant::Double || value.userType() == QMetaType::Float) {
        const double number = value.toDouble();
        if (!std::isfinite(number) || number > std::numeric_limits<int>::max() ||
            number < std::numeric_limits<int>::min())
            return 0;
        return int(number);
    }
    bool ok = false;
    const int number = value.toInt(&ok);
    return ok ? number : 0;
}

qint64 openInterestOf(const QVariant &value)
{
    bool ok = false;
    if (value.type() != QVariant::Double && value.userType() != QMetaType::Float) {
        const qint64 number = value.toLongLong(&ok);
        if (ok)
            return number;
    }
    const double number = numberOf(value);
    if (!std::isfinite(number) || std::fabs(number) >= 9.0e18)
        return 0;
    return qint64(number);
}

// Fixed notation with the symbol's decimals, whatever the value: the feed
// keeps values no board can show away from the page.
QString priceText(double value, int precision)
{
    return VelCommonUtils::fixedText(value, precision);
}

double finiteOrZero(double value)
{
    return std::isfinite(value) ? value : 0.0;
}

QString marker(int level)
{
    // Built once: every priced cell of every tick carries one.
    static const QString markers[] = {
        VelConst::BlinkSeparator + QLatin1Char('0'), VelConst::BlinkSeparator + QLatin1Char('1'),
        VelConst::BlinkSeparator + QLatin1Char('2'), VelConst::BlinkSeparator + QLatin1Char('3')};
    return level >= 0 && level <= 3 ? markers[level]
                                    : VelConst::BlinkSeparator + QString::number(level);
}

} // namespace

PresenterClass::PresenterClass(const QString &pid, QObject *parent)
    : VelPresenterClass(pid, parent, IMessageInterface::ThreadType(15))
{
    // Rows cross threads on queued connections; known by both spellings.
    qRegisterMetaType<QMap<int, QVariantMap>>("QMap<int,QVariantMap>");
    qRegisterMetaType<QList<QMap<int, QVariantMap>>>("QList<QMap<int,QVariantMap>>");
    qRegisterMetaType<Row>("Row");
    qRegisterMetaType<QList<Row>>("QList<Row>");

    {
        QWriteLocker locker(&m_showTypeLock);
        VelLockOrder::acquired(&m_showTypeLock);
        m_showType = PivoraUtils::GetCurrentShowType();
        VelLockOrder::releasing(&m_showTypeLock);
    }

    Sub(pluginPid(), QVariant(QStringLiteral("MDOPTIONRECORD")), 1);
    Sub(pluginPid(), QVariant(QStringLiteral("MDMARKETRECORD")), 1);
    SubEvent(pluginPid(), QVariant(int(VelEventType::UnderlyingChanged)), 1);
    SubEvent(pluginPid(), QVariant(int(VelEventType::BaseDataState)), 1);
}

PresenterClass::~PresenterClass()
{
    // Off the bus before the members go: a delivery must not find them gone.
    detach();
}

void PresenterClass::ProcMsg(QString, QVariant type, QVariant msg)
{
    Q_UNUSED(msg)
    // Execution reports are recognised but the board has nothing to do with them.
    if (type.toString() == Ostrel_MsgType::executionReport)
        return;
}

void PresenterClass::ProcEventMsg(QString, QVariant type, QVariant msg)
{
    const int eventType = type.toInt();
    if (eventType != VelEventType::UnderlyingChanged && eventType != VelEventType::BaseDataState)
        return;

    CUnPackMessageCommon unpack;
    // Bytes that are no message (the host has warned) must not reset the page.
    if (!unpack.SetUnPackMsg(msg, false))
        return;
    const QVariantMap row = unpack.GetRowValue();

    if (eventType == VelEventType::UnderlyingChanged) {
        changeUnderlyingSymbol(row, true);
        return;
    }
    if (!row.contains(QStringLiteral("loadFinish")))
        return;

    TQ_LOCK();
    m_strikeDateList.clear();
    const QVariantMap underlyingData = m_underlyingData;
    TQ_UNLOCK();

    slotInitOptionData(underlyingData);
    TQ_DEBUG_AT(565) << "TQuotation reload Option Data";
    emit signalBaseDataLoadQuatationFinish();
}

void PresenterClass::ProcQuotationMsg(QString, QVariant type, QVariant msg)
{
    const QString kind = type.toString();
    if (kind == QLatin1String("MDOPTIONRECORD"))
        processOptionTick(msg);
    else if (kind == QLatin1String("MDMARKETRECORD"))
        processUnderlyingTick(msg);
}

void PresenterClass::ProcAsyncCallBack(int iRet, QString, QVariant type, QVariant msg)
{
    Q_UNUSED(msg)
    TQ_DEBUG_AT(740)
        << QStringLiteral("ProcAsyncCallBack iRet == %1 type==%2 ").arg(iRet).arg(type.toString());
}

void PresenterClass::slotRefresh()
{
    TQ_DEBUG_AT(48) << "optiontquotation=>PresenterClass::slotRefresh ";
    TQ_LOCK();
    m_strikeDateList.clear();
    const QVariantMap underlyingData = m_underlyingData;
    TQ_UNLOCK();

    slotInitOptionData(underlyingData);
    emit signalDataLoadFinished();
}

void PresenterClass::slotInitStrikeDate(const QString &underlyingSecurityId,
                                        QStringList &allStrkeDate)
{
    TQ_DEBUG << "optiontquotation=>PresenterClass::slotInitStrikeDate  allStrikeDate="
             << allStrkeDate;
    allStrkeDate.clear();

    TQ_LOCK();
    const QVariantMap underlyingData = m_underlyingData;
    TQ_UNLOCK();

    const OptionChainMap chain = OptionDataHandle::getOptionData(underlyingData);
    const auto it = chain.constFind(underlyingSecurityId);
    if (it != chain.constEnd())
        allStrkeDate.append(it->keys());
    emit signalUpdateStrikeDate(allStrkeDate);
}

void PresenterClass::slotInitOptionCodeStrikePriceShortName()
{
    TQ_DEBUG << "optiontquotation=>PresenterClass::slotInitOptionCodeStrikePriceShortName ";
    TQ_LOCK();
    const QVariantMap underlyingData = m_underlyingData;
    const QString underlyingSymbol = m_underlyingSymbol;
    TQ_UNLOCK();

    const OptionChainMap chain = OptionDataHandle::getOptionData(underlyingData);
    QMap<QString, QString> table;
    const auto underlyingIt = chain.constFind(underlyingSymbol);
    if (underlyingIt != chain.constEnd()) {
        for (const auto &strikes : *underlyingIt) {
            for (auto strikeIt = strikes.constBegin(); strikeIt != strikes.constEnd(); ++strikeIt) {
                for (const QVariantMap &record : strikeIt.value())
                    table.insert(record.value(Ostrel_Fields::Security::symbol).toString(),
                                 strikeIt.key());
            }
        }
    }

    TQ_LOCK();
    m_shortNameBySymbol = table;
    TQ_UNLOCK();
}

void PresenterClass::slotInitOptionData(const QVariantMap &data)
{
    TQ_DEBUG << "optiontquotation=>PresenterClass::slotInitOptionData data=" << data;
    const QString symbol = data.value(Ostrel_Fields::Security::symbol).toString();

    TQ_LOCK();
    m_underlyingData = data;
    m_lastTickBySymbol.clear();
    // The rows are rebuilt: records of the old rows must not be sent again.
    m_blinkRecords.clear();
    m_underlyingSymbol = symbol;
    m_symmetryPrice = data.value(Ostrel_Fields::Security::price).toString();
    m_limitNumber = countOf(data.value(Ostrel_Fields::Security::nominalQty));
    TQ_UNLOCK();

    BusinessDataInterface::SubscribeSecurityQuotation(this, QVariant(QStringList{symbol}), 1, 2);
    slotInitOptionCodeStrikePriceShortName();
    QStringList strikeDates;
    slotInitStrikeDate(symbol, strikeDates);
    slotChooseStrikeDate(strikeDates);
    startRefreshCycle();
    emit signalDataLoadFinished();
}

void PresenterClass::slotSubscribeSecurityQuotation(const QVariant &para)
{
    BusinessDataInterface::SubscribeSecurityQuotation(this, para, 1, 2);
}

QString PresenterClass::getParentKey(const QVariantMap &securityInfo)
{
    return VelConst::ALL_PRICE + securityInfo.value(Ostrel_Fields::Security::StrikeDate).toString();
}

void PresenterClass::slotChooseStrikeDate(const QStringList &strikeDateList)
{
    TQ_DEBUG << "optiontquotation=>PresenterClass::slotChooseStrikeDate strikeDateList="
             << strikeDateList;
    TQ_LOCK();
    m_lastTickBySymbol.clear();
    m_blinkRecords.clear();
    m_strikeDateList = strikeDateList;
    // Taken with the choice, so the build of the last choice is the one shown.
    const quint64 generation = ++m_rowsGeneration;
    TQ_UNLOCK();

    updateOptionRows(strikeDateList, generation);
}

void PresenterClass::slotUpdateOptionData(const QStringList &strikeDateList)
{
    updateOptionRows(strikeDateList, 0);
}

void PresenterClass::slotSetFilter(int limitNumber, const QString &SymmetryPrice)
{
    TQ_LOCK();
    m_limitNumber = limitNumber;
    m_symmetryPrice = SymmetryPrice;
    const QStringList strikeDates = m_strikeDateList;
    const quint64 generation = ++m_rowsGeneration;
    TQ_UNLOCK();

    updateOptionRows(strikeDates, generation);
}

// Builds and sends the T rows of the given dates. generation 0 takes a new
// one with the snapshot of the filter settings.
void PresenterClass::updateOptionRows(const QStringList &strikeDateList, quint64 generation)
{
    // Logged as slotUpdateOptionData, whose work this is for every caller.
    TQ_DEBUG_IN("void PresenterClass::slotUpdateOptionData(const QStringList&)", __LINE__)
        << "optiontquotation=>PresenterClass::slotUpdateOptionData strikeDateList="
        << strikeDateList;

    TQ_LOCK();
    const QString underlyingSymbol = m_underlyingSymbol;
    const int limitNumber = m_limitNumber;
    const QString symmetryPrice = m_symmetryPrice;
    const QVariantMap underlyingData = m_underlyingData;
    const QMap<QString, QString> shortNames = m_shortNameBySymbol;
    if (generation == 0)
        generation = ++m_rowsGeneration;
    TQ_UNLOCK();

    const OptionChainMap filtered = OptionDataHandle::getFilteredOptionData(
        underlyingSymbol, symmetryPrice, limitNumber, underlyingData);
    TQ_DEBUG_IN("void PresenterClass::slotUpdateOptionData(const QStringList&)", __LINE__)
        << "99999999999999" << filtered;

    QList<Row> groups;
    QList<Row> strikes;
    QStringList symbols;
    const QDate today = QDate::currentDate();
    const auto underlyingIt = filtered.constFind(underlyingSymbol);
    if (underlyingIt != filtered.constEnd()) {
        for (auto dateIt = underlyingIt->constBegin(); dateIt != underlyingIt->constEnd();
             ++dateIt) {
            const QString &strikeDate = dateIt.key();
            if (!strikeDateList.contains(strikeDate))
                continue;

            const QDate date = QDate::fromString(strikeDate, QStringLiteral("yyyyMMdd"));
            const qint64 days = date.isValid() ? today.daysTo(date) : 0;
            Row group;
            // The date's format is translated too: English shows 2026-12-23.
            group[0][VelConst::RoleDisplay] =
                date.toString(QCoreApplication::translate("TQuotation", "yyyy年MM月dd日"));
            group[1][VelConst::RoleDisplay] =
                QCoreApplication::translate("TQuotation", "(%1日)").arg(days);
            for (int column : {2, 3, 6, 8, 11, 12, 13, 14})
                group[column][VelConst::RoleDisplay] = QString();
            group[ColumnStrike][VelConst::RoleUser] = VelConst::ALL_PRICE;
            group[ColumnStrikeDate][VelConst::RoleDisplay] = strikeDate;
            group[ColumnStrikeDate][VelConst::RoleUser] = strikeDate;
            group[ColumnParent][VelConst::RoleDisplay] = QString();
            groups.append(group);

            for (const auto &sides : dateIt.value()) {
                const QVariantMap call = sides.value(Ostrel_Values::OptionCallOrPut::call);
                const QVariantMap put = sides.value(Ostrel_Values::OptionCallOrPut::put);
                const QString callSymbol = call.value(Ostrel_Fields::Security::symbol).toString();
                const QString putSymbol = put.value(Ostrel_Fields::Security::symbol).toString();
                const QString parentKey = getParentKey(call);
                const QString shortName = shortNames.value(callSymbol);

                Row strike;
                strike[ColumnParent][VelConst::RoleUser] = parentKey;
                strike[ColumnParent][VelConst::RoleDisplay] = parentKey;
                strike[ColumnStrike][VelConst::RoleUser] = shortName;
                strike[ColumnStrike][VelConst::RoleUser1] = shortName;
                strike[ColumnStrikeDate][VelConst::RoleDisplay] = strikeDate;
                strike[ColumnStrikeDate][VelConst::RoleUser] = strikeDate;
                strikes.append(strike);
                symbols << callSymbol << putSymbol;
            }
        }
    }

    VelCommonUtils::sortTableViewRecordListByKeys(
        groups, {qMakePair(ColumnStrikeDate, Qt::AscendingOrder)});
    VelCommonUtils::sortTableViewRecordListByKeys(strikes,
                                                  {qMakePair(ColumnStrike, Qt::AscendingOrder)});

    PendingUpdate update;
    update.isList = true;
    update.rows = groups + strikes;

    bool flush = false;
    TQ_LOCK();
    // A newer choice started meanwhile: its own build will be the one shown.
    const bool current = generation == m_rowsGeneration;
    if (current) {
        m_shownOptionSymbols = symbols;
        m_shownOptionSymbolSet = QSet<QString>(symbols.cbegin(), symbols.cend());
        flush = enqueueLocked(update);
    }
    TQ_UNLOCK();
    if (flush)
        flushPending();
    if (current)
        BusinessDataInterface::SubscribeSecurityQuotation(this, QVariant(symbols), 1, 2);
}

void PresenterClass::slotTimerOnFreshUI()
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();

    TQ_LOCK();
    const BlinkFading::Selection selection = BlinkFading::selectDue(m_blinkRecords, now);
    QHash<QString, quint64> tickCounts;
    for (auto it = selection.due.constBegin(); it != selection.due.constEnd(); ++it)
        tickCounts.insert(it.key(), m_tickCountBySymbol.value(it.key()));
    TQ_UNLOCK();

    if (!selection.due.isEmpty()) {
        QMap<QString, Row> faded;
        for (auto it = selection.due.constBegin(); it != selection.due.constEnd(); ++it)
            faded.insert(it.key(),
                         BlinkFading::fadeRow(it.value(), selection.dropped.contains(it.key())));

        bool flush = false;
        TQ_LOCK();
        for (auto it = faded.constBegin(); it != faded.constEnd(); ++it) {
            // A tick since the copy: its own row is newer than this one.
            if (m_tickCountBySymbol.value(it.key()) != tickCounts.value(it.key()))
                continue;
            if (!selection.dropped.contains(it.key())) {
                // Gone without a tick: the rows were rebuilt, nothing to fade.
                const auto record = m_blinkRecords.find(it.key());
                if (record == m_blinkRecords.end())
                    continue;
                // The copy keeps the record's own time stamp, so its age runs on.
                *record = it.value();
            }
            PendingUpdate update;
            update.row = it.value();
            flush = enqueueLocked(update) || flush;
        }
        TQ_UNLOCK();
        if (flush)
            flushPending();
    }

    QTimer::singleShot(300, this, SLOT(slotTimerOnFreshUI()));
}

void PresenterClass::slotShowChart(const QString &strikeDate, const QString &shortName)
{
    QString underlyingSymbol;
    QVariantMap call;
    QVariantMap put;
    if (!lookupCallPut(strikeDate, shortName, &underlyingSymbol, &call, &put))
        return;

    CPackMessageCommon pack;
    pack.AddRowVaule(call);
    pack.AddRow();
    pack.AddRowVaule(put);
    putPackedEvent(VelEventType::ShowChart, pack.GetPackedMsg(false));

    TQ_DEBUG << QStringLiteral("current show cahrt ") + underlyingSymbol + QLatin1Char(' ') +
                    strikeDate + QLatin1Char(' ') + shortName;
    TQ_DEBUG << call;
    TQ_DEBUG << put;
}

void PresenterClass::slotSetUnderlying(const QString &symbol, const QVariantMap &categoryData)
{
    TQ_DEBUG_AT(464) << QString(QStringLiteral("to set underlying symbol ") + symbol);
    QVariantMap data = categoryData;
    data.insert(Ostrel_Fields::Security::symbol, symbol);
    data.insert(Ostrel_Fields::Security::nominalQty, 99);
    data.insert(Ostrel_Fields::Security::price, VelConst::ZeroPrice);
    changeUnderlyingSymbol(data, false);

    CPackMessageCommon pack;
    pack.AddRowVaule(data);
    putPackedEvent(VelEventType::UnderlyingChanged, pack.GetPackedMsg(false));
}

void PresenterClass::slotNotifyUderlying(const QVariantMap &data)
{
    CPackMessageCommon pack;
    pack.AddRowVaule(data);
    putPackedEvent(VelEventType::UnderlyingChanged, pack.GetPackedMsg(false));
}

void PresenterClass::changeUnderlyingSymbol(const QVariantMap &underLyingData, bool setComboxFlag)
{
    const QString symbol = underLyingData.value(Ostrel_Fields::Security::symbol).toString();
    const QString price = underLyingData.value(Ostrel_Fields::Security::price).toString();
    const int limit = countOf(underLyingData.value(Ostrel_Fields::Security::nominalQty));

    VelMutex::lock(&m_dataMutex, QStringLiteral("TQuotationPresenterClass"), 506,
                   QLatin1String(Q_FUNC_INFO));
    m_underlyingData = underLyingData;
    m_lastTickBySymbol.clear();
    const bool unchanged =
        m_underlyingSymbol == symbol && m_symmetryPrice == price && m_limitNumber == limit;
    m_underlyingSymbol = symbol;
    m_symmetryPrice = price;
    m_limitNumber = limit;
    if (!unchanged)
        m_blinkRecords.clear();
    VelMutex::unlock(&m_dataMutex);

    if (unchanged)
        return;

    slotInitOptionCodeStrikePriceShortName();
    BusinessDataInterface::SubscribeSecurityQuotation(this, QVariant(QStringList{symbol}), 1, 2);
    QStringList strikeDates;
    slotInitStrikeDate(symbol, strikeDates);
    slotChooseStrikeDate(strikeDates);
    if (setComboxFlag)
        emit signalUpdateComboxUnderlying(symbol);
}

void PresenterClass::slotShowSymbol(const QString &strikeDate, const QString &shortName,
                                    int columnNumber)
{
    QString underlyingSymbol;
    QVariantMap call;
    QVariantMap put;
    if (!lookupCallPut(strikeDate, shortName, &underlyingSymbol, &call, &put))
        return;

    CPackMessageCommon pack;
    if (columnNumber < ColumnStrike)
        pack.AddRowVaule(call);
    else if (columnNumber > ColumnStrike)
        pack.AddRowVaule(put);
    putPackedEvent(VelEventType::ShowSymbol, pack.GetPackedMsg(false));

    TQ_DEBUG << QStringLiteral("current show cahrt ") + underlyingSymbol + QLatin1Char(' ') +
                    strikeDate + QLatin1Char(' ') + shortName;
    TQ_DEBUG << call;
    TQ_DEBUG << put;
}

void PresenterClass::insertBlinkRecord(const QString &symbol, const QMap<int, QVariantMap> &record)
{
    Row copy = record;
    QVariantMap stamp;
    stamp.insert(VelConst::TQuotation_TIMESTAMP, QDateTime::currentMSecsSinceEpoch());
    copy.insert(BlinkFading::TimestampColumn, stamp);

    TQ_LOCK();
    m_blinkRecords.insert(symbol, copy);
    TQ_UNLOCK();
}

void PresenterClass::processOptionTick(const QVariant &msg)
{
    ShowType showType;
    {
        QReadLocker locker(&m_showTypeLock);
        VelLockOrder::acquired(&m_showTypeLock);
        showType = m_showType;
        VelLockOrder::releasing(&m_showTypeLock);
    }

    CUnPackMessageCommon unpack;
    unpack.SetUnPackMsg(msg, false);
    const QVariantMap tick = unpack.GetRowValue();
    const QString symbol = tick.value(QStringLiteral("Symbol")).toString();
    // A tick naming no symbol cannot belong to a row (strikes without a put
    // list the empty text among the shown symbols).
    if (symbol.isEmpty())
        return;
    const int precision =
        qBound(0, PivoraBusinessDataInterface::GetPricePrecisionBySymbol(symbol, QString()), 10);

    TQ_LOCK();
    if (!m_shownOptionSymbolSet.contains(symbol)) {
        TQ_UNLOCK();
        return;
    }
    const QVariantMap previous = m_lastTickBySymbol.value(symbol);
    m_lastTickBySymbol.insert(symbol, tick);
    ++m_tickCountBySymbol[symbol];
    const bool wasBlinking = m_blinkRecords.remove(symbol) > 0;
    const QString shortName = m_shortNameBySymbol.value(symbol);
    TQ_UNLOCK();

    const QVariantMap details =
        CBusinessDataBase::GetInstance()->GetSecurityDetailsBySymbol(symbol);
    const bool isCall = details.value(Ostrel_Fields::Security::PutOrCall).toString() ==
                        Ostrel_Values::OptionCallOrPut::call;
    const QString strikeDate = details.value(Ostrel_Fields::Security::StrikeDate).toString();
    const QString groupKey = VelConst::ALL_PRICE + strikeDate;
    const bool hasPrevious = !previous.isEmpty();
    bool changed = false;
    Row row;

    const double last = PivoraBusiUtils::GetLastPriceFromTick(tick);
    const double previousLast = PivoraBusiUtils::GetLastPriceFromTick(previous);
    const double lastDiff = last - previousLast;
    const bool lastChanged = hasPrevious && !(lastDiff > -1e-10 && lastDiff < 1e-10);
    changed = changed || lastChanged;
    const QString lastMarker = marker(lastChanged ? 3 : 0);
    QVariantMap &lastCell = row[isCall ? 2 : 12];
    lastCell[VelConst::RoleUser] = QString(priceText(last, precision) + lastMarker);
    lastCell[VelConst::RoleUser1] = finiteOrZero(last);

    const double preSettle = numberOf(tick.value(QStringLiteral("PreSettlePrice")));
    if (preSettle > 1e-10) {
        const double pct = (last - preSettle) / preSettle * 100;
        const QString pctText = VelCommonUtils::fixedText(pct, 2) + QLatin1Char('%');
        QVariantMap &pctCell = row[isCall ? 3 : 11];
        pctCell[VelConst::RoleUser] = QString(pctText + lastMarker);
        pctCell[VelConst::RoleUser1] = finiteOrZero(pct);
    }

    const qint64 openInterest = openInterestOf(tick.value(QStringLiteral("OpenInterest")));
    QVariantMap &oiCell = row[isCall ? 6 : 8];
    oiCell[VelConst::RoleUser1] =
        PivoraUtils::TransQtyShowType(QString::number(double(openInterest), 'f', 0), showType);
    oiCell[VelConst::RoleUser] = openInterest;

    const auto quoteCell = [&](const QString &field, int column) {
        const QVariant value = tick.value(field);
        const double price = numberOf(value);
        const bool quoteChanged = hasPrevious && value != previous.value(field);
        changed = changed || quoteChanged;
        QVariantMap &cell = row[column];
        cell[VelConst::RoleUser] =
            QString(priceText(price, precision) + marker(quoteChanged ? 3 : 0));
        cell[VelConst::RoleUser1] = finiteOrZero(price);
    };
    quoteCell(QStringLiteral("Buy1Price"), isCall ? 0 : 14);
    quoteCell(QStringLiteral("Sell1Price"), isCall ? 1 : 13);

    row[ColumnParent][VelConst::RoleUser] = groupKey;
    row[ColumnParent][VelConst::RoleDisplay] = groupKey;
    row[ColumnStrike][VelConst::RoleUser] = shortName;
    row[ColumnStrike][VelConst::RoleUser1] = shortName;
    row[ColumnStrikeDate][VelConst::RoleUser] = strikeDate;
    row[ColumnStrikeDate][VelConst::RoleDisplay] = strikeDate;

    const auto limitCell = [&](const QString &field, int column) {
        const double price = numberOf(tick.value(field));
        QVariantMap &cell = row[column];
        cell[VelConst::RoleUser] = QString(priceText(price, 4) + marker(0));
        cell[VelConst::RoleUser1] = finiteOrZero(price);
    };
    limitCell(QStringLiteral("MaxPx"), isCall ? 4 : 10);
    limitCell(QStringLiteral("MinPx"), isCall ? 5 : 9);

    PendingUpdate update;
    update.row = row;
    TQ_LOCK();
    const bool flush = enqueueLocked(update);
    TQ_UNLOCK();
    if (flush)
        flushPending();

    if (changed || wasBlinking)
        insertBlinkRecord(symbol, row);
}

void PresenterClass::processUnderlyingTick(const QVariant &msg)
{
    CUnPackMessageCommon unpack;
    unpack.SetUnPackMsg(msg, false);
    const QVariantMap tick = unpack.GetRowValue();
    const QString symbol = tick.value(QStringLiteral("Symbol")).toString();
    if (symbol.isEmpty())
        return;

    TQ_LOCK();
    const bool current = symbol == m_underlyingSymbol;
    TQ_UNLOCK();
    if (!current)
        return;

    const int precision =
        qBound(0, PivoraBusinessDataInterface::GetPricePrecisionBySymbol(symbol, QString()), 10);
    emit signalSetSymmetryShortName(
        priceText(PivoraBusiUtils::GetLastPriceFromTick(tick), precision));
}

bool PresenterClass::lookupCallPut(const QString &strikeDate, const QString &shortName,
                                   QString *underlying, QVariantMap *call, QVariantMap *put)
{
    TQ_LOCK();
    *underlying = m_underlyingSymbol;
    const QVariantMap underlyingData = m_underlyingData;
    TQ_UNLOCK();

    const OptionChainMap chain = OptionDataHandle::getOptionData(underlyingData);
    const auto it = chain.constFind(*underlying);
    if (it == chain.constEnd()) {
        TQ_DEBUG << QStringLiteral("cant not find call and put data ") + *underlying +
                        QLatin1Char(' ') + strikeDate + QLatin1Char(' ') + shortName;
        return false;
    }
    const QMap<QString, QVariantMap> sides = it->value(strikeDate).value(shortName);
    *call = sides.value(Ostrel_Values::OptionCallOrPut::call);
    *put = sides.value(Ostrel_Values::OptionCallOrPut::put);
    emit signalUpdateCallPutSecurity(*call, *put);
    return true;
}

void PresenterClass::putPackedEvent(int type, const QVariant &packed)
{
    auto *event = new CEventMessageCommon;
    event->SetSrcid(pluginPid());
    event->SetMsg(packed);
    event->SetType(QVariant(type));
    PutEvent(pluginPid(), event);
}

void PresenterClass::startRefreshCycle()
{
    if (m_refreshCycleStarted.exchange(true))
        return;
    // The cycle's timer belongs on the presenter's own thread, which has an
    // event loop; a load on the host's thread hands the arming over.
    if (QThread::currentThread() == thread()) {
        QTimer::singleShot(300, this, SLOT(slotTimerOnFreshUI()));
    } else {
        QMetaObject::invokeMethod(
            this, [this]() { QTimer::singleShot(300, this, SLOT(slotTimerOnFreshUI())); },
            Qt::QueuedConnection);
    }
}

bool PresenterClass::enqueueLocked(const PendingUpdate &update)
{
    m_pendingUpdates.append(update);
    if (m_flushing)
        return false;
    m_flushing = true;
    return true;
}

void PresenterClass::flushPending()
{
    for (;;) {
        TQ_LOCK();
        const QList<PendingUpdate> batch = m_pendingUpdates;
        m_pendingUpdates.clear();
        if (batch.isEmpty())
            m_flushing = false;
        TQ_UNLOCK();
        if (batch.isEmpty())
            return;
        for (const PendingUpdate &update : batch) {
            if (update.isList)
                emit PositionListUpdate(update.rows);
            else
                emit PositionUpdate(update.row);
        }
    }
}
