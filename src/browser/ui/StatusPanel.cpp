#include "StatusPanel.h"

#include "listing/Navigator.h"

#include <QHBoxLayout>
#include <QLabel>

StatusPanel::StatusPanel(Navigator &navigator, QWidget *parent) : Panel(parent)
{
    setObjectName(QStringLiteral("StatusPanel"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_label = new QLabel(this);
    m_label->setObjectName(QStringLiteral("StatusText"));
    m_label->setTextFormat(Qt::PlainText); // it names discs and folders, which may hold "<"
    layout->addWidget(m_label);
    connect(&navigator, &Navigator::locationChanged, this, [this, &navigator] { setLocation(navigator); });
}

QString StatusPanel::text() const
{
    return m_label->text();
}

void StatusPanel::setLocation(const Navigator &navigator)
{
    m_label->setText(navigator.statusText());
}
