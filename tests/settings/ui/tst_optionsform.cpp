// The preferences window: its first-run states, changes that count at once, OK storing them,
// Cancel putting the stored ones back (with the window's stored state), the exclusion list, and
// where the main window starts.
#include "TestCatalogue.h"
#include "TestWindow.h"
#include "browser/ui/ContentsPanel.h"
#include "browser/ui/ContentsView.h"
#include "settings/Preferences.h"
#include "settings/ui/SettingsCommands.h"
#include "settings/ui/TOptionsForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGuiApplication>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

class TestOptionsForm : public QObject
{
    Q_OBJECT

    TestWindow::Fixture m_fx;
    std::unique_ptr<TestWindow::Window> &m_f = m_fx.window;
    const QString &m_data = m_fx.dataFolder;

    TOptionsForm *form() const { return m_f->controller<SettingsCommands>()->form(); }
    template <typename T> T *control(const QString &name) const
    {
        T *c = form()->findChild<T *>(name);
        if (!c)
            qFatal("no control %s", qPrintable(name));
        return c;
    }
    Preferences &prefs() const { return m_f->ws().preferences(); }
    QString settingsFile() const { return DataPaths::settingsFile(m_data); }
    void open() { m_fx.open(); }
    void click(const QString &button) { control<QPushButton>(button)->click(); }

private Q_SLOTS:
    void initTestCase() { TestWindow::setUp(); }
    void init() { m_fx.init(); }
    void cleanup() { m_fx.cleanup(); }

    void firstRunStates()
    {
        open();
        TestWindow::Window &f = *m_f;
        QCOMPARE(f.action(u"Preferences1"_s)->shortcut(), QKeySequence(Qt::Key_F11));
        form()->pages()->setCurrentIndex(2);
        f.action(u"Preferences1"_s)->trigger();
        QVERIFY(form()->isVisible());
        QCOMPARE(form()->windowTitle(), u"Preferences"_s);
        QCOMPARE(form()->pages()->currentIndex(), 0); // always opens on "Disc Scan"
        QVERIFY(!f->isEnabled());
        QCOMPARE(form()->pages()->tabText(0), u"Disc Scan"_s);
        QCOMPARE(form()->pages()->tabText(1), u"Actions"_s);
        QCOMPARE(form()->pages()->tabText(2), u"Exclusions"_s);

        auto *filters = control<QListWidget>(u"Filters"_s);
        QStringList ticked;
        for (int i = 0; i < filters->count(); ++i)
            if (filters->item(i)->checkState() == Qt::Checked)
                ticked << filters->item(i)->text();
        QCOMPARE(ticked, (QStringList{u"Zipped Archives (*.zip)"_s, u"Monkey Audio File (*.ape)"_s}));
        for (const QString &on : {u"AutoInsert"_s, u"EjectBox"_s, u"LabelBox"_s, u"WindowBox"_s, u"ExpandBox"_s,
                                  u"GridBox"_s, u"DiscEditBox"_s, u"UnlimitedBox"_s})
            QVERIFY2(control<QCheckBox>(on)->isChecked(), qPrintable(on));
        for (const QString &off : {u"EmptyBox"_s, u"EmptyFilesBox"_s, u"HiddenBox"_s})
            QVERIFY2(!control<QCheckBox>(off)->isChecked(), qPrintable(off));
        QCOMPARE(control<QComboBox>(u"ActionCombo"_s)->currentText(), u"View Properties"_s);
        QCOMPARE(control<QSpinBox>(u"MaxSearch"_s)->value(), 1000);
        QVERIFY(!control<QSpinBox>(u"MaxSearch"_s)->isEnabled());
        QCOMPARE(control<QCheckBox>(u"DiscEditBox"_s)->text(),
                 u"Double click on disc in TreeView opens  \"Edit Disc\" dialog"_s);

        // A filter ticked here is what the next scan asks.
        QVERIFY(!prefs().IsActiveFilter(u".jpg"_s));
        filters->item(2)->setCheckState(Qt::Checked);
        QVERIFY(prefs().IsActiveFilter(u".jpg"_s));
        click(u"CancelButton"_s);
        QVERIFY(!prefs().IsActiveFilter(u".jpg"_s));
        QVERIFY(!form()->isVisible());
        QVERIFY(f->isEnabled());
    }

