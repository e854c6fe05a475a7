// The about box: the product's name, its version and what it does.
#pragma once

#include <QDialog>

namespace tarnvale {

class AboutBox : public QDialog
{
    Q_OBJECT

public:
    // A modeless box that deletes itself when closed.
    explicit AboutBox(QWidget *parent = nullptr);
};

} // namespace tarnvale
