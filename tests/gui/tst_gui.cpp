// The real boxes (what Enter answers, an input box's width), waiting for a disc, and a window's
// place kept from run to run, also under a window manager (its late frame once made the window
// creep up by its title bar at every start).
#include "RunProgram.h"
#include "ScanFixture.h"
#include "acquire/FolderVolumeBackend.h"
#include "gui/AppDialogs.h"
#include "gui/MainWindowLock.h"
#include "gui/TPosSaver.h"
#include "gui/ThemeIcons.h"
#include "gui/WaitForCD.h"

#include <QApplication>
#include <QDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QScopeGuard>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace
{

// Set: this program is one run of the window instead of the tests.
const char *const ChildSettings = "QUILLORY_WINDOWPLACE_SETTINGS";

// Starts, places and closes a window `runs` times, as that many runs of the program would;
// returns each start's inner and outer bounds.
QList<QRect> startAndClose(const QString &settingsFile, bool iniMode, int runs)
{
    QList<QRect> seen;
    for (int run = 0; run < runs; ++run) {
        QWidget form;
        form.setWindowTitle(u"Window place"_s);
        TPosSaver saver(&form, settingsFile);
        saver.setUseRegistry(!iniMode);
        saver.setIniName(settingsFile);
        form.resize(640, 480);
        form.show();
        if (run == 0)
            form.setGeometry(100, 50, 660, 490);
        else
            saver.RestorePosition();
        if (!QTest::qWaitForWindowExposed(&form))
            return {};
        // The frame arrives from the window manager some time after the window is mapped.
        (void)QTest::qWaitFor([&form] { return form.frameGeometry() != form.geometry(); }, 3000);
        QTest::qWait(100);
        seen << form.geometry() << form.frameGeometry();
        saver.SavePosition();
    }
    return seen;
}

// The disc put in while the prompt is up: after the drives have been looked at insertAfter times.
class InsertingBackend : public FolderVolumeBackend
{
public:
    QString root;
    int insertAfter = 1, looks = 0;

    QList<DriveEntry> drives() override
    {
        if (looks++ == insertAfter)
            setPresent(root, true);
        return FolderVolumeBackend::drives();
    }
};

const QString Prompt = u"Please insert disc labeled \"Holiday 2003\" into CD-Drive and press OK."_s;

} // namespace

class TestGui : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString settingsFile() const { return m_dir.filePath(u"settings.ini"_s); }

    // A run of the window: restored at the start, changed, saved at the end.
    struct Run {
        QWidget form;
        TPosSaver saver;
        explicit Run(const QString &file) : saver(&form, file) { form.resize(640, 480); }
    };

    static QPoint centredAt(const QWidget &form)
    {
        const QRect desktop = QGuiApplication::primaryScreen()->availableGeometry();
        const QSize outer = form.frameGeometry().size();
        return {desktop.x() + (desktop.width() - outer.width()) / 2,
                desktop.y() + (desktop.height() - outer.height()) / 2};
    }

    // Runs check on the modal box once it is up.
    template <typename Box> static void whenShown(const std::function<void(Box *)> &check)
    {
        QTimer::singleShot(0, qApp, [check] {
            auto *box = qobject_cast<Box *>(QApplication::activeModalWidget());
            QVERIFY(box);
            check(box);
        });
    }

