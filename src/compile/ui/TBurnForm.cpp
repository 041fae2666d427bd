#include "TBurnForm.h"

#include "compile/FileCopier.h"
#include "compile/TCDBurner.h"
#include "core/FormatSize.h"
#include "core/SafeSaveFile.h"
#include "gui/AppDialogs.h"
#include "gui/MainWindowLock.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <QValidator>

using namespace Qt::Literals::StringLiterals;

namespace
{
// A volume label is 32 bytes on the disc; xorriso counts a label's UTF-8 bytes, so a label
// of accented letters is refused while it is typed rather than when the burn starts.
constexpr int LabelLength = 32;

class LabelValidator : public QValidator
{
public:
    using QValidator::QValidator;
    State validate(QString &input, int &) const override
    {
        return input.toUtf8().size() <= LabelLength ? Acceptable : Invalid;
    }
};
} // namespace

TBurnForm::TBurnForm(TCDBurner &burner, QWidget *mainWindow) : QDialog(mainWindow), m_burner(burner)
{
    setObjectName(u"BurnForm"_s);
    setWindowTitle(u"Burn Disc"_s);
    new MainWindowLock(this, mainWindow);

    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    m_recorders = new QComboBox(this);
    m_recorders->setObjectName(u"RecorderBox"_s);
    m_label = new QLineEdit(this);
    m_label->setObjectName(u"VolumeLabelEdit"_s);
    m_label->setMaxLength(LabelLength);
    m_label->setValidator(new LabelValidator(m_label));
    m_size = new QLabel(this);
    m_size->setObjectName(u"BurnSizeLabel"_s);
    form->addRow(u"Recorder:"_s, m_recorders);
    form->addRow(u"Volume label:"_s, m_label);
    form->addRow(u"Size:"_s, m_size);
    layout->addLayout(form);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(u"BurnProgress"_s);
    m_progress->setRange(0, 1000);
    m_progress->setTextVisible(false);
    layout->addWidget(m_progress);
    m_status = new QLabel(this);
    m_status->setObjectName(u"BurnStatusLabel"_s);
    m_status->setWordWrap(true);
    m_status->setMinimumWidth(360);
    // Room for a message of three lines, so that a long one does not squeeze the rows above.
    m_status->setMinimumHeight(m_status->fontMetrics().lineSpacing() * 3);
    m_status->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    layout->addWidget(m_status);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_burn = new QPushButton(u"Burn"_s, this);
    m_burn->setObjectName(u"BurnStartButton"_s);
    m_burn->setDefault(true);
    m_cancel = new QPushButton(u"Cancel"_s, this);
    m_cancel->setObjectName(u"BurnCancelButton"_s);
    buttons->addWidget(m_burn);
    buttons->addWidget(m_cancel);
    layout->addLayout(buttons);

    connect(m_burn, &QPushButton::clicked, this, &TBurnForm::BurnButtonClick);
    connect(m_cancel, &QPushButton::clicked, this, &TBurnForm::CancelButtonClick);
    connect(&burner, &TCDBurner::burnProgress, this,
            [this](double percent) { m_progress->setValue(static_cast<int>(percent * 10)); });
    connect(&burner, &TCDBurner::OnBurnDone, this, &TBurnForm::burnDone);
}

void TBurnForm::start()
{
    m_recorders->clear();
    for (const QString &r : m_burner.recorders())
        m_recorders->addItem(r, r);
    if (m_burner.canWriteImage())
        m_recorders->addItem(u"Disc image file (ISO)"_s, QString());
    m_label->setText(QLocale::c().toString(QDate::currentDate(), u"MMM dd yyyy"_s));
    m_size->setText(FormatSize(m_burner.BurnSize()));
    m_progress->setValue(0);
    // Without a recorder, say why only an image can be written; an earlier burn's failure is
    // not news.
    m_status->setText(m_burner.whyNotEquipped());
    setBurning(false);
    m_cancel->setText(u"Cancel"_s);
    show();
    raise();
    if (auto *main = parentWidget())
        move(main->geometry().center() - rect().center());
}

