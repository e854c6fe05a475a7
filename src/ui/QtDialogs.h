// Dialogs shown with Qt's standard message, input, file and print dialogs.
#pragma once

#include "Dialogs.h"

class QWidget;

namespace tarnvale {

class QtDialogs : public Dialogs
{
public:
    void notify(const QString &title, const QString &text, MessageIcon icon) override;
    Answer ask(const QString &title, const QString &text, MessageIcon icon) override;
    Answer askYesNoCancel(const QString &title, const QString &text, MessageIcon icon) override;
    std::optional<QString> inputText(const QString &title, const QString &prompt,
                                     const QString &initial) override;
    QString chooseOpenFile(const QString &title, const QString &startDir,
                           const QString &filter) override;
    QString chooseSaveFile(const QString &title, const QString &startPath,
                           const QString &filter) override;
    QString chooseFolder(const QString &title, const QString &startDir) override;
    bool choosePrinter(QPrinter &printer) override;

private:
    static QWidget *parentWindow();
};

} // namespace tarnvale
