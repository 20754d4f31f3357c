#include "velwidget/veltreeview.h"

#include "velframetreeview.h"
#include "velwidget/velitemmodeldeletage.h"
#include "velwidget/veltreemodel.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

// The table without a mouse: up and down go from row to row, passing over
// the rows that only head others (an expiry over its strikes), left and
// right from cell to cell in the order the columns are shown, and Space and
// Enter do on the current cell what a click and a double click do.
class KeyboardTreeView : public VelFrameTreeView
{
public:
    using VelFrameTreeView::VelFrameTreeView;

protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override
    {
        const QModelIndex current = currentIndex();
        if (!current.isValid())
            return nearestRow(model()->index(0, firstColumn()), true);
        switch (action) {
        case MoveUp:
        case MoveDown:
            return stepRow(current, action == MoveDown);
        case MoveLeft:
        case MoveRight:
            return stepColumn(current, action == MoveRight);
        default: {
            // Home, End and the page keys as Qt moves them; landing on a
            // heading means its first row.
            const QModelIndex moved = QTreeView::moveCursor(action, modifiers);
            if (!moved.isValid())
                return current;
            return nearestRow(moved.sibling(moved.row(), current.column()), true);
        }
        }
    }

    void keyPressEvent(QKeyEvent *event) override
    {
        const QModelIndex current = currentIndex();
        const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
        const int key = event->key();
        if (plain && current.isValid() &&
            (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter)) {
            actOn(current, key != Qt::Key_Space);
            event->accept();
            return;
        }
        QTreeView::keyPressEvent(event);
    }

    // The current cell framed, so that a person sees which cell Space and
    // Enter act on within the selected row.
    void paintEvent(QPaintEvent *event) override
    {
        VelFrameTreeView::paintEvent(event);
        const QModelIndex current = currentIndex();
        if (!hasFocus() || !current.isValid())
            return;
        const QRect cell = visualRect(current);
        if (cell.isEmpty() || !cell.intersects(event->rect()))
            return;
        QPainter painter(viewport());
        painter.setPen(palette().color(QPalette::HighlightedText));
        painter.drawRect(cell.adjusted(1, 1, -2, -2));
    }

private:
    bool isHeading(const QModelIndex &index) const
    {
        return model()->hasChildren(index.sibling(index.row(), 0));
    }

    // The next row that is not a heading, in the same column; from itself
    // when there is none.
    QModelIndex stepRow(const QModelIndex &from, bool down) const
    {
        QModelIndex row = from.sibling(from.row(), 0);
        do {
            row = down ? indexBelow(row) : indexAbove(row);
        } while (row.isValid() && isHeading(row));
        return row.isValid() ? row.sibling(row.row(), from.column()) : from;
    }

    // index, or the closest row that is not a heading, looking the preferred
    // way first.
    QModelIndex nearestRow(const QModelIndex &index, bool down) const
    {
        if (!index.isValid() || !isHeading(index))
            return index;
        QModelIndex found = stepRow(index, down);
        if (found == index)
            found = stepRow(index, !down);
        return found;
    }

    QModelIndex stepColumn(const QModelIndex &from, bool right) const
    {
        const QHeaderView *head = header();
        for (int visual = head->visualIndex(from.column()) + (right ? 1 : -1);
             visual >= 0 && visual < head->count(); visual += right ? 1 : -1) {
            const int logical = head->logicalIndex(visual);
            if (!head->isSectionHidden(logical))
                return from.sibling(from.row(), logical);
        }
        return from;
    }

    int firstColumn() const
    {
        const QHeaderView *head = header();
        for (int visual = 0; visual < head->count(); ++visual) {
            if (!head->isSectionHidden(head->logicalIndex(visual)))
                return head->logicalIndex(visual);
        }
        return 0;
    }

    // What a person's click does (press: current and selected; release:
    // clicked), and for a double click then doubleClicked, activated and a
    // heading opened or closed.
    void actOn(const QModelIndex &index, bool twice)
    {
        const QPersistentModelIndex cell(index);
        if (selectionModel())
            selectionModel()->select(cell, selectionCommand(cell, nullptr));
        emit clicked(cell);
        if (!twice || !cell.isValid())
            return;
        emit doubleClicked(cell);
        if (!cell.isValid())
            return;
        emit activated(cell);
        const QModelIndex first = cell.sibling(cell.row(), 0);
        if (itemsExpandable() && expandsOnDoubleClick() && isHeading(first))
            setExpanded(first, !isExpanded(first));
    }
};

} // namespace

VelViewBase::VelViewBase(QWidget *parent)
    : QWidget(parent)
{}

VelViewBase::~VelViewBase() = default;

VelTreeView::VelTreeView(QWidget *parent)
    : VelViewBase(parent)
{
    m_model = new VelTreeModel(this);
    m_view = new KeyboardTreeView(this);
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
