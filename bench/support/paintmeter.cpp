#include "paintmeter.h"

#include <QPaintEvent>
#include <QWidget>

PaintMeter::PaintMeter(QWidget *widget)
    : m_widget(widget)
{
    widget->installEventFilter(this);
}

PaintMeter::~PaintMeter()
{
    if (m_widget)
        m_widget->removeEventFilter(this);
}

void PaintMeter::reset()
{
    m_area = 0;
    m_events = 0;
}

bool PaintMeter::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_widget && event->type() == QEvent::Paint) {
        const QRegion region = static_cast<QPaintEvent *>(event)->region();
        for (const QRect &rect : region)
            m_area += qint64(rect.width()) * rect.height();
        ++m_events;
    }
    return QObject::eventFilter(watched, event);
}
