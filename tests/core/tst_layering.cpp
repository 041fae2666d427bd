// Reads the sources under src/ and checks that every include points down the layer table (see
// docs/ARCHITECTURE.md): a layer that reaches up, or two folders that include each other, soon
// make every change a change to everything. The headless layers also must not pull in widgets,
// since the command line and the core tests link QtCore only.

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLibraryInfo>
#include <QRegularExpression>
#include <QSet>
#include <QtTest>

using namespace Qt::Literals::StringLiterals;

namespace
{

// Lowest first. An entry may include the ones before it.
const QStringList coreLayers = {u"core"_s,   u"cabinet"_s, u"store"_s,   u"settings"_s, u"acquire"_s, u"listing"_s, u"browser"_s,
                                u"search"_s, u"compile"_s, u"reports"_s, u"backup"_s,   u"session"_s};

const QStringList widgetModules = {u"QtGui"_s,        u"QtWidgets"_s, u"QtPrintSupport"_s, u"QtSvg"_s,
                                   u"QtSvgWidgets"_s, u"QtOpenGL"_s,  u"QtOpenGLWidgets"_s};

struct Include {
    QString file; // relative to the repository, e.g. src/store/TCD.cpp
    int line = 0;
    QString text;   // as written: "store/TCD.h" or <QWidget>
    QString from;   // folder under src/ of the including file
    QString to;     // folder under src/ of the included file; empty for system and Qt headers
    QString header; // the header's path, for widget checks
    bool angled = false;

