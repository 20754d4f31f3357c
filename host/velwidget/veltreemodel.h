#pragma once

#include "velhost_global.h"
#include "velwidget/velrow.h"

#include <QAbstractItemModel>
#include <QHash>
#include <QStringList>

#include <memory>

// A keyed, linked tree of Rows. A row's identity is the "256" texts of the
// key columns joined; a row whose link-column "256" text equals another
// row's identity is shown as its child; a row whose link names no row is
// held (and updated) but shown only once a row of that identity arrives.
// Role r of a cell answers the cell record's value under the decimal text of r.
class VELHOST_EXPORT VelTreeModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    explicit VelTreeModel(QObject *parent = nullptr);
    ~VelTreeModel() override;

    void setKeyColumns(const QList<int> &columns);
    QList<int> keyColumns() const;
    void setLinkColumn(int column); // -1: flat table
    int linkColumn() const;
    // Shown columns: max(head list size, minimumColumnCount).
    void setHeadList(const QList<QVariantMap> &heads);
    QList<QVariantMap> headList() const;
    void setMinimumColumnCount(int count);
    void setColumnTextAlignment(int column, int alignment);

    QString identityOf(const Row &row) const;

    // Replaces every row.
    void setRows(const QList<Row> &rows);
    // Adds a row (an existing identity is updated instead).
    void addRow(const Row &row);
    // Replaces the cell records the update carries in the row of the same
    // identity, with one dataChanged per changed shown cell. Returns false
    // (and changes nothing) for an identity it does not hold.
    bool updateRow(const Row &row);
    void clear();

    Row rowData(const QModelIndex &index) const;
    // Invalid for a row not shown.
    QModelIndex indexOfIdentity(const QString &identity, int column = 0) const;
    // Every row held, shown or not.
    int totalRowCount() const;
    QVariant getIndexData(const QModelIndex &index, int column, int role) const;

    QModelIndex index(int row, int column,
                      const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    struct Node;
    struct Private;
    std::unique_ptr<Private> d;
};

// Helpers on model indexes of the host's tables.
class VELHOST_EXPORT VelModelIndex
{
public:
    static int column(const QModelIndex &index);
};