    void changesCountAtOnceAndCancelRestoresTheStoredOnes()
    {
        // A first run: nothing is stored yet, and Cancel still undoes the change.
        open();
        QVERIFY(!QFileInfo::exists(settingsFile()));
        m_f->action(u"Preferences1"_s)->trigger();
        auto *unlimited = control<QCheckBox>(u"UnlimitedBox"_s);
        auto *maxSearch = control<QSpinBox>(u"MaxSearch"_s);
        unlimited->click();
        QVERIFY(maxSearch->isEnabled());
        maxSearch->setValue(50);
        // The search reads these when it runs: already changed, before OK.
        QVERIFY(!prefs().unlimited());
        QCOMPARE(prefs().maxResults(), 50);
        control<QComboBox>(u"ActionCombo"_s)->setCurrentIndex(0);
        QCOMPARE(prefs().action(), 0);
        click(u"CancelButton"_s);
        QVERIFY(prefs().unlimited());
        QCOMPARE(prefs().maxResults(), 1000);
        QCOMPARE(prefs().action(), 3);
        QVERIFY(unlimited->isChecked());
        QVERIFY(!maxSearch->isEnabled());

        // OK stores them; the next Cancel keeps what OK stored.
        m_f->action(u"Preferences1"_s)->trigger();
        unlimited->click();
        maxSearch->setValue(50);
        click(u"OkButton"_s);
        QVERIFY(!form()->isVisible());
        {
            const QSettings stored(settingsFile(), QSettings::IniFormat);
            QCOMPARE(stored.value(u"Unlimited"_s).toInt(), 0);
            QCOMPARE(stored.value(u"MaxResults"_s).toInt(), 50);
        }
        m_f->action(u"Preferences1"_s)->trigger();
        unlimited->click();
        click(u"CancelButton"_s);
        QVERIFY(!prefs().unlimited());
        QCOMPARE(prefs().maxResults(), 50);
    }

    void cancelPutsBackTheWindowsStoredState()
    {
        {
            QSettings stored(settingsFile(), QSettings::IniFormat);
            stored.setValue(u"ViewStyle"_s, 3);
            stored.setValue(u"Grids"_s, 0);
        }
        open();
        ContentsView *view = (*m_f)->contentsPanel()->view();
        QCOMPARE(view->viewStyle(), ContentsView::Details);
        QVERIFY(!view->gridLines());
        m_f->action(u"LargeIcons1"_s)->trigger();
        m_f->action(u"Preferences1"_s)->trigger();
        control<QCheckBox>(u"GridBox"_s)->click();
        QVERIFY(view->gridLines()); // at once
        click(u"CancelButton"_s);
        QCOMPARE(view->viewStyle(), ContentsView::Details);
        QVERIFY(m_f->action(u"Details1"_s)->isChecked());
        QVERIFY(!view->gridLines());
    }

    void exclusions()
    {
        const QString file = Preferences::exclusionsFile(m_data);
        TextCodec::writeLines(file, {u"*.tmp"_s});
        open();
        m_f->action(u"Preferences1"_s)->trigger();
        auto *list = control<QListWidget>(u"ExcList"_s);
        QCOMPARE(list->count(), 1);
        QCOMPARE(prefs().exclusions(), QStringList{u"*.tmp"_s});

        AppDialogs::pushInput(u"*.dll"_s);
        click(u"AddButton"_s);
        QCOMPARE(AppDialogs::shown().last().caption, u"New Exclusion..."_s);
        QCOMPARE(AppDialogs::shown().last().text, u"File Mask:"_s);
        QCOMPARE(prefs().exclusions(), (QStringList{u"*.tmp"_s, u"*.dll"_s})); // the next scan uses it
        AppDialogs::pushInput(std::nullopt);
        click(u"AddButton"_s);
        QCOMPARE(list->count(), 2);
        click(u"CancelButton"_s);
        QCOMPARE(TextCodec::readLines(file), QStringList{u"*.tmp"_s});
        QCOMPARE(list->count(), 1);

        m_f->action(u"Preferences1"_s)->trigger();
        AppDialogs::clearShown();
        click(u"RemoveButton"_s); // nothing selected: nothing asked
        QVERIFY(AppDialogs::shown().isEmpty());
        list->setCurrentRow(0);
        AppDialogs::pushAnswer(QMessageBox::No);
        click(u"RemoveButton"_s);
        QCOMPARE(list->count(), 1);
        AppDialogs::pushAnswer(QMessageBox::Yes);
        click(u"RemoveButton"_s);
        QCOMPARE(AppDialogs::shownTexts(), (QStringList{u"Remove exclusion *.tmp?"_s, u"Remove exclusion *.tmp?"_s}));
        QCOMPARE(AppDialogs::shown().first().kind, AppDialogs::Confirmation);
        QCOMPARE(list->count(), 0);
        click(u"OkButton"_s);
        QCOMPARE(TextCodec::readLines(file), QStringList());
    }

    void theWindowStartsWhereItWasOrInTheMiddle()
    {
        {
            QSettings stored(settingsFile(), QSettings::IniFormat);
            stored.setValue(u"Left"_s, 40);
            stored.setValue(u"Top"_s, 30);
            stored.setValue(u"Width"_s, 700);
            stored.setValue(u"Height"_s, 500);
        }
        open();
        QCOMPARE((*m_f)->pos(), QPoint(40, 30));
        QCOMPARE((*m_f)->size(), QSize(700, 500));
        m_f.reset();

        // "Save main window size and position" off: the middle, whatever is stored.
        {
            QSettings stored(settingsFile(), QSettings::IniFormat);
            stored.setValue(u"SavePos"_s, 0);
            stored.setValue(u"Left"_s, 40);
        }
        open();
        const QRect desktop = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE((*m_f)->frameGeometry().center().x(), desktop.center().x());
    }
};

QTEST_MAIN(TestOptionsForm)
#include "tst_optionsform.moc"
