#include "ColorShape.h"

#include <QMouseEvent>
#include <QPainter>

ColorShape::ColorShape(const QString &objectName, const QColor &colour, QWidget *parent)
    : QFrame(parent), m_colour(colour)
{
    setObjectName(objectName);
    setFrameShape(QFrame::Box);
    setFixedSize(41, 17);
    setCursor(Qt::PointingHandCursor);
    setToolTip(QStringLiteral("Click here to change color if this item"));
}

void ColorShape::setColour(const QColor &colour)
{
    m_colour = colour;
    update();
}

void ColorShape::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        Q_EMIT pressed();
    QFrame::mousePressEvent(event);
}

void ColorShape::paintEvent(QPaintEvent *event)
{
    QPainter p(this);
    p.fillRect(contentsRect(), m_colour);
    p.end();
    QFrame::paintEvent(event);
}
