#pragma once

#include <QString>

// Folds multi-line text (a disc's description) into one line of "groups.tree" and back.
QString MultiToSingle(const QString &text);
QString SingleToMulti(const QString &text);
