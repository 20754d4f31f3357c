#include "velframetreeview.h"

#include <QAccessible>
#include <QHeaderView>
#include <QPaintEvent>
#include <QTimerEvent>

VelFrameTreeView::VelFrameTreeView(QWidget *parent)
    : QTreeView(parent)
{}

void VelFrameTreeView::dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                                   const QVector<int> &roles)
{
    // Ranges over several rows (rare: whole lists are reset instead) and
    // assistive technology, which is told about every change, take Qt's path.
    if (!topLeft.isValid() || topLeft.row() != bottomRight.row() ||
        topLeft.parent() != bottomRight.parent() || QAccessible::isActive()) {
        QTreeView::dataChanged(topLeft, bottomRight, roles);
        return;
    }
    if (!isVisible())
        return; // a hidden view paints everything when shown
    const QRect cells = cellsRect(topLeft, bottomRight) & viewport()->rect();
    if (cells.isEmpty())
        return;
    m_dirty += cells;
    if (m_frameTimer.isActive())
        return;
    // The first change after a quiet spell is painted on the next pass of the
    // event loop; later ones wait for the frame.
    const qint64 sinceFlush = m_lastFlush.isValid() ? m_lastFlush.elapsed() : FrameMs;
    m_frameTimer.start(int(qBound<qint64>(0, FrameMs - sinceFlush, FrameMs)), Qt::PreciseTimer,
                       this);
}

// QTreeView paints every cell of every row a region of several rectangles
// touches, across the whole width; a frame's region is many scattered cells.
// Painted one rectangle at a time, only the cells inside each are drawn.
void VelFrameTreeView::paintEvent(QPaintEvent *event)
{
    const QRegion region = event->region();
    if (region.rectCount() <= 1) {
        QTreeView::paintEvent(event);
        return;
    }
    for (const QRect &rect : region) {
        QPaintEvent part(rect);
        QTreeView::paintEvent(&part);
    }
}

void VelFrameTreeView::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_frameTimer.timerId()) {
        QTreeView::timerEvent(event);
        return;
    }
    m_frameTimer.stop();
    flush();
}

void VelFrameTreeView::scrollContentsBy(int dx, int dy)
{
    // Collected rectangles are in viewport coordinates of before the scroll,
    // and a per-item scroll moves by rows, not pixels: changes still pending
    // repaint the whole viewport once.
    const bool pending = !m_dirty.isEmpty();
    m_dirty = QRegion();
    QTreeView::scrollContentsBy(dx, dy);
    if (pending)
        viewport()->update();
}

// The row's band across the changed columns' sections; columns may have been
// moved, so each section is placed where the header shows it.
QRect VelFrameTreeView::cellsRect(const QModelIndex &topLeft, const QModelIndex &bottomRight) const
{
    const QHeaderView *head = header();
    QRect band;
    for (int column = topLeft.column(); column <= bottomRight.column(); ++column) {
        if (head->isSectionHidden(column))
            continue;
        if (band.isNull()) {
            band = visualRect(topLeft.sibling(topLeft.row(), column));
            if (band.isEmpty())
                return QRect();
            continue;
        }
        const int x = head->sectionViewportPosition(column);
        const int left = qMin(band.left(), x);
        const int right = qMax(band.right(), x + head->sectionSize(column) - 1);
        band.setLeft(left);
        band.setRight(right);
    }
    return band;
}

void VelFrameTreeView::flush()
{
    m_lastFlush.start();
    if (m_dirty.isEmpty())
        return;
    viewport()->update(m_dirty);
    m_dirty = QRegion();
}
