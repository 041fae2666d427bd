// Reads the sources under src/ and checks that every include points down the layer table (see
// docs/ARCHITECTURE.md): a layer that reaches up, or two folders that include each other (which
// the table rules out), soon make every change a change to everything. The headless layers also
// must not pull in widgets, since the command line and the core tests link QtCore only.

#include <QDirIterator>
#include <QLibraryInfo>
#include <QRegularExpression>
#include <QtTest>

using namespace Qt::Literals::StringLiterals;

namespace
{

// Lowest first. An entry may include the ones before it.
const QStringList coreLayers = {u"core"_s,   u"cabinet"_s, u"store"_s,   u"settings"_s, u"acquire"_s, u"listing"_s, u"browser"_s,
                                u"search"_s, u"compile"_s, u"reports"_s, u"backup"_s,   u"session"_s};

const QStringList widgetModules = {u"QtGui"_s,        u"QtWidgets"_s, u"QtPrintSupport"_s, u"QtSvg"_s,
                                   u"QtSvgWidgets"_s, u"QtOpenGL"_s,  u"QtOpenGLWidgets"_s};

// Empty when `from` may include `to`; otherwise the rule that forbids it.
QString brokenRule(const QString &from, const QString &to)
{
    if (from == to)
        return {};
    for (const QString &f : {from, to}) {
        const bool featureUi = f.endsWith(u"/ui"_s) && coreLayers.contains(f.chopped(3));
        if (!featureUi && !coreLayers.contains(f) && f != u"gui"_s && f != u"app"_s && f != u"cli"_s)
            return u"src/%1/ has no place in the layer table; give it one before it includes or is included"_s.arg(f);
    }
    const qsizetype toRank = coreLayers.indexOf(to);
    if (const qsizetype fromRank = coreLayers.indexOf(from); fromRank >= 0) {
        if (toRank < 0)
            return u"%1 is a core layer and may not include windows (gui/, */ui/, app/, cli/)"_s.arg(from);
        if (toRank > fromRank)
            return u"points up the layer table: %1 may include only %2"_s.arg(
                from, fromRank == 0 ? u"itself"_s : coreLayers.first(fromRank).join(u", "_s));
        return {};
    }
    if (from == u"app"_s)
        return to == u"cli"_s ? u"app may include anything but cli/"_s : QString();
    if (from == u"cli"_s || from == u"gui"_s)
        return toRank >= 0 ? QString() : u"%1 may include core layers only"_s.arg(from);
    // A feature's ui folder.
    if (toRank >= 0 || to == u"gui"_s)
        return {};
    return u"a ui folder may include core layers, gui/ and itself, not %1/"_s.arg(to);
}

QString folderOf(const QString &pathUnderSrc)
{
    return pathUnderSrc.left(std::max<qsizetype>(0, pathUnderSrc.lastIndexOf(u'/')));
}

// The folder under src/ that an include lands in, resolved the way the compiler does: next to
// the including file first, then from src/. A name under a src/ folder that does not exist there
// (a generated header such as core/Version.h) still belongs to that folder. Empty for system and
// Qt headers.
QString targetFolder(const QDir &src, const QString &from, const QString &name, bool angled)
{
    const QString local = QDir::cleanPath(from + u'/' + name);
    if (!angled && !local.startsWith(u"../"_s) && QFileInfo::exists(src.filePath(local)))
        return folderOf(local);
    if (!angled && !name.contains(u'/'))
        return from;
    if (name.contains(u'/') && QFileInfo(src.filePath(name.section(u'/', 0, 0))).isDir())
        return folderOf(name);
    return {};
}

} // namespace

class TestLayering : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void includesPointDownTheLayers()
    {
        const QDir src(QStringLiteral(QUILLORY_SOURCE_DIR "/src"));
        const QDir qtHeaders(QLibraryInfo::path(QLibraryInfo::HeadersPath));
        QVERIFY2(qtHeaders.exists(u"QtWidgets/QWidget"_s),
                 qPrintable(u"Qt's headers are not at %1; cannot tell widget headers apart"_s.arg(qtHeaders.path())));
        static const QRegularExpression includeLine(u"^\\s*#\\s*include\\s*([<\"])([^>\"]+)[>\"]"_s);
        QStringList faults;
        int crossFolder = 0;
        QDirIterator it(src.path(), {u"*.h"_s, u"*.cpp"_s, u"*.in"_s}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString underSrc = src.relativeFilePath(it.next());
            const QString from = folderOf(underSrc);
            QFile file(it.filePath());
            QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(it.filePath()));
            for (int lineNo = 1; !file.atEnd(); ++lineNo) {
                const auto m = includeLine.match(QString::fromUtf8(file.readLine()));
                if (!m.hasMatch())
                    continue;
                const QString name = m.captured(2);
                const QString to = targetFolder(src, from, name, m.captured(1) == u"<"_s);
                const QString where = u"src/%1:%2: #include %3"_s.arg(underSrc).arg(lineNo).arg(name);
                crossFolder += !to.isEmpty() && to != from;
                if (const QString rule = to.isEmpty() ? QString() : brokenRule(from, to); !rule.isEmpty())
                    faults << u"%1 (%2 -> %3): %4"_s.arg(where, from, to, rule);
                const bool headless = coreLayers.contains(from) || from == u"cli"_s;
                const bool widgets = std::any_of(widgetModules.cbegin(), widgetModules.cend(), [&](const QString &w) {
                    return name.startsWith(w + u'/') || (!name.contains(u'/') && qtHeaders.exists(w + u'/' + name));
                });
                if (to.isEmpty() && headless && widgets)
                    faults << u"%1: %2 links QtCore only; widgets, images and printing belong in gui/ or a ui/ folder"_s
                                  .arg(where, from);
            }
        }
        // A scanner that silently matched nothing would pass every check.
        QVERIFY2(crossFolder >= 20, qPrintable(u"only %1 includes across folders found under src/"_s.arg(crossFolder)));
        faults.sort();
        QVERIFY2(faults.isEmpty(), qPrintable(u"\n"_s + faults.join(u'\n')));
    }
};

QTEST_GUILESS_MAIN(TestLayering)
#include "tst_layering.moc"
