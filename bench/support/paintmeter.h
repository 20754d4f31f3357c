#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

// Sums the area of the paint events a widget receives (the rectangles of
// each event's region), to tell how much of it was repainted.
class PaintMeter : public QObject
{
    Q_OBJECT
public:
    // Not owned by widget: the meter may outlive it (a page closed first).
    explicit PaintMeter(QWidget *widget);
    ~PaintMeter() override;

    void reset();
    qint64 area() const { return m_area; }
    int events() const { return m_events; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<QWidget> m_widget;
    qint64 m_area = 0;
    int m_events = 0;
};
