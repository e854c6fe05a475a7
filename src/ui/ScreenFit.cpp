#include "ScreenFit.h"

#include <QAction>
#include <QEvent>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QKeySequence>
#include <QMargins>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <algorithm>

#include "Dialogs.h"

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

bool ScreenFit::typedInto(const QWidget *window)
{
    const QList<QLineEdit *> boxes = window->findChildren<QLineEdit *>();
    return std::any_of(boxes.begin(), boxes.end(), [](const QLineEdit *box) {
        // A list's or a date's own line is chosen from, not typed into.
        const QWidget *owner = box->parentWidget();
        return box->isModified() && !box->text().isEmpty()
               && !qobject_cast<const QComboBox *>(owner)
               && !qobject_cast<const QAbstractSpinBox *>(owner);
    });
}

bool ScreenFit::discardTyped(Dialogs &dialogs, const QWidget *window)
{
    const QString text = QStringLiteral("What you typed in this window has not been saved.")
                         + QString::fromUtf16(kCrLf) + QString::fromUtf16(kCrLf)
                         + QStringLiteral("Close the window and discard it?");
    return dialogs.askDefaultNo(window->windowTitle(), text, MessageIcon::Exclamation)
           == Answer::Yes;
}

bool ScreenFit::ownWindow(const QWidget *widget) const
{
    // The program names each of its windows "frm..."; Qt's own boxes keep their ways.
    return widget != m_mainWindow && widget->objectName().startsWith(u"frm");
}

bool ScreenFit::eventFilter(QObject *watched, QEvent *event)
{
    if (!watched->isWidgetType())
        return QObject::eventFilter(watched, event);
    auto *widget = static_cast<QWidget *>(watched);
    const Qt::WindowType type = widget->windowType();
    if (!widget->isWindow() || (type != Qt::Window && type != Qt::Dialog))
        return QObject::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress && ownWindow(widget)) {
        // Reached the window: no box in it took the key for itself (an open cell editor does).
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier) {
            widget->close();
            return true;
        }
    }
    if (event->type() == QEvent::Hide && m_places && ownWindow(widget))
        m_places->remember(widget);
    if (event->type() == QEvent::Show) {
        if (m_places && ownWindow(widget))
            m_places->place(widget, m_mainWindow);
        fit(widget);
        if (widget != m_mainWindow)
            addCloseKey(widget);
        // The frame is known once the window manager has framed the window.
        QTimer::singleShot(0, widget, [guard = QPointer<QWidget>(widget)] { fit(guard); });
    }
    return QObject::eventFilter(watched, event);
}

} // namespace tarnvale
