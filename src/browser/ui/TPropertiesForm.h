#pragma once

#include <QDialog>

struct ContentsEntry;
class QGroupBox;
class QIcon;
class QLabel;
class QLineEdit;
class QPushButton;

// "Object Properties": every detail of one entry of the contents list. Made once, filled and
// shown on demand; the main window is disabled while it is up. Each extra line the entry lacks
// takes 16 pixels off the window and its frame; a checksum has a line of its own below them.
class TPropertiesForm : public QDialog
{
    Q_OBJECT
public:
    static constexpr int ExtraLines = 5;

    explicit TPropertiesForm(QWidget *mainWindow);

    // Fills the window for entry and shows it centred on the main window.
    void ViewProperties(const QIcon &icon, const ContentsEntry &entry);

    QString nameText() const;
    QString lineText(const QString &objectName) const;
    int frameHeight() const;

private:
    QLabel *m_icon;
    QLineEdit *m_name;
    QLabel *m_type;
    QGroupBox *m_frame;
    QLabel *m_path;
    QLabel *m_size;
    QLabel *m_date;
    QLabel *m_extra[ExtraLines];
    QLabel *m_checksum;
    QPushButton *m_ok;
};
