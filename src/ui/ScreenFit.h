// Keeps every window the program shows inside the available area of its screen (the screen
// less its panels), so that no button ends up below the bottom edge of a small screen, and
// lets the platform's close key (Ctrl+W on most) and Escape close any window but the main one.
// A window whose closing would lose what was typed asks first in its own closeEvent().
#pragma once

#include <QObject>

#include <optional>

#include "WindowPlaces.h"

class QSettings;
class QWidget;

namespace tarnvale {

class Dialogs;

class ScreenFit : public QObject
{
    Q_OBJECT

  public:
    // Installed on the application, it fits each window as it is shown; `mainWindow` keeps
    // its own way of closing (it ends the program). With `places`, each of the program's own
    // windows opens where WindowPlaces puts it.
    explicit ScreenFit(QWidget *mainWindow, QSettings *places = nullptr, QObject *parent = nullptr)
        : QObject(parent), m_mainWindow(mainWindow)
    {
        if (places)
            m_places.emplace(*places);
    }

    // Shrinks the window to the available area, frame included, and moves it inside.
    static void fit(QWidget *window);

    // Gives the window an action that closes it on the close key, unless one of its actions
    // already answers that key.
    static void addCloseKey(QWidget *window);

    // Whether a box of the window holds text the user typed (not what the program put there).
    static bool typedInto(const QWidget *window);
    // Asked before a window with typed input closes: Yes discards it; No, the default, keeps
    // the window open.
    static bool discardTyped(Dialogs &dialogs, const QWidget *window);

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    bool ownWindow(const QWidget *widget) const;

    QWidget *m_mainWindow;
    std::optional<WindowPlaces> m_places;
};

} // namespace tarnvale
