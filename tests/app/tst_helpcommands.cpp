#include "TestWindow.h"
#include "app/TAboutForm.h"
#include "core/Version.h"

#include <QDesktopServices>
#include <QDir>
#include <QPushButton>
#include <QRegularExpression>

using namespace Qt::Literals::StringLiterals;

// The Help menu's own commands: the manual (F1) and the about box.
class TestHelpCommands : public QObject
{
    Q_OBJECT

    TestWindow::Fixture m_fx;
    QList<QUrl> m_opened;
    const QString &data() const { return m_fx.data(); }

public Q_SLOTS:
    void openUrl(const QUrl &url) { m_opened.append(url); }

private Q_SLOTS:
    void initTestCase()
    {
        TestWindow::setUp();
        QDesktopServices::setUrlHandler(u"file"_s, this, "openUrl");
    }
    void cleanupTestCase() { QDesktopServices::unsetUrlHandler(u"file"_s); }
    void init()
    {
        m_fx.init(false);
        m_opened.clear();
    }

    void f1OpensTheManual()
    {
        QDir().mkpath(data() + u"help"_s);
        QFile page(data() + u"help/index.html"_s);
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write("<html><title>Quillory! Help</title></html>");
        page.close();
        TestWindow::Window w(data());
        QCOMPARE(w.action(u"Contents1"_s)->shortcut(), QKeySequence(Qt::Key_F1));
        w.action(u"Contents1"_s)->trigger();
        QCOMPARE(m_opened, QList<QUrl>{QUrl::fromLocalFile(data() + u"help/index.html"_s)});
        QVERIFY(AppDialogs::shown().isEmpty());
    }

    void theShippedManualIsComplete()
    {
        // Every page and picture the manual links to is there.
        const QString manual = QStringLiteral(QUILLORY_SOURCE_DIR "/docs/manual/");
        QFile index(manual + u"index.html"_s);
        QVERIFY(index.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(index.readAll());
        static const QRegularExpression link(QStringLiteral("(?:href|src)=\"([^\"#:]+)\""));
        int links = 0;
        for (auto it = link.globalMatch(html); it.hasNext(); ++links) {
            const QString target = it.next().captured(1);
            QVERIFY2(QFileInfo::exists(manual + target), qPrintable(target));
        }
        QVERIFY(links >= 8);
    }

    void aboutBoxRollsItsCredits()
    {
        TestWindow::Window w(data());
        w.action(u"About1"_s)->trigger();
        auto *about = w->findChild<TAboutForm *>(u"AboutForm"_s);
        QVERIFY(about && about->isVisible());
        QCOMPARE(about->credits().first(), u"Quillory! "_s + QuilloryVersion());
        QVERIFY(about->isScrolling());
        QCOMPARE(about->scrollOffset(), 0);
        about->step();
        about->step();
        QCOMPARE(about->scrollOffset(), 2);
        // The roll starts again once every line has left the picture.
        int steps = 0;
        while (about->scrollOffset() != 0 && steps < 10000) {
            about->step();
            ++steps;
        }
        QVERIFY(steps > 100 && steps < 10000);

        QTest::mouseClick(about->findChild<QPushButton *>(u"OKButton"_s), Qt::LeftButton);
        QVERIFY(!about->isVisible());
        QVERIFY(!about->isScrolling());
        // Shown again: the same window, from the top.
        about->step();
        w.action(u"About1"_s)->trigger();
        QCOMPARE(w->findChildren<TAboutForm *>().size(), 1);
        QCOMPARE(about->scrollOffset(), 0);
        QVERIFY(about->isScrolling());
    }
};

QTEST_MAIN(TestHelpCommands)
#include "tst_helpcommands.moc"
