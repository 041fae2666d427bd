#pragma once

#include <QStringView>

// How many columns of a fixed-pitch text a string takes: East Asian wide and full-width
// characters take two, combining marks and invisible format characters none, every other
// character one. The TXT report pads and cuts its cells by this, so the columns after a
// Japanese or Chinese title still line up.
namespace TextWidth
{
int of(char32_t c);
qsizetype of(QStringView text);

// What a cell of width columns keeps of a text (a whole prefix: no character is split, marks
// stay with the character they follow), and the blanks that fill the cell after it.
struct Fit {
    QStringView kept;
    qsizetype blanks;
};
Fit fit(QStringView text, qsizetype width);
} // namespace TextWidth
