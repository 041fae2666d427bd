#pragma once

#include <QWidget>

class Navigator;

// A part of the main window that shows where the user is. The composition root connects
// every panel's setLocation to the Navigator; a panel reads what it needs from it.
class Panel : public QWidget
{
    Q_OBJECT
public:
    using QWidget::QWidget;

public Q_SLOTS:
    virtual void setLocation(const Navigator &navigator) = 0;
};
