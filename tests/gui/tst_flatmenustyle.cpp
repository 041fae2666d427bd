#include "gui/FlatMenuStyle.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

// The flat menu look as it paints: the band behind the icons, and the
// item under the mouse as a flat tinted bar with an outline, not the platform's raised one.
class TestFlatMenuStyle : public QObject
{
    Q_OBJECT

    std::unique_ptr<QMenu> m_menu;

    QImage paintedWithActive(QAction *active)
    {
        m_menu->setActiveAction(active);
        return m_menu->grab().toImage();
    }

private Q_SLOTS:
    void initTestCase() { QApplication::setStyle(new FlatMenuStyle); }
    void init()
    {
        m_menu = std::make_unique<QMenu>();
        m_menu->addAction(u"Contents"_s);
        m_menu->addAction(u"Check for Update"_s);
        m_menu->addSeparator();
        m_menu->addAction(u"About"_s);
        m_menu->resize(m_menu->sizeHint());
    }

    void gutterAndHoverBar()
    {
        QAction *about = m_menu->actions().constLast();
        const QRect item = m_menu->actionGeometry(about);
        const QPalette pal = m_menu->palette();

        const QImage idle = paintedWithActive(nullptr);
        const QPoint inGutter(item.left() + FlatMenuStyle::gutterWidth() / 2, item.top() + 2);
        QCOMPARE(idle.pixelColor(inGutter), pal.color(QPalette::Button));
        const QPoint inText(item.right() - 4, item.center().y());
        QCOMPARE(idle.pixelColor(inText), pal.color(QPalette::Base));

        const QImage hot = paintedWithActive(about);
        QCOMPARE(hot.pixelColor(inText), FlatMenuStyle::hoverFill(pal));
        // The bar's outline: the highlight colour on its top edge.
        QCOMPARE(hot.pixelColor(item.center().x() + item.width() / 4, item.top()), pal.color(QPalette::Highlight));
        // Only that item is lit.
        const QRect other = m_menu->actionGeometry(m_menu->actions().constFirst());
        QCOMPARE(hot.pixelColor(other.right() - 4, other.center().y()), pal.color(QPalette::Base));
    }
};

QTEST_MAIN(TestFlatMenuStyle)
#include "tst_flatmenustyle.moc"
