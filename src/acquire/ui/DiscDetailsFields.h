#pragma once

#include "acquire/DiscAdder.h"

class QLineEdit;
class QPlainTextEdit;
class QSpinBox;
class QWidget;

// The fields of a disc the user fills in (title, genre, number, description), made and read
// the same way by the Add Disc and the Edit Disc dialogs. The dialogs place them.
struct DiscDetailsFields {
    DiscDetailsFields() = default;
    explicit DiscDetailsFields(QWidget *parent);

    DiscDetails details() const;
    void setDetails(const DiscDetails &details);

    QLineEdit *title = nullptr;
    QLineEdit *genre = nullptr;
    QSpinBox *number = nullptr;
    QPlainTextEdit *description = nullptr;
};
