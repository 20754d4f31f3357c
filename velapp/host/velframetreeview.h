#pragma once

#include <QBasicTimer>
#include <QElapsedTimer>
#include <QRegion>
#include <QTreeView>

// A tree view that repaints at most once a frame. Every changed cell's
// rectangle is collected and the viewport is updated with their union when a
// frame is due: a person sees one frame per 16.7 ms, while a busy market can
// change a shown row hundreds of times a second. The paint reads the model
// then, so a cell changed many times within one frame shows its last value.
class VelFrameTreeView : public QTreeView
{
public:
    explicit VelFrameTreeView(QWidget *parent = nullptr);

    static constexpr int FrameMs = 16;

    void dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                     const QVector<int> &roles = QVector<int>()) override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void timerEvent(QTimerEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    QRect cellsRect(const QModelIndex &topLeft, const QModelIndex &bottomRight) const;
    void flush();

    QRegion m_dirty;
    QBasicTimer m_frameTimer;
    QElapsedTimer m_lastFlush;
};
