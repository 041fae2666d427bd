#include "DiscDetailsFields.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <limits>

using namespace Qt::Literals::StringLiterals;

DiscDetailsFields::DiscDetailsFields(QWidget *parent)
    : title(new QLineEdit(parent)), genre(new QLineEdit(parent)), number(new QSpinBox(parent)),
      description(new QPlainTextEdit(parent))
{
    title->setObjectName(u"TitleEdit"_s);
    genre->setObjectName(u"GenreEdit"_s);
    number->setObjectName(u"NumberEdit"_s);
    number->setRange(std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max());
    description->setObjectName(u"DescEdit"_s);
    description->setLineWrapMode(QPlainTextEdit::NoWrap);
    description->setTabChangesFocus(true);
}

DiscDetails DiscDetailsFields::details() const
{
    DiscDetails d;
    d.title = title->text();
    d.genre = genre->text();
    d.description = description->toPlainText();
    d.number = number->value();
    return d;
}

void DiscDetailsFields::setDetails(const DiscDetails &d)
{
    title->setText(d.title);
    description->setPlainText(d.description);
    number->setValue(d.number);
    genre->setText(d.genre);
}
