#pragma once

#include <QString>
#include <QVariantMap>

#include <memory>

class QStandardItemModel;
class QTreeView;

// The plain way to show the same board, for comparison: a
// QStandardItemModel under a QTreeView, filled from the reference data; a
// tick finds its row with findItems by strike text and sets its seven cells
// with setData.
class BaselineBoard
{
public:
    enum class Signals {
        PerCell, // setData emits one dataChanged per changed cell
        Ranged,  // the seven cells set quietly, then one dataChanged over the side's columns
    };

    BaselineBoard();
    ~BaselineBoard();

    // Replaces the rows with underlyingSymbol's options ("510050.SH"): a
    // group row per strike date, a child row per strike, as the page shows them.
    void fill(const QString &underlyingSymbol);
    // Applies one option tick; false when its row is not on the board.
    bool applyTick(const QVariantMap &tick, Signals signalMode = Signals::PerCell);

    QStandardItemModel *model() const { return m_model; }
    QTreeView *view() const { return m_view.get(); }
    int rowCount() const; // group and strike rows

private:
    std::unique_ptr<QTreeView> m_view;
    QStandardItemModel *m_model;
};
