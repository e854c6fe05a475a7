// Dialogs shown with Qt's standard message, input, file and print dialogs.
#pragma once

#include "Dialogs.h"

#include <memory>

class QWidget;

class QProgressDialog;

namespace tarnvale {

class QtDialogs : public Dialogs
{
public:
    QtDialogs();
    ~QtDialogs() override;
    void notify(const QString &title, const QString &text, MessageIcon icon) override;
    Answer ask(const QString &title, const QString &text, MessageIcon icon) override;
    Answer askDefaultNo(const QString &title, const QString &text, MessageIcon icon) override;
    Answer askYesNoCancel(const QString &title, const QString &text, MessageIcon icon) override;
    std::optional<QString> inputText(const QString &title, const QString &prompt,
                                     const QString &initial) override;
    QString chooseOpenFile(const QString &title, const QString &startDir,
                           const QString &filter) override;
    QString chooseSaveFile(const QString &title, const QString &startPath,
                           const QString &filter) override;
    QString chooseFolder(const QString &title, const QString &startDir) override;
    bool choosePrinter(QPrinter &printer) override;
    void progress(const QString &title, const QString &text, qint64 done, qint64 total) override;

private:
    static QWidget *parentWindow();
    static Answer askYesNo(const QString &title, const QString &text, MessageIcon icon,
                           int defaultButton);
    std::unique_ptr<QProgressDialog> m_progress;
};

} // namespace tarnvale
