#pragma once

#include <QIODevice>
#include <QStringList>

// The title of an HTML page: the text after the first tag written exactly "<title>" (any
// letter case) up to the next "<", trimmed, with character entities removed (not decoded).
// One element per line of the title, so a title spread over several lines of the page
// stays several lines. Empty when there is no title.
//
// Throws QuilloryError when the device cannot be read.
QStringList ReadHtmlTitle(QIODevice &device);

// Only the first bytes of a page are searched for its title.
inline constexpr qint64 HtmlScanLimit = 1024 * 1024;
