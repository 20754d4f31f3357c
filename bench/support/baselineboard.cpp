#include "baselineboard.h"

#include "PivoraBusinessDataManager/pivorabusinessdatainterface.h"
#include "velbusinessdata/businessdatabase.h"
#include "veldefine/veldefine.h"

#include <QMap>
#include <QStandardItemModel>
#include <QTreeView>

namespace {

const int Columns = 17;
const int StrikeColumn = 7;
const int DateColumn = 15;

QList<QStandardItem *> emptyRow()
{
    QList<QStandardItem *> items;
    for (int c = 0; c < Columns; ++c)
        items.append(new QStandardItem);
    return items;
}

QString strikeText(const QVariantMap &record)
{
    return QString::number(record.value(Ostrel_Fields::Security::StrikePrice).toDouble(), 'f', 3);
}

} // namespace

BaselineBoard::BaselineBoard()
    : m_view(new QTreeView)
    , m_model(new QStandardItemModel(0, Columns, m_view.get()))
{
    m_view->setUniformRowHeights(true);
    m_view->setModel(m_model);
    for (int c : {0, 1, 2, 3, 11, 12, 13, 14})
        m_view->setColumnWidth(c, 100);
    for (int c : {4, 5, 9, 10})
        m_view->setColumnWidth(c, 65);
    m_view->setColumnWidth(6, 120);
    m_view->setColumnWidth(7, 160);
    m_view->setColumnWidth(8, 120);
    m_view->setColumnHidden(15, true);
    m_view->setColumnHidden(16, true);
}

BaselineBoard::~BaselineBoard() = default;

void BaselineBoard::fill(const QString &underlyingSymbol)
{
    const QString code = underlyingSymbol.section(QLatin1Char('.'), 0, 0);
    // date -> strike text -> present
    QMap<QString, QMap<QString, bool>> strikes;
    const QList<QVariantMap> all = CBusinessDataBase::GetInstance()->allSecurities();
    for (const QVariantMap &record : all) {
        if (record.value(Ostrel_Fields::Security::underlyingSecurityID).toString() != code)
            continue;
        strikes[record.value(Ostrel_Fields::Security::StrikeDate).toString()][strikeText(record)] =
            true;
    }

    m_model->removeRows(0, m_model->rowCount());
    for (auto date = strikes.cbegin(); date != strikes.cend(); ++date) {
        QList<QStandardItem *> group = emptyRow();
        group[0]->setText(date.key());
        group[StrikeColumn]->setText(QStringLiteral("ALL_PRICE"));
        group[DateColumn]->setText(date.key());
        for (auto strike = date->cbegin(); strike != date->cend(); ++strike) {
            QList<QStandardItem *> row = emptyRow();
            row[StrikeColumn]->setText(strike.key());
            row[DateColumn]->setText(date.key());
            group.first()->appendRow(row);
        }
        m_model->appendRow(group);
        m_view->setExpanded(group.first()->index(), true);
    }
}

int BaselineBoard::rowCount() const
{
    int rows = m_model->rowCount();
    for (int r = 0; r < m_model->rowCount(); ++r)
        rows += m_model->item(r)->rowCount();
    return rows;
}

bool BaselineBoard::applyTick(const QVariantMap &tick, Signals signalMode)
{
    const QString symbol = tick.value(QStringLiteral("Symbol")).toString();
    const QVariantMap details =
        CBusinessDataBase::GetInstance()->GetSecurityDetailsBySymbol(symbol);
    const QString date = details.value(Ostrel_Fields::Security::StrikeDate).toString();
    const bool call = details.value(Ostrel_Fields::Security::PutOrCall).toString() ==
                      Ostrel_Values::OptionCallOrPut::call;

    // The strike text is shared by every expiry: pick the row under this date.
    QStandardItem *found = nullptr;
    const QList<QStandardItem *> candidates = m_model->findItems(
        strikeText(details), Qt::MatchExactly | Qt::MatchRecursive, StrikeColumn);
    for (QStandardItem *item : candidates) {
        const QStandardItem *parent = item->parent();
        if (parent && parent->child(item->row(), DateColumn)->text() == date) {
            found = item;
            break;
        }
    }
    if (!found)
        return false;
    QStandardItem *parent = found->parent();
    const int row = found->row();

    const int precision = PivoraBusinessDataInterface::GetPricePrecisionBySymbol(symbol, QString());
    const double last = tick.value(QStringLiteral("LastPrice")).toDouble();
    const double preSettle = tick.value(QStringLiteral("PreSettlePrice")).toDouble();
    const QString texts[7] = {
        QString::number(tick.value(QStringLiteral("Buy1Price")).toDouble(), 'f', precision),
        QString::number(tick.value(QStringLiteral("Sell1Price")).toDouble(), 'f', precision),
        QString::number(last, 'f', precision),
        preSettle > 0
            ? QString::number((last - preSettle) / preSettle * 100, 'f', 2) + QLatin1Char('%')
            : QString(),
        QString::number(tick.value(QStringLiteral("MaxPx")).toDouble(), 'f', 4),
        QString::number(tick.value(QStringLiteral("MinPx")).toDouble(), 'f', 4),
        QString::number(tick.value(QStringLiteral("OpenInterest")).toLongLong()),
    };
    const bool quiet = signalMode == Signals::Ranged;
    if (quiet)
        m_model->blockSignals(true);
    for (int i = 0; i < 7; ++i)
        parent->child(row, call ? i : 14 - i)->setData(texts[i], Qt::DisplayRole);
    if (quiet) {
        m_model->blockSignals(false);
        const QModelIndex parentIndex = parent->index();
        emit m_model->dataChanged(m_model->index(row, call ? 0 : 8, parentIndex),
                                  m_model->index(row, call ? 6 : 14, parentIndex));
    }
    return true;
}
