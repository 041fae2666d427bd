#include "TestWindow.h"
#include "browser/ui/ContentsPanel.h"
#include "browser/ui/ContentsView.h"
#include "listing/FormatSize.h"
#include "store/ContentsFile.h"

#include <QAbstractItemView>
#include <QHeaderView>
#include <QTreeView>

using namespace Qt::Literals::StringLiterals;

// The details list as read on screen: a size fits its column, and a selected row keeps its
// icon as drawn (the HTML page's blue icon once vanished into the blue selection).
class TestDetailsRows : public QObject
{
    Q_OBJECT

    TestWindow::Fixture m_fx;

private Q_SLOTS:
    void initTestCase() { TestWindow::setUp(); }
    void init() { m_fx.init(); }
    void cleanup() { m_fx.cleanup(); }

    void selectedRowKeepsItsIconAndSizeFits()
    {
        TestWindow::Window &w = m_fx.open();
        const TCD cd{.Title = u"Web"_s, .Serial = u"0EB00001"_s};
        w.tree().addDisc(w.tree().root(), cd);
        TestCatalogue::packDisc(m_fx.db(), cd.Serial, [](ContentsListWriter &, ContentsListWriter &files) {
            files.writeFileRecord(u"index.html"_s, u"\\"_s, 1005, TestCatalogue::date(2024, 1, 1));
        });
        QVERIFY(w.show());
        w.action(u"Details1"_s)->trigger();
        w.nav().TreeChange(w.node(u"Web"_s));
        auto *details = w.form().contentsPanel()->view()->findChild<QTreeView *>(u"ExplorerDetails"_s);
        QVERIFY(details && details->isVisible());

        const int html = w.row(u"index.html"_s);
        QVERIFY(html >= 0);
        const QModelIndex size = details->model()->index(html, 3);
        QCOMPARE(size.data().toString(), FormatSize(1005));
        QVERIFY(details->header()->sectionSize(3) >= details->sizeHintForIndex(size).width());

        const QModelIndex name = details->model()->index(html, 0);
        details->selectionModel()->select(name, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        details->setFocus();
        const QImage icon = name.data(Qt::DecorationRole)
                                .value<QIcon>()
                                .pixmap(details->iconSize().isValid() ? details->iconSize() : QSize(16, 16))
                                .toImage()
                                .convertToFormat(QImage::Format_ARGB32);
        const QImage shot = details->viewport()->grab().toImage().convertToFormat(QImage::Format_ARGB32);
        const QRect row = details->visualRect(name);
        QVERIFY(findsOpaquePixels(shot, icon, row));
    }

private:
    // Whether icon's fully opaque pixels appear unchanged somewhere in area of shot.
    static bool findsOpaquePixels(const QImage &shot, const QImage &icon, const QRect &area)
    {
        for (int top = area.top(); top + icon.height() <= area.bottom() + 1; ++top)
            for (int left = area.left(); left + icon.width() <= area.right() + 1; ++left) {
                bool same = true;
                for (int y = 0; same && y < icon.height(); ++y)
                    for (int x = 0; same && x < icon.width(); ++x)
                        if (qAlpha(icon.pixel(x, y)) == 255 && shot.pixel(left + x, top + y) != icon.pixel(x, y))
                            same = false;
                if (same)
                    return true;
            }
        return false;
    }
};

QTEST_MAIN(TestDetailsRows)
#include "tst_detailsrows.moc"