void TBurnForm::BurnButtonClick()
{
    if (m_burner.IsBurning())
        return;
    QString target = m_recorders->currentData().toString();
    if (target.isEmpty()) {
        // The label as a file name, and a name even when the label is empty.
        QString name = AppDialogs::fileNameOf(m_label->text().trimmed());
        if (name.isEmpty())
            name = u"Disc"_s;
        const QString chosen = AppDialogs::saveFileName(this, u"Save Disc Image"_s, u"Disc Images (*.iso)"_s, u"iso"_s,
                                                        QDir::home().filePath(name + u".iso"_s));
        if (chosen.isEmpty())
            return;
        // A link is followed, as every other file the program writes: the image replaces its
        // target, never the link. A pipe or a device is refused before the probe could block on it.
        const QString file = SafeSaveFile::writtenFile(chosen);
        if (const QString why = SafeSaveFile::targetProblem(file); !why.isEmpty()) {
            m_status->setText(u"Cannot write the disc image \"%1\": %2"_s.arg(chosen, why));
            return;
        }
        // The staging folder is emptied when this window closes: an image there would go with it.
        if (FileCopier::isInside(QFileInfo(file).absolutePath(), m_burner.BurnArea())) {
            m_status->setText(u"The disc image cannot be written into the folder the burn gathers its files in (%1); "
                              u"choose another."_s.arg(QDir::cleanPath(m_burner.BurnArea())));
            return;
        }
        // xorriso says only that writing failed; the system says why, before anything is burnt.
        QFile probe(file);
        const bool existed = probe.exists();
        if (!probe.open(QIODevice::WriteOnly | QIODevice::Append)) {
            m_status->setText(u"Cannot write the disc image \"%1\": %2"_s.arg(file, probe.errorString()));
            return;
        }
        probe.close();
        if (!existed)
            probe.remove();
        target = TCDBurner::imageTarget(file);
    }
    m_target = target;
    m_progress->setValue(0);
    m_status->setText(u"Writing..."_s);
    setBurning(true);
    m_burner.StartBurn(target, m_label->text());
}

void TBurnForm::burnDone(int result)
{
    setBurning(false);
    if (result < 0) {
        m_status->setText(u"A burn is running already, or the recorder cannot be used."_s);
        return;
    }
    m_cancel->setText(u"Close"_s);
    if (m_burner.lastBurnSucceeded()) {
        m_progress->setValue(m_progress->maximum());
        const QString done = TCDBurner::isImageTarget(m_target)
                                 ? u"The disc image %1 was written successfully."_s.arg(m_target.mid(6))
                                 : u"The disc was written successfully."_s;
        const QString note = m_burner.lastBurnNote();
        m_status->setText(note.isEmpty() ? done : done + u' ' + note);
    } else {
        m_status->setText(u"The disc could not be written: "_s + m_burner.LastError());
    }
}

void TBurnForm::setBurning(bool burning)
{
    m_burn->setEnabled(!burning);
    m_recorders->setEnabled(!burning);
    m_label->setEnabled(!burning);
}

void TBurnForm::CancelButtonClick()
{
    if (m_burner.IsBurning()) {
        m_status->setText(u"Cancelling..."_s);
        m_burner.cancelBurn();
        return;
    }
    hide();
}

void TBurnForm::closeEvent(QCloseEvent *event)
{
    // The window goes only once the burn is over, so its outcome is seen.
    if (m_burner.IsBurning()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TBurnForm::hideEvent(QHideEvent *event)
{
    // What was staged is burnt from this window only (the next Burn stages anew): it would
    // otherwise stay in the cache, a disc's worth of copies.
    if (!m_burner.IsBurning())
        m_burner.ClearFiles();
    QDialog::hideEvent(event);
}

void TBurnForm::keyPressEvent(QKeyEvent *event)
{
    if (m_burner.IsBurning())
        return;
    QDialog::keyPressEvent(event);
}
