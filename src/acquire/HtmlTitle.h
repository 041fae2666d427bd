#pragma once

#include <QIODevice>
#include <QString>

// The title of an HTML page: the text after the first <title> tag (any letter case, any
// attributes) up to the next "<". A title tag inside a comment or inside an SVG picture (whose
// <title> names a drawing, not the page) does not count. Blanks, line breaks and control
// characters are folded into single blanks and trimmed, so a title spread over several lines
// of the page is one line; then character entities are removed (not decoded). Empty when
// there is no title.
//
// Throws QuilloryError when the device cannot be read.
QString ReadHtmlTitle(QIODevice &device);

// Only the first bytes of a page are searched for its title.
inline constexpr qint64 HtmlScanLimit = 1024 * 1024;
