#include "ColorShape.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

ColorShape::ColorShape(const QString &objectName, const QColor &colour, QWidget *parent)
    : QFrame(parent), m_colour(colour)
{
    setObjectName(objectName);
    setFrameShape(QFrame::Box);
    setFixedSize(41, 17);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
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

void ColorShape::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        Q_EMIT pressed();
        return;
    default:
        QFrame::keyPressEvent(event);
    }
}

void ColorShape::paintEvent(QPaintEvent *event)
{
    QPainter p(this);
    p.fillRect(contentsRect(), m_colour);
    if (hasFocus()) {
        // A frame in the colour's opposite, inside the box's own, shows where the focus is.
        p.setPen(QPen(QColor(255 - m_colour.red(), 255 - m_colour.green(), 255 - m_colour.blue()), 1, Qt::DotLine));
        p.drawRect(contentsRect().adjusted(1, 1, -2, -2));
    }
    p.end();
    QFrame::paintEvent(event);
}
