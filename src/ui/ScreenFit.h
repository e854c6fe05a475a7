// Keeps every window the program shows inside the available area of its screen (the screen
// less its panels), so that no button ends up below the bottom edge of a small screen, and
// lets the platform's close key (Ctrl+W on most) close any window but the main one.
#pragma once

#include <QObject>

class QWidget;

namespace tarnvale {

class ScreenFit : public QObject
{
    Q_OBJECT

  public:
    // Installed on the application, it fits each window as it is shown; `mainWindow` keeps
    // its own way of closing (it ends the program).
    explicit ScreenFit(QWidget *mainWindow, QObject *parent = nullptr)
        : QObject(parent), m_mainWindow(mainWindow)
    {
    }

    // Shrinks the window to the available area, frame included, and moves it inside.
    static void fit(QWidget *window);

    // Gives the window an action that closes it on the close key, unless one of its actions
    // already answers that key.
    static void addCloseKey(QWidget *window);

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    QWidget *m_mainWindow;
};

} // namespace tarnvale
