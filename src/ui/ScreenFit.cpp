#include "ScreenFit.h"

#include <QAction>
#include <QEvent>
#include <QKeySequence>
#include <QMargins>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace tarnvale {

void ScreenFit::fit(QWidget *window)
{
    if (!window || window->isMaximized() || window->isFullScreen())
        return;
    QScreen *screen = window->screen();
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    const QMargins frame =
        window->windowHandle() ? window->windowHandle()->frameMargins() : QMargins();
    const int width = std::min(window->width(), available.width() - frame.left() - frame.right());
    const int height =
        std::min(window->height(), available.height() - frame.top() - frame.bottom());
    if (width != window->width() || height != window->height())
        window->resize(std::max(width, window->minimumWidth()),
                       std::max(height, window->minimumHeight()));
    // Only a window that has been placed is moved; one not placed yet is centred by the
    // window manager, which keeps it inside the same area.
    if (!window->testAttribute(Qt::WA_Moved) && !window->isVisible())
        return;
    QRect outer = window->frameGeometry();
    outer.moveRight(std::min(outer.right(), available.right()));
    outer.moveBottom(std::min(outer.bottom(), available.bottom()));
    outer.moveLeft(std::max(outer.left(), available.left()));
    outer.moveTop(std::max(outer.top(), available.top()));
    if (outer.topLeft() != window->frameGeometry().topLeft())
        window->move(outer.topLeft());
}

void ScreenFit::addCloseKey(QWidget *window)
{
    const QList<QKeySequence> keys = QKeySequence::keyBindings(QKeySequence::Close);
    if (keys.isEmpty())
        return;
    const QList<QAction *> actions = window->findChildren<QAction *>();
    for (const QAction *action : actions)
        for (const QKeySequence &key : action->shortcuts())
            if (keys.contains(key))
                return;
    auto *close = new QAction(window);
    close->setObjectName(QStringLiteral("actCloseKey"));
    close->setShortcuts(keys);
    QObject::connect(close, &QAction::triggered, window, &QWidget::close);
    window->addAction(close);
}

bool ScreenFit::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Show && watched->isWidgetType()) {
        auto *widget = static_cast<QWidget *>(watched);
        const Qt::WindowType type = widget->windowType();
        if (widget->isWindow() && (type == Qt::Window || type == Qt::Dialog)) {
            fit(widget);
            if (widget != m_mainWindow)
                addCloseKey(widget);
            // The frame is known once the window manager has framed the window.
            QTimer::singleShot(0, widget, [guard = QPointer<QWidget>(widget)] { fit(guard); });
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace tarnvale
