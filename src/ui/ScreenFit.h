// Keeps every window the program shows inside the available area of its screen (the screen
// less its panels), so that no button ends up below the bottom edge of a small screen.
#pragma once

#include <QObject>

class QWidget;

namespace tarnvale {

class ScreenFit : public QObject
{
    Q_OBJECT

  public:
    // Installed on the application, it fits each window as it is shown.
    explicit ScreenFit(QObject *parent = nullptr) : QObject(parent) {}

    // Shrinks the window to the available area, frame included, and moves it inside.
    static void fit(QWidget *window);

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

} // namespace tarnvale
