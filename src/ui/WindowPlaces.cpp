#include "WindowPlaces.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QWidget>

#include <algorithm>

namespace tarnvale {

QString WindowPlaces::key(const QWidget *window)
{
    return QStringLiteral("Windows/%1/geometry").arg(window->objectName());
}

bool WindowPlaces::onSomeScreen(const QRect &frame)
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    return std::any_of(screens.begin(), screens.end(), [&frame](const QScreen *screen) {
        const QRect available = screen->availableGeometry();
        const QRect shown = available.intersected(frame);
        return frame.top() >= available.top() && frame.top() < available.bottom() - 20
               && shown.width() >= std::min(frame.width(), 100);
    });
}

void WindowPlaces::place(QWidget *window, const QWidget *mainWindow) const
{
    const QScreen *screen = mainWindow ? mainWindow->screen() : window->screen();
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    // The frame's size as the main window has it; the window's own is not known before shown.
    const QSize frame = mainWindow && mainWindow->isVisible()
                            ? mainWindow->frameGeometry().size() - mainWindow->size()
                            : QSize(0, 0);
    const QRect kept = m_store.value(key(window)).toRect();
    QSize size = kept.isValid() ? kept.size()
                                : window->size().expandedTo(window->sizeHint());
    size = size.boundedTo(available.size() - frame)
               .expandedTo(window->minimumSize())
               .boundedTo(window->maximumSize());
    window->resize(size);
    if (kept.isValid() && onSomeScreen(QRect(kept.topLeft(), size + frame))) {
        window->move(kept.topLeft());
        return;
    }
    const QPoint centre = mainWindow && mainWindow->isVisible()
                              ? mainWindow->frameGeometry().center()
                              : available.center();
    QRect outer(QPoint(0, 0), size + frame);
    outer.moveCenter(centre);
    outer.moveRight(std::min(outer.right(), available.right()));
    outer.moveBottom(std::min(outer.bottom(), available.bottom()));
    outer.moveLeft(std::max(outer.left(), available.left()));
    outer.moveTop(std::max(outer.top(), available.top()));
    window->move(outer.topLeft());
}

void WindowPlaces::remember(const QWidget *window)
{
    if (window->isMinimized() || window->isMaximized() || window->isFullScreen())
        return;
    m_store.setValue(key(window), QRect(window->pos(), window->size()));
}

} // namespace tarnvale