private Q_SLOTS:
    void init()
    {
        QFile::remove(settingsFile());
        AppDialogs::setScripted(false);
        AppDialogs::clearShown();
        AppDialogs::clearAnswers();
    }
    void cleanup() { QCOMPARE(AppDialogs::pendingAnswers(), 0); }

    // What a start makes of the stored values. A position of (-1, -1) stands for the middle.
    void restore_data()
    {
        QTest::addColumn<QVariantMap>("stored");
        QTest::addColumn<QPoint>("pos");
        QTest::addColumn<QSize>("size");
        const QVariantMap bounds{{u"Left"_s, 50}, {u"Top"_s, 60}, {u"Width"_s, 700}, {u"Height"_s, 500}};
        const QPoint middle(-1, -1);
        QTest::newRow("first run") << QVariantMap() << middle << QSize(640, 480);
        QTest::newRow("normal bounds") << bounds << QPoint(50, 60) << QSize(700, 500);
        QTest::newRow("only maximised") << QVariantMap{{u"Maximized"_s, 1}} << middle << QSize(640, 480);
        // On a monitor unplugged since.
        QVariantMap off = bounds;
        off[u"Left"_s] = QGuiApplication::primaryScreen()->virtualGeometry().right() + 2000;
        QTest::newRow("off every screen") << off << middle << QSize(700, 500);
        // Larger than the screen it reaches onto: cut to the free area and moved inside it.
        const QRect desktop = QGuiApplication::primaryScreen()->availableGeometry();
        QVariantMap wide = bounds;
        wide[u"Left"_s] = desktop.x() - 3000;
        wide[u"Width"_s] = 99999;
        QTest::newRow("wider than the screen") << wide << QPoint(desktop.x(), 60) << QSize(desktop.width(), 500);
        // Before the window manager frames the window, a title bar's height is kept free above it.
        const int titleBar = QApplication::style()->pixelMetric(QStyle::PM_TitleBarHeight);
        QVariantMap tall = bounds;
        tall[u"Height"_s] = desktop.height() + 1;
        QTest::newRow("taller than the screen")
            << tall << QPoint(50, desktop.y() + titleBar) << QSize(700, desktop.height() - titleBar);
        // Saved on a wider desktop, reaching only a little onto this one: moved whole onto it.
        QVariantMap edge = bounds;
        edge[u"Left"_s] = desktop.right() - 5;
        QTest::newRow("over the edge") << edge << QPoint(desktop.right() + 1 - 700, 60) << QSize(700, 500);
        QVariantMap empty = bounds;
        empty[u"Width"_s] = 0;
        QTest::newRow("no width") << empty << middle << QSize(640, 480);
        // A value that is not a number counts as missing.
        QVariantMap word = bounds;
        word[u"Left"_s] = u"left"_s;
        QTest::newRow("not a number") << word << middle << QSize(640, 480);
    }
    void restore()
    {
        QFETCH(QVariantMap, stored);
        QFETCH(QPoint, pos);
        QFETCH(QSize, size);
        {
            QSettings file(settingsFile(), QSettings::IniFormat);
            for (auto it = stored.cbegin(); it != stored.cend(); ++it)
                file.setValue(it.key(), it.value());
        }
        Run run(settingsFile());
        run.form.move(3, 3);
        run.saver.RestorePosition();
        QVERIFY(!run.form.isMaximized());
        QCOMPARE(run.form.size(), size);
        QCOMPARE(run.form.pos(), pos == QPoint(-1, -1) ? centredAt(run.form) : pos);
    }

    // A dialog sized for ordinary screens, on a small one or under large fonts: shown whole, its title bar too.
    void aDialogIsShownWholeOnItsScreen()
    {
        QWidget main;
        QDialog dialog(&main);
        new MainWindowLock(&dialog, &main);
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        dialog.setGeometry(area.x() + 100, area.y(), area.width() + 50, area.height() + 50);
        dialog.setMinimumSize(area.width() + 20, 100); // as a least size doubled by a scale factor
        dialog.show();
        QVERIFY2(area.contains(dialog.frameGeometry()), qPrintable(u"%1,%2 %3x%4"_s.arg(dialog.frameGeometry().x())
                                                                       .arg(dialog.frameGeometry().y())
                                                                       .arg(dialog.frameGeometry().width())
                                                                       .arg(dialog.frameGeometry().height())));
        dialog.hide();
        QVERIFY(main.isEnabled());
        // A main window whose least size is more than the screen keeps its title bar and menus on it.
        main.resize(area.size() + QSize(200, 200));
        TPosSaver::centre(&main);
        QVERIFY(main.frameGeometry().x() >= area.x() && main.frameGeometry().y() >= area.y());
    }

    void maximisedKeepsTheNormalBoundsUnderneath()
    {
        {
            Run run(settingsFile());
            run.form.move(20, 25);
            run.form.resize(660, 490);
            run.saver.SavePosition();
            run.form.setWindowState(Qt::WindowMaximized);
            run.saver.SavePosition();
        }
        Run next(settingsFile());
        next.saver.RestorePosition();
        QVERIFY(next.form.isMaximized());
        next.form.setWindowState(Qt::WindowNoState);
        QCOMPARE(next.form.geometry(), QRect(20, 25, 660, 490));
        // Saved normal again: not maximised at the next start.
        next.saver.SavePosition();
        QCOMPARE(QSettings(settingsFile(), QSettings::IniFormat).value(u"Maximized"_s).toInt(), 0);

        // The INI form keeps no maximised state, in its own file.
        QVERIFY(QFile::remove(settingsFile()));
        const QString ini = m_dir.filePath(u"pos.ini"_s);
        next.saver.setUseRegistry(false);
        next.saver.setIniName(ini);
        next.form.setWindowState(Qt::WindowMaximized);
        next.saver.SavePosition();
        const QSettings stored(ini, QSettings::IniFormat);
        QVERIFY(stored.contains(u"TPosSaver/Width"_s) && !stored.contains(u"TPosSaver/Maximized"_s));
        QVERIFY(!QFile::exists(settingsFile()));
    }

    void reopensWhereItWasLeft_data()
    {
        QTest::addColumn<bool>("iniMode");
        QTest::newRow("settings file") << false;
        QTest::newRow("ini section") << true;
    }
    void reopensWhereItWasLeft()
    {
        QFETCH(bool, iniMode);
        const QList<QRect> seen = startAndClose(settingsFile(), iniMode, 3);
        QCOMPARE(seen.size(), 6);
        QCOMPARE(seen.at(0), QRect(100, 50, 660, 490));
        for (int i = 2; i < seen.size(); ++i)
            QCOMPARE(seen.at(i), seen.at(i % 2));
    }

    void reopensWhereItWasLeftUnderAWindowManager()
    {
        const QString xvfb = QStandardPaths::findExecutable(u"xvfb-run"_s);
        const QString openbox = QStandardPaths::findExecutable(u"openbox"_s);
        if (xvfb.isEmpty() || openbox.isEmpty())
            QSKIP("needs xvfb-run and openbox (scripts/install-deps)");
        const QString script = u"openbox >/dev/null 2>&1 & wm=$!; \"$0\"; code=$?; kill $wm; exit $code"_s;
        const ProgramRun run =
            runProgram(xvfb,
                       {u"-a"_s, u"-s"_s, u"-screen 0 1280x800x24"_s, u"sh"_s, u"-c"_s, script,
                        QCoreApplication::applicationFilePath()},
                       {}, {}, {u"QT_QPA_PLATFORM=xcb"_s, QString::fromLatin1(ChildSettings) + u'=' + settingsFile()});
        QVERIFY2(run.code == 0, run.err.constData());
        const QList<QByteArray> seen = run.out.trimmed().split('\n');
        QCOMPARE(seen.size(), 6);
        QVERIFY2(seen.at(1) != seen.at(0), "the window manager drew no frame");
        for (int i = 2; i < seen.size(); ++i)
            QCOMPARE(seen.at(i), seen.at(i % 2));
    }

    // --- The boxes.
    void enterNeverSaysYesToADestructiveQuestion_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("answer");
        QTest::newRow("confirmation") << int(AppDialogs::Confirmation) << int(QMessageBox::No);
        QTest::newRow("warning") << int(AppDialogs::Warning) << int(QMessageBox::No);
        // The first-run offer of the sample catalogue adds; it keeps Yes.
        QTest::newRow("information") << int(AppDialogs::Information) << int(QMessageBox::Yes);
    }
    void enterNeverSaysYesToADestructiveQuestion()
    {
        QFETCH(int, kind);
        QFETCH(int, answer);
        whenShown<QMessageBox>([](QMessageBox *box) { QTest::keyClick(box, Qt::Key_Return); });
        QCOMPARE(
            int(AppDialogs::message(nullptr, AppDialogs::Kind(kind), u"Delete group \"Music\"?"_s, AppDialogs::YesNo)),
            answer);
    }

    // A list of thousands of lines is cut, so that the box fits the screen and OK can be reached.
    void aLongListIsCut()
    {
        QStringList lines{u"These files could not be copied:"_s};
        for (int i = 1; i <= 1000; ++i)
            lines << u"/mnt/disc/file%1: No such file or directory"_s.arg(i);
        whenShown<QMessageBox>([](QMessageBox *box) {
            QCOMPARE(box->text().count(u'\n'), 24);
            QVERIFY(box->text().endsWith(u"file23: No such file or directory\n... and 977 more lines."_s));
            QVERIFY(box->sizeHint().height() < 1000);
            QTest::keyClick(box, Qt::Key_Return);
        });
        AppDialogs::message(nullptr, AppDialogs::Error, lines.join(u'\n'));
    }

    void inputBoxShowsItsCaptionAndAName()
    {
        const QString caption = u"Add Group to \"My Music Collection of the Nineties\""_s;
        int width = 0, captionWidth = 0, nameWidth = 0;
        whenShown<QInputDialog>([&](QInputDialog *box) {
            width = box->width();
            captionWidth = box->fontMetrics().horizontalAdvance(caption);
            QLineEdit *edit = box->findChild<QLineEdit *>();
            nameWidth = edit->width() - edit->fontMetrics().horizontalAdvance(u"Concerts and live recordings"_s);
            box->reject();
        });
        QString value;
        QVERIFY(!AppDialogs::inputBox(nullptr, caption, u"Group Name:"_s, value));
        QVERIFY2(width >= 300, qPrintable(QString::number(width)));
        QVERIFY2(width > captionWidth, qPrintable(u"%1 <= %2"_s.arg(width).arg(captionWidth)));
        QVERIFY2(nameWidth > 0, qPrintable(QString::number(nameWidth)));
        QCOMPARE(AppDialogs::shown().last().answer, u"Cancel"_s);
    }

    // The disc put in after some looks at the drives (-1: never), the answers to the prompt, the
    // folders or images picked when it offers them (empty: Cancel), and what comes back ("drive", a
    // folder, an image, or nothing).
    void waits_data()
    {
        QTest::addColumn<int>("insertAfter");
        QTest::addColumn<QList<int>>("answers");
        QTest::addColumn<QStringList>("folders");
        QTest::addColumn<QString>("found");
        const auto noFolder = QStringList();
        QTest::newRow("already in, no prompt") << 0 << QList<int>() << noFolder << u"drive"_s;
        QTest::newRow("OK looks again until it is in")
            << 2 << QList<int>{QMessageBox::Ok, QMessageBox::Ok} << noFolder << u"drive"_s;
        QTest::newRow("Cancel gives up") << -1 << QList<int>{QMessageBox::Cancel} << noFolder << QString();
        QTest::newRow("a folder chosen instead")
            << -1 << QList<int>{QMessageBox::Open} << QStringList{u"/mnt/copy"_s} << u"/mnt/copy"_s;
        QTest::newRow("the folder dialog cancelled asks again")
            << -1 << QList<int>{QMessageBox::Open, QMessageBox::Cancel} << QStringList{QString()} << QString();
        QTest::newRow("an image chosen instead")
            << -1 << QList<int>{QMessageBox::Apply} << QStringList{u"/srv/holiday.iso"_s} << u"/srv/holiday.iso"_s;
        QTest::newRow("the image dialog cancelled asks again")
            << -1 << QList<int>{QMessageBox::Apply, QMessageBox::Cancel} << QStringList{QString()} << QString();
    }
    void waits()
    {
        QFETCH(int, insertAfter);
        QFETCH(QList<int>, answers);
        QFETCH(QStringList, folders);
        QFETCH(QString, found);
        AppDialogs::setScripted(true);
        AppDialogs::clearShown();
        InsertingBackend backend;
        backend.root = backend.addVolume(ScanFixture::volume(m_dir.path(), 0x2A2A2A2A));
        backend.setPresent(backend.root, false);
        backend.insertAfter = insertAfter;
        for (const int a : answers)
            AppDialogs::pushAnswer(QMessageBox::StandardButton(a));
        for (const QString &f : folders)
            AppDialogs::pushFileName(f);
        const DiscSource source = folders.isEmpty() ? DiscSource::Drive : DiscSource::DriveFolderOrImage;
        QCOMPARE(WaitForCD(nullptr, u"2A2A2A2A"_s, u"Holiday 2003"_s, &backend, source),
                 found == u"drive"_s ? backend.root : found);
        QStringList prompts, dialogs;
        for (const AppDialogs::Shown &box : AppDialogs::shown()) {
            QCOMPARE(box.kind, AppDialogs::Information);
            box.what == u"message"_s ? prompts << box.text : dialogs << box.what;
        }
        QCOMPARE(prompts, QStringList(answers.size(), Prompt));
        // A folder is asked for with a folder dialog, an image with a file dialog.
        QCOMPARE(dialogs, QStringList(folders.size(), answers.value(0) == QMessageBox::Open ? u"folder"_s : u"open"_s));
        QCOMPARE(AppDialogs::pendingAnswers(), 0);
    }

    // A chosen name gets the dialog's extension unless it has one: a short word after its last ".".
    void savedNamesGetTheirExtension()
    {
        AppDialogs::setScripted(true);
        const QList<std::pair<QString, QString>> cases{{u"/r/Lent one Report"_s, u"/r/Lent one Report.html"_s},
                                                       {u"/r/Vol. 2 Report"_s, u"/r/Vol. 2 Report.html"_s},
                                                       {u"/r/list.txt"_s, u"/r/list.txt"_s},
                                                       {u"/r/old.HTM"_s, u"/r/old.HTM"_s}};
        for (const auto &[typed, saved] : cases) {
            AppDialogs::pushFileName(typed);
            QCOMPARE(AppDialogs::saveFileName(nullptr, u"Save Report"_s, u"HTML Page (*.html)"_s, u"html"_s, QString()),
                     saved);
        }
    }

    // Where files are fetched, the root of another disc chosen as the folder is refused and the
    // question comes back; a plain folder (a copy of the disc) is taken.
    void anotherDiscsRootIsRefused()
    {
        AppDialogs::setScripted(true);
        AppDialogs::clearShown();
        QTemporaryDir wrong, copy;
        InsertingBackend backend;
        backend.root = backend.addVolume(ScanFixture::volume(m_dir.path(), 0x2A2A2A2A));
        backend.setPresent(backend.root, false);
        backend.insertAfter = -1;
        backend.setPresent(backend.addVolume(ScanFixture::volume(wrong.path(), 0x3B3B3B3B)), true);
        AppDialogs::pushAnswer(QMessageBox::Open);
        AppDialogs::pushAnswer(QMessageBox::Open);
        AppDialogs::pushFileName(wrong.path());
        AppDialogs::pushFileName(copy.path());
        QCOMPARE(WaitForCD(nullptr, u"2A2A2A2A"_s, u"Holiday 2003"_s, &backend, DiscSource::DriveOrFolder),
                 copy.path());
        QCOMPARE(AppDialogs::shownTexts().filter(u"is the root of another disc (serial 3B3B3B3B)"_s).size(), 1);
        QCOMPARE(AppDialogs::pendingAnswers(), 0);
    }

    // On a dark palette the drawings' dark outlines take the palette's text colour, at every scale,
    // or the magnifier loses its handle and the door of Exit goes.
    void drawingsShowOnADarkPalette()
    {
        const QPalette saved = QApplication::palette();
        const auto restore = qScopeGuard([&saved] { QApplication::setPalette(saved); });
        QPalette dark = saved;
        dark.setColor(QPalette::Window, QColor(0x35, 0x35, 0x35));
        dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
        for (const QPalette &palette : {saved, dark}) {
            QApplication::setPalette(palette);
            for (const qreal scale : {1.0, 2.0}) {
                const QImage drawn = ThemeIcons::commandIcon(u"find_small.bmp"_s, u"find_big.bmp"_s)
                                         .pixmap(QSize(16, 16), scale)
                                         .toImage();
                QCOMPARE(drawn.size(), QSize(16, 16) * scale);
                int ink = 0, text = 0;
                for (int y = 0; y < drawn.height(); ++y)
                    for (int x = 0; x < drawn.width(); ++x) {
                        const QColor c = drawn.pixelColor(x, y);
                        ink += c.alpha() == 255 && c.rgb() == QColor(0x2e, 0x34, 0x40).rgb();
                        text += c.alpha() == 255 && c.rgb() == QColor(0xee, 0xee, 0xee).rgb();
                    }
                QVERIFY(palette == dark ? ink == 0 && text > 0 : ink > 0 && text == 0);
            }
        }
    }
};

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (qEnvironmentVariableIsSet(ChildSettings)) {
        // Wait until the window manager decorates a new window (Qt asks for a frame once, at mapping).
        for (int tries = 0;; ++tries) {
            QWidget probe;
            probe.show();
            if (QTest::qWaitFor([&probe] { return probe.frameGeometry() != probe.geometry(); }, 500))
                break;
            if (tries == 40)
                return 1;
        }
        for (const QRect &r : startAndClose(qEnvironmentVariable(ChildSettings), false, 3))
            printf("%d %d %d %d\n", r.x(), r.y(), r.width(), r.height());
        return 0;
    }
    TestGui test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_gui.moc"
