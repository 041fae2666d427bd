#pragma once

#include "gui/Panel.h"

class QLabel;

// The status bar's text panel: what the listed group or folder holds.
class StatusPanel : public Panel
{
    Q_OBJECT
public:
    explicit StatusPanel(Navigator &navigator, QWidget *parent = nullptr);
    QString text() const;

public Q_SLOTS:
    void setLocation(const Navigator &navigator) override;

private:
    QLabel *m_label;
};
