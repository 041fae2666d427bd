#pragma once

#include <QColor>
#include <QFrame>

// One of the report dialog's colour boxes: a framed patch of its colour that asks for another
// when pressed, or when Space or Enter is pressed while it has the focus (Tab reaches it).
class ColorShape : public QFrame
{
    Q_OBJECT
public:
    ColorShape(const QString &objectName, const QColor &colour, QWidget *parent = nullptr);

    QColor colour() const { return m_colour; }
    void setColour(const QColor &colour);

Q_SIGNALS:
    void pressed();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_colour;
};
