#pragma once

#include <QString>
#include <QtGlobal>

// Bytes as text with two decimals, thousands separators of the locale, and a unit.
QString FormatSize(qint64 bytes);
