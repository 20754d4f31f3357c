#pragma once

#include "OptionDataHandle.h"

#include <PivoraUtils/pivorautils.h>
#include <velwidget/velpresenterclass.h>
#include <velwidget/velrow.h>

#include <QHash>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QReadWriteLock>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

#include <atomic>

// The logic of one T-board page: loads the option chain of the chosen
// underlying, builds the T rows, turns quotation ticks into update rows that
// blink and fade, and talks to other pages over the host's event bus.
class PresenterClass : public VelPresenterClass
{
    Q_OBJECT
public:
    PresenterClass(const QString &pid, QObject *parent);
    ~PresenterClass() override;

    void ProcMsg(QString, QVariant type, QVariant msg) override;
    void ProcEventMsg(QString, QVariant type, QVariant msg) override;
    void ProcQuotationMsg(QString, QVariant type, QVariant msg) override;
    void ProcAsyncCallBack(int iRet, QString, QVariant type, QVariant msg) override;

signals:
    void signalBaseDataLoadQuatationFinish();
    void PositionListUpdate(const QList<QMap<int, QVariantMap>> &rows);
    void PositionAdd(const QMap<int, QVariantMap> &row);
    void PositionUpdate(const QMap<int, QVariantMap> &row);
    void quotationUpdate(const QVariantMap &quotation);
    void signalUpdateStrikeDate(const QStringList &strikeDateList);
    void signalClearTableSelection();
    void signalSetSymmetryShortName(const QString &symmetryShortName);
    void signalUpdateComboxUnderlying(const QString &underlyingSymbol);
    void signalUpdateCallPutSecurity(const QVariantMap &callData, const QVariantMap &putData);

public slots:
    void slotRefresh();
    void slotInitStrikeDate(const QString &underlyingSecurityId, QStringList &allStrkeDate);
    void slotInitOptionCodeStrikePriceShortName();
    void slotInitOptionData(const QVariantMap &data);
    void slotSubscribeSecurityQuotation(const QVariant &para);
    QString getParentKey(const QVariantMap &securityInfo);
    void slotChooseStrikeDate(const QStringList &strikeDateList);
    void slotUpdateOptionData(const QStringList &strikeDateList);
    void slotSetFilter(int limitNumber, const QString &SymmetryPrice);
    void slotTimerOnFreshUI();
    void slotShowChart(const QString &strikeDate, const QString &shortName);
    void slotSetUnderlying(const QString &symbol, const QVariantMap &categoryData);
    void slotNotifyUderlying(const QVariantMap &data);
    void changeUnderlyingSymbol(const QVariantMap &underLyingData, bool setComboxFlag = false);
    void slotShowSymbol(const QString &strikeDate, const QString &shortName, int columnNumber);

private slots:
    void insertBlinkRecord(const QString &symbol, const QMap<int, QVariantMap> &record);

private:
    // A row list or an update row waiting to be emitted, in commit order.
    struct PendingUpdate
    {
        bool isList = false;
        QList<Row> rows;
        Row row;
    };

    void processOptionTick(const QVariant &msg);
    void processUnderlyingTick(const QVariant &msg);
    void updateOptionRows(const QStringList &strikeDateList, quint64 generation);
    bool lookupCallPut(const QString &strikeDate, const QString &shortName, QString *underlying,
                       QVariantMap *call, QVariantMap *put);
    void putPackedEvent(int type, const QVariant &packed);
    void startRefreshCycle();
    // Call with m_dataMutex held; returns true when the caller must flush.
    bool enqueueLocked(const PendingUpdate &update);
    void flushPending();

    QStringList m_shownOptionSymbols;
    QMutex m_dataMutex;
    QStringList m_strikeDateList;
    QString m_underlyingSymbol;
    QString m_symmetryPrice;
    // The page's own default count; every load sets it before the filter runs.
    int m_limitNumber = 99;
    QVariantMap m_underlyingData;
    QMap<QString, QVariantMap> m_lastTickBySymbol;
    QMap<QString, QString> m_shortNameBySymbol;
    QMap<QString, Row> m_blinkRecords;
    ShowType m_showType = ShowType_Plain;
    QReadWriteLock m_showTypeLock;

    // Ordering of what reaches the table (guarded by m_dataMutex): rows are
    // committed under the lock and emitted outside it by one thread at a time.
    QList<PendingUpdate> m_pendingUpdates;
    bool m_flushing = false;
    quint64 m_rowsGeneration = 0;
    // Ticks processed per option symbol: tells a refresh run whether a tick
    // overtook the record it is fading.
    QHash<QString, quint64> m_tickCountBySymbol;
    // m_shownOptionSymbols as a set: every tick asks it, a list scan costs
    // hundreds of compares.
    QSet<QString> m_shownOptionSymbolSet;
    std::atomic_bool m_refreshCycleStarted{false};
};
