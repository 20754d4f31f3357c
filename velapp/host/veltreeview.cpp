#include "velwidget/veltreeview.h"

#include "velwidget/velitemmodeldeletage.h"
#include "velwidget/veltreemodel.h"
#include "velframetreeview.h"

#include <QHeaderView>
#include <QTreeView>
#include <QVBoxLayout>

VelViewBase::VelViewBase(QWidget *parent)
    : QWidget(parent)
{}

VelViewBase::~VelViewBase() = default;

VelTreeView::VelTreeView(QWidget *parent)
    : VelViewBase(parent)
{
    m_model = new VelTreeModel(this);
    m_view = new VelFrameTreeView(this);
    m_view->setObjectName(QStringLiteral("velTreeView"));
    m_view->setUniformRowHeights(true);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Columns have the widths the pages give them: an indented child or a
    // root decoration would take its room from the first column's text.
    m_view->setIndentation(0);
    m_view->setRootIsDecorated(false);
    m_view->setModel(m_model);
    m_view->header()->setSectionResizeMode(QHeaderView::Interactive);
    // The pages size their columns themselves; a stretched last column would
    // undo the width they gave it.
    m_view->header()->setStretchLastSection(false);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);

    connect(m_view, &QTreeView::clicked, this, &VelTreeView::clicked);
    connect(m_view, &QTreeView::doubleClicked, this, &VelTreeView::doubleClicked);
}

VelTreeView::~VelTreeView() = default;

void VelTreeView::setTreeViewCaption(const QString &caption)
{
    m_caption = caption;
    m_view->setAccessibleName(caption);
}

QString VelTreeView::treeViewCaption() const
{
    return m_caption;
}

void VelTreeView::setVelTableItemDelegate(QAbstractItemDelegate *delegate)
{
    if (auto *velDelegate = qobject_cast<VelItemModelDeletage *>(delegate)) {
        if (m_gridColor.isValid())
            velDelegate->setGridColor(m_gridColor);
        velDelegate->setGridLineStyle(m_gridLineStyle);
    }
    m_view->setItemDelegate(delegate);
}

void VelTreeView::setGridLineStyle(int style)
{
    m_gridLineStyle = qBound(0, style, 3);
    if (auto *velDelegate = qobject_cast<VelItemModelDeletage *>(m_view->itemDelegate())) {
        velDelegate->setGridLineStyle(m_gridLineStyle);
        m_view->viewport()->update();
    }
}

void VelTreeView::setColumnDefaultWidth(int width)
{
    if (width <= 0)
        return;
    // QHeaderView resizes every section to a new default; keep the widths
    // given column by column.
    QHeaderView *header = m_view->header();
    QVector<int> sizes(header->count());
    for (int i = 0; i < sizes.size(); ++i)
        sizes[i] = header->sectionSize(i);
    const int oldDefault = header->defaultSectionSize();
    header->setDefaultSectionSize(width);
    for (int i = 0; i < sizes.size(); ++i) {
        if (sizes.at(i) != oldDefault)
            header->resizeSection(i, sizes.at(i));
    }
}

void VelTreeView::setSelectionBehavior(QAbstractItemView::SelectionBehavior behavior)
{
    m_view->setSelectionBehavior(behavior);
}

void VelTreeView::setHeadSectionMovable(bool movable)
{
    m_view->header()->setSectionsMovable(movable);
}

void VelTreeView::setKeyColumn(QList<int> columns)
{
    m_model->setKeyColumns(columns);
}

void VelTreeView::setParentAndSubRowLinkColumnIndex(int column)
{
    m_model->setLinkColumn(column);
}

void VelTreeView::setItemSelectable(bool selectable)
{
    m_view->setSelectionMode(selectable ? QAbstractItemView::SingleSelection
                                        : QAbstractItemView::NoSelection);
}

void VelTreeView::setHeadList(QList<QVariantMap> heads)
{
    m_model->setHeadList(heads);
}

// A configured column is shown even when the head list is shorter.
void VelTreeView::setColumnWidth(int column, int width)
{
    if (column < 0 || width < 0)
        return;
    if (column >= m_model->columnCount())
        m_model->setMinimumColumnCount(column + 1);
    m_view->setColumnWidth(column, width);
}

void VelTreeView::setColumnTextAlignment(int column, int alignment)
{
    if (column < 0)
        return;
    if (column >= m_model->columnCount())
        m_model->setMinimumColumnCount(column + 1);
    m_model->setColumnTextAlignment(column, alignment);
}

void VelTreeView::setItemGridColor(QColor color)
{
    if (!color.isValid())
        return;
    m_gridColor = color;
    if (auto *velDelegate = qobject_cast<VelItemModelDeletage *>(m_view->itemDelegate())) {
        velDelegate->setGridColor(color);
        m_view->viewport()->update();
    }
}

QColor VelTreeView::itemGridColor() const
{
    return m_gridColor;
}

void VelTreeView::updateRecordDataList(QList<Row> rows)
{
    m_model->setRows(rows);
}

void VelTreeView::addRecordData(Row row)
{
    m_model->addRow(row);
}

void VelTreeView::updataRecordData(Row row)
{
    m_model->updateRow(row);
}

Row VelTreeView::getRowData(QModelIndex index) const
{
    return m_model->rowData(index);
}

QModelIndex VelTreeView::currentIndex() const
{
    return m_view->currentIndex();
}

QModelIndex VelTreeView::index(int row, int column, QModelIndex parent) const
{
    return m_model->index(row, column, parent);
}

void VelTreeView::setIndexExpand(QModelIndex index, bool expand)
{
    if (index.isValid() && index.model() == m_model)
        m_view->setExpanded(index, expand);
}

VelTreeModel *VelTreeView::model() const
{
    return m_model;
}

QTreeView *VelTreeView::treeView() const
{
    return m_view;
}

// The table takes its look from the page's style sheet, which cascades to it.
void VelTreeView::loadSkin(const QVariant &skinRoot)
{
    Q_UNUSED(skinRoot)
}