    QString where() const { return u"%1:%2: #include %3"_s.arg(file).arg(line).arg(text); }
};

bool isFeatureUi(const QString &folder)
{
    return folder.endsWith(u"/ui"_s) && coreLayers.contains(folder.chopped(3));
}

bool isKnown(const QString &folder)
{
    return coreLayers.contains(folder) || isFeatureUi(folder) || folder == u"gui"_s || folder == u"app"_s ||
           folder == u"cli"_s;
}

// Empty when `from` may include `to`; otherwise the rule that forbids it.
QString brokenRule(const QString &from, const QString &to)
{
    if (from == to)
        return {};
    for (const QString &f : {from, to}) {
        if (!isKnown(f))
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
    if (from == u"cli"_s)
        return toRank >= 0 ? QString() : u"cli may include core layers only, never gui/, app/ or a ui/ folder"_s;
    if (from == u"gui"_s)
        return toRank >= 0 ? QString() : u"gui may include core layers only"_s;
    // A feature's ui folder.
    if (toRank >= 0 || to == u"gui"_s)
        return {};
    return u"a ui folder may include core layers, gui/ and itself, not %1/"_s.arg(to);
}

QString folderOf(const QString &pathUnderSrc)
{
    const qsizetype slash = pathUnderSrc.lastIndexOf(u'/');
    return slash < 0 ? QString() : pathUnderSrc.left(slash);
}

// The folder under src/ that a quoted or angled include lands in, resolved the way the compiler
// does: next to the including file first, then from src/. A name under a src/ folder that does
// not exist there (a generated header such as core/Version.h) still belongs to that folder.
QString targetFolder(const QDir &src, const Include &inc, QString *header)
{
    const QString name = inc.text.mid(1, inc.text.size() - 2);
    if (!inc.angled) {
        const QString local = QDir::cleanPath(inc.from + u'/' + name);
        if (!local.startsWith(u"../"_s) && QFileInfo::exists(src.filePath(local))) {
            *header = local;
            return folderOf(local);
        }
    }
    *header = name;
    if (QFileInfo::exists(src.filePath(name)))
        return folderOf(name);
    if (!inc.angled && !name.contains(u'/'))
        return inc.from;
    const QString first = name.section(u'/', 0, 0);
    if (name.contains(u'/') && QFileInfo(src.filePath(first)).isDir())
        return folderOf(name);
    return {};
}

} // namespace

class TestLayering : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        const QDir src(QStringLiteral(QUILLORY_SOURCE_DIR "/src"));
        QVERIFY2(src.exists(), qPrintable(src.path()));
        static const QRegularExpression includeLine(u"^\\s*#\\s*include\\s*([<\"][^>\"]+[>\"])"_s);
        QDirIterator it(src.path(), {u"*.h"_s, u"*.cpp"_s, u"*.in"_s}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            const QString underSrc = src.relativeFilePath(path);
            QFile file(path);
            QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
            int lineNo = 0;
            while (!file.atEnd()) {
                const QString line = QString::fromUtf8(file.readLine());
                ++lineNo;
                const auto m = includeLine.match(line);
                if (!m.hasMatch())
                    continue;
                Include inc;
                inc.file = u"src/"_s + underSrc;
                inc.line = lineNo;
                inc.text = m.captured(1);
                inc.angled = inc.text.startsWith(u'<');
                inc.from = folderOf(underSrc);
                inc.to = targetFolder(src, inc, &inc.header);
                m_includes.append(inc);
            }
        }
        // A scanner that silently matched nothing would pass every check below.
        const auto crossFolder = std::count_if(m_includes.cbegin(), m_includes.cend(),
                                               [](const Include &i) { return !i.to.isEmpty() && i.to != i.from; });
        QVERIFY2(crossFolder >= 20, qPrintable(u"only %1 includes across folders found under src/"_s.arg(crossFolder)));
    }

    void includesPointDownTheLayers()
    {
        QStringList faults;
        for (const Include &inc : std::as_const(m_includes)) {
            if (inc.to.isEmpty())
                continue;
            if (const QString rule = brokenRule(inc.from, inc.to); !rule.isEmpty())
                faults << u"%1 (%2 -> %3): %4"_s.arg(inc.where(), inc.from, inc.to, rule);
        }
        faults.sort();
        QVERIFY2(faults.isEmpty(), qPrintable(u"\n"_s + faults.join(u'\n')));
    }

    void noCycleBetweenFolders()
    {
        // One include per folder edge is enough to name in a report.
        QHash<QString, QHash<QString, const Include *>> edges;
        for (const Include &inc : std::as_const(m_includes)) {
            if (!inc.to.isEmpty() && inc.to != inc.from && !edges[inc.from].contains(inc.to))
                edges[inc.from].insert(inc.to, &inc);
        }
        QStringList faults;
        QSet<QString> reported;
        for (auto start = edges.cbegin(); start != edges.cend(); ++start) {
            // Breadth-first from `start`; a way back to it is a cycle.
            QHash<QString, QString> cameFrom;
            QStringList queue{start.key()};
            QString closing;
            for (qsizetype i = 0; i < queue.size() && closing.isEmpty(); ++i) {
                const QString &at = queue.at(i);
                for (auto e = edges.value(at).cbegin(); e != edges.value(at).cend(); ++e) {
                    if (e.key() == start.key()) {
                        closing = at;
                        break;
                    }
                    if (!cameFrom.contains(e.key()) && e.key() != start.key()) {
                        cameFrom.insert(e.key(), at);
                        queue << e.key();
                    }
                }
            }
            if (closing.isEmpty())
                continue;
            QStringList cycle{start.key()};
            for (QString at = closing; at != start.key(); at = cameFrom.value(at))
                cycle.insert(1, at);
            QStringList key = cycle;
            key.sort();
            if (reported.contains(key.join(u' ')))
                continue;
            reported.insert(key.join(u' '));
            QStringList why;
            for (qsizetype i = 0; i < cycle.size(); ++i)
                why << edges.value(cycle.at(i)).value(cycle.at((i + 1) % cycle.size()))->where();
            faults << u"cycle %1 -> %2:\n    %3"_s.arg(cycle.join(u" -> "_s), start.key(), why.join(u"\n    "_s));
        }
        faults.sort();
        QVERIFY2(faults.isEmpty(), qPrintable(u"\n"_s + faults.join(u'\n')));
    }

    void headlessLayersIncludeNoWidgets()
    {
        const QDir qtHeaders(QLibraryInfo::path(QLibraryInfo::HeadersPath));
        QVERIFY2(qtHeaders.exists(u"QtWidgets/QWidget"_s),
                 qPrintable(u"Qt's headers are not at %1; cannot tell widget headers apart"_s.arg(qtHeaders.path())));
        QStringList faults;
        for (const Include &inc : std::as_const(m_includes)) {
            if (!inc.to.isEmpty() || !(coreLayers.contains(inc.from) || inc.from == u"cli"_s))
                continue;
            const QString module = inc.header.section(u'/', 0, 0);
            const bool widgets = widgetModules.contains(module) ||
                                 std::any_of(widgetModules.cbegin(), widgetModules.cend(), [&](const QString &m) {
                                     return !inc.header.contains(u'/') && qtHeaders.exists(m + u'/' + inc.header);
                                 });
            if (widgets)
                faults << u"%1: %2 links QtCore only; widgets, images and printing belong in gui/ or a ui/ folder"_s
                              .arg(inc.where(), inc.from);
        }
        faults.sort();
        QVERIFY2(faults.isEmpty(), qPrintable(u"\n"_s + faults.join(u'\n')));
    }

private:
    QList<Include> m_includes;
};

QTEST_GUILESS_MAIN(TestLayering)
#include "tst_layering.moc"
