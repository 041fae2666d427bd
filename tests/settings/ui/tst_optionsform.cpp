// The preferences window: its controls over the preferences' table, OK storing them, Cancel
// putting the stored ones back (with the window's stored state), the exclusion list, and the
// main window in the middle when its place is not kept.
#include "TestCatalogue.h"
#include "TestWindow.h"
#include "browser/ui/ContentsPanel.h"
#include "browser/ui/ContentsView.h"
#include "settings/Preferences.h"
#include "settings/ui/SettingsCommands.h"
#include "settings/ui/TOptionsForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSpinBox>

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

    // Every control the table names shows its preference, changes it at once (the next scan or
    // search reads it before OK), and Cancel puts back the first run while nothing is stored.
    void controlsFollowThePreferences()
    {
        open();
        TestWindow::Window &f = *m_f;
        f.action(u"Preferences1"_s)->trigger();
        QVERIFY(form()->isVisible() && !f->isEnabled());

        const Preferences first;
        QStringList named;
        for (const Preferences::Item &item : Preferences::items()) {
            if (item.control.isEmpty())
                continue;
            named << item.control;
            const int v = first.get(item.id).toInt();
            QWidget *c = control<QWidget>(item.control);
            if (auto *box = qobject_cast<QCheckBox *>(c)) {
                QCOMPARE(box->isChecked(), v == 1);
                box->click();
            } else if (auto *combo = qobject_cast<QComboBox *>(c)) {
                QCOMPARE(combo->currentIndex(), v);
                combo->setCurrentIndex(0);
            } else if (auto *spin = qobject_cast<QSpinBox *>(c)) {
                QCOMPARE(spin->value(), v);
                spin->setValue(50);
            } else {
                QListWidgetItem *row = qobject_cast<QListWidget *>(c)->item(item.id - Preferences::Filter0);
                QCOMPARE(row->checkState() == Qt::Checked, v == 1);
                row->setCheckState(v == 1 ? Qt::Unchecked : Qt::Checked);
            }
            QVERIFY2(prefs().get(item.id) != first.get(item.id), qPrintable(item.name));
        }
        // No control is left out of the table.
        for (const QWidget *c : form()->findChildren<QWidget *>())
            if (qobject_cast<const QCheckBox *>(c) || qobject_cast<const QComboBox *>(c) ||
                qobject_cast<const QSpinBox *>(c))
                QVERIFY2(named.contains(c->objectName()), qPrintable(c->objectName()));
        // The number counts only while the search is limited.
        QVERIFY(control<QSpinBox>(u"MaxSearch"_s)->isEnabled());

        click(u"CancelButton"_s);
        QVERIFY(!form()->isVisible() && f->isEnabled());
        for (const Preferences::Item &item : Preferences::items())
            QCOMPARE(prefs().value(item.name), first.value(item.name));
        QVERIFY(!control<QSpinBox>(u"MaxSearch"_s)->isEnabled());
    }

    // OK stores the choices with the window's state; Cancel puts back the stored choices, not the view.
    void okStoresThemAndCancelPutsBackWhatIsStored()
    {
        {
            QSettings stored(settingsFile(), QSettings::IniFormat);
            stored.setValue(u"Grids"_s, 0);
            stored.setValue(u"Action"_s, 9);
        }
        open();
        // A stored action outside the four chooses none.
        QCOMPARE(control<QComboBox>(u"ActionCombo"_s)->currentIndex(), -1);
        ContentsView *view = (*m_f)->contentsPanel()->view();
        m_f->action(u"Details1"_s)->trigger();
        m_f->action(u"Preferences1"_s)->trigger();
        control<QCheckBox>(u"UnlimitedBox"_s)->click();
        control<QSpinBox>(u"MaxSearch"_s)->setValue(50);
        click(u"OkButton"_s);
        Preferences stored;
        stored.load(settingsFile());
        QVERIFY(!form()->isVisible() && !stored.unlimited() && stored.maxResults() == 50);
        QVERIFY(stored.viewStyle() == int(ContentsView::Details));

        m_f->action(u"LargeIcons1"_s)->trigger();
        m_f->action(u"Preferences1"_s)->trigger();
        control<QCheckBox>(u"UnlimitedBox"_s)->click();
        control<QCheckBox>(u"GridBox"_s)->click();
        QVERIFY(view->gridLines()); // at once
        click(u"CancelButton"_s);
        QVERIFY(!prefs().unlimited() && prefs().maxResults() == 50);
        QCOMPARE(view->viewStyle(), ContentsView::LargeIcons);
        QVERIFY(m_f->action(u"LargeIcons1"_s)->isChecked());
        QVERIFY(!view->gridLines());
    }

    // Added at once for the next scan, the file written only on OK; removing asks first.
    void exclusions()
    {
        const QString file = Preferences::exclusionsFile(m_data);
        TextCodec::writeLines(file, {u"*.tmp"_s});
        open();
        m_f->action(u"Preferences1"_s)->trigger();
        auto *list = control<QListWidget>(u"ExcList"_s);
        AppDialogs::pushInput(u"*.dll"_s);
        click(u"AddButton"_s);
        QCOMPARE(prefs().exclusions(), (QStringList{u"*.tmp"_s, u"*.dll"_s}));
        click(u"CancelButton"_s);
        QCOMPARE(TextCodec::readLines(file), QStringList{u"*.tmp"_s});
        QCOMPARE(list->count(), 1);

        m_f->action(u"Preferences1"_s)->trigger();
        AppDialogs::clearShown();
        click(u"RemoveButton"_s); // nothing selected: nothing asked
        QVERIFY(AppDialogs::shown().isEmpty());
        list->setCurrentRow(0);
        AppDialogs::pushAnswer(QMessageBox::Yes);
        click(u"RemoveButton"_s);
        click(u"OkButton"_s);
        QCOMPARE(AppDialogs::shown().size(), 1);
        QCOMPARE(TextCodec::readLines(file), QStringList());
    }

    // "Save main window size and position" off: the middle, whatever is stored.
    void theWindowStartsInTheMiddle()
    {
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
