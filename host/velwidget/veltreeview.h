#pragma once

#include "velhost_global.h"
#include "velwidget/ihskin.h"
#include "velwidget/velrow.h"

#include <QAbstractItemView>
#include <QColor>
#include <QWidget>

class QAbstractItemDelegate;
class QTreeView;
class VelTreeModel;

// Base of the host's data views.
class VELHOST_EXPORT VelViewBase : public QWidget
{
    Q_OBJECT
public:
    explicit VelViewBase(QWidget *parent = nullptr);
    ~VelViewBase() override;
};

// The host's tree table over a VelTreeModel.
class VELHOST_EXPORT VelTreeView : public VelViewBase, public IHSkin
{
    Q_OBJECT
    Q_INTERFACES(IHSkin)
public:
    explicit VelTreeView(QWidget *parent = nullptr);
    ~VelTreeView() override;

    void setTreeViewCaption(const QString &caption);
    QString treeViewCaption() const;
    void setVelTableItemDelegate(QAbstractItemDelegate *delegate);
    void setGridLineStyle(int style);
    void setColumnDefaultWidth(int width);
    void setSelectionBehavior(QAbstractItemView::SelectionBehavior behavior);
    void setHeadSectionMovable(bool movable);
    void setKeyColumn(QList<int> columns);
    void setParentAndSubRowLinkColumnIndex(int column);
    void setItemSelectable(bool selectable);
    void setHeadList(QList<QVariantMap> heads);
    void setColumnWidth(int column, int width);
    void setColumnTextAlignment(int column, int alignment);
    void setItemGridColor(QColor color);
    QColor itemGridColor() const;

    void updateRecordDataList(QList<Row> rows);
    void addRecordData(Row row);
    void updataRecordData(Row row);
    Row getRowData(QModelIndex index) const;

    QModelIndex currentIndex() const;
    QModelIndex index(int row, int column, QModelIndex parent = QModelIndex()) const;
    void setIndexExpand(QModelIndex index, bool expand);

    VelTreeModel *model() const;
    QTreeView *treeView() const;

    void loadSkin(const QVariant &skinRoot) override;

signals:
    void clicked(const QModelIndex &index);
    void doubleClicked(const QModelIndex &index);

private:
    QTreeView *m_view = nullptr;
    VelTreeModel *m_model = nullptr;
    QString m_caption;
    QColor m_gridColor;
    int m_gridLineStyle = 3;
};
