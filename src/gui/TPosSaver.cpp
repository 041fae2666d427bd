#include "TPosSaver.h"
#include "ScreenFit.h"

#include <QGuiApplication>
#include <QRegion>
#include <QScreen>
#include <QSettings>
#include <QWidget>
#include <algorithm>
#include <optional>

using namespace Qt::StringLiterals;

namespace
{

// The stored bounds are the window's own area, without the frame the window manager draws
// round it: the window is already on screen when its place is restored, and a window manager
// that has not yet reported its frame would take a frame position as the inner one, moving the
// window up by its title bar at every start. setGeometry() puts the inner area back exactly.
const QString Top = u"Top"_s;
const QString Left = u"Left"_s;
const QString Width = u"Width"_s;
const QString Height = u"Height"_s;
const QString Maximized = u"Maximized"_s;

std::optional<int> storedInt(const QSettings &settings, const QString &name)
{
    if (!settings.contains(name))
        return std::nullopt;
    bool ok = false;
    const int v = settings.value(name).toString().trimmed().toInt(&ok);
    return ok ? std::optional<int>(v) : std::nullopt;
}

void writeBounds(QSettings &settings, const QRect &bounds)
{
    settings.setValue(Top, bounds.y());
    settings.setValue(Left, bounds.x());
    settings.setValue(Width, bounds.width());
    settings.setValue(Height, bounds.height());
}

bool onSomeScreen(const QRect &bounds)
{
    for (const QScreen *screen : QGuiApplication::screens())
        if (screen->availableGeometry().intersects(bounds))
            return true;
    return false;
}

// Whether the bounds, frame and all, lie whole on the desktop (one screen, or several side by side).
// Bounds saved on a larger desktop, or edited in the file by hand, may reach onto a screen and
// still run off it, which would leave the window's edges and title bar out of reach.
bool onTheDesktop(const QRect &bounds, const QMargins &frame)
{
    QRegion desktop;
    for (const QScreen *screen : QGuiApplication::screens())
        desktop += screen->availableGeometry();
    return QRegion(bounds.marginsAdded(frame)).subtracted(desktop).isEmpty();
}

// The screen that holds most of the bounds; the primary one when none holds any.
QScreen *mostOf(const QRect &bounds)
{
    QScreen *best = QGuiApplication::primaryScreen();
    qint64 most = 0;
    for (QScreen *screen : QGuiApplication::screens()) {
        const QRect common = screen->availableGeometry().intersected(bounds);
        if (qint64(common.width()) * common.height() > most) {
            most = qint64(common.width()) * common.height();
            best = screen;
        }
    }
    return best;
}

} // namespace

TPosSaver::TPosSaver(QWidget *form, const QString &settingsFile)
    : QObject(form), m_form(form), m_settingsFile(settingsFile)
{
}

QString TPosSaver::IniSection() const
{
    return m_iniSection.isEmpty() ? u"TPosSaver"_s : m_iniSection;
}

void TPosSaver::centre(QWidget *form)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect desktop = screen->availableGeometry();
    const QSize outer = form->frameGeometry().size();
    // A window larger than a small screen (its least size under large fonts) keeps its title bar and
    // menus on it: what runs off is the bottom and the right.
    // Not framed yet, the window is placed by its inside: room is left for the title bar to come.
    const int titleBar = form->frameGeometry() == form->geometry() ? ScreenFit::frameMargins(form).top() : 0;
    form->move(std::max(desktop.x(), desktop.x() + (desktop.width() - outer.width()) / 2),
               std::max(desktop.y() + titleBar, desktop.y() + (desktop.height() - outer.height()) / 2));
}

void TPosSaver::RestorePosition()
{
    if (!m_useRegistry) {
        restoreFromIni();
        return;
    }
    ScreenFit::leastSizeWithin(m_form, QGuiApplication::primaryScreen());
    const QSettings settings(m_settingsFile, QSettings::IniFormat);
    const std::optional<int> top = storedInt(settings, Top), left = storedInt(settings, Left),
                             width = storedInt(settings, Width), height = storedInt(settings, Height);
    if (!top || !left || !width || !height) {
        centre(m_form);
        return;
    }
    const QRect bounds(*left, *top, *width, *height);
    if (bounds.isEmpty()) {
        centre(m_form);
        return;
    }
    const QMargins frame = ScreenFit::frameMargins(m_form);
    ScreenFit::leastSizeWithin(m_form, mostOf(bounds));
    m_form->setGeometry(onTheDesktop(bounds, frame) ? bounds : ScreenFit::onto(mostOf(bounds), bounds, frame));
    if (!onSomeScreen(bounds))
        centre(m_form);
    if (storedInt(settings, Maximized).value_or(0) != 0)
        m_form->setWindowState(m_form->windowState() | Qt::WindowMaximized);
}

void TPosSaver::SavePosition()
{
    if (!m_useRegistry) {
        saveToIni();
        return;
    }
    QSettings settings(m_settingsFile, QSettings::IniFormat);
    const bool maximized = m_form->isMaximized();
    settings.setValue(Maximized, maximized ? 1 : 0);
    // A maximised window keeps the bounds of its last normal state.
    if (!maximized)
        writeBounds(settings, m_form->geometry());
    settings.sync(); // a file that cannot be written is no reason to stop closing
}

void TPosSaver::restoreFromIni()
{
    QSettings settings(m_iniName, QSettings::IniFormat);
    settings.beginGroup(IniSection());
    const QRect now = m_form->geometry();
    m_form->setGeometry(storedInt(settings, Left).value_or(now.x()), storedInt(settings, Top).value_or(now.y()),
                        storedInt(settings, Width).value_or(now.width()),
                        storedInt(settings, Height).value_or(now.height()));
}

void TPosSaver::saveToIni()
{
    QSettings settings(m_iniName, QSettings::IniFormat);
    settings.beginGroup(IniSection());
    writeBounds(settings, m_form->geometry());
    settings.sync();
}
