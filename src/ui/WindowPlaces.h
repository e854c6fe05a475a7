// Where each window opens. The first time: centred on the main window, at a size that shows its
// content whole (its size hint, never more than the screen). Later: at the size and place it
// had when it was last hidden, kept per workstation under "Windows/<window name>/geometry"; a
// kept place no screen shows any more (a monitor taken away) is centred again.
#pragma once

#include <QRect>
#include <QString>

class QSettings;
class QWidget;

namespace tarnvale {

class WindowPlaces
{
  public:
    explicit WindowPlaces(QSettings &store) : m_store(store) {}

    static QString key(const QWidget *window);
    // Sizes and moves a window about to be shown; `mainWindow` may be null (the screen's
    // centre then).
    void place(QWidget *window, const QWidget *mainWindow) const;
    // Keeps the window's size and place (of its frame) for the next time.
    void remember(const QWidget *window);

    // Whether enough of `frame` (its top edge, where it is grabbed) is on some screen.
    static bool onSomeScreen(const QRect &frame);

  private:
    QSettings &m_store;
};

} // namespace tarnvale
