// Dialogs for tests: records every box it is asked to show and answers from a script.
#pragma once

#include "Dialogs.h"

#include <QList>
#include <QQueue>
#include <QString>

#include <functional>
#include <optional>

namespace tarnvale::test {

struct ShownBox
{
    enum class Kind { Notice, Question, Input, OpenFile, SaveFile, Folder, Printer };
    Kind kind = Kind::Notice;
    QString title;
    QString text;
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;

    // The whole box on one line, e.g. "Question Exclamation YesNo|title|text".
    QString line() const
    {
        static const char *const kinds[] = {"Notice", "Question", "Input", "OpenFile", "SaveFile", "Folder", "Printer"};
        static const char *const icons[] = {"None", "Information", "Exclamation", "Critical", "Question"};
        static const char *const buttonSets[] = {"Ok", "YesNo", "YesNoCancel"};
        return QStringLiteral("%1 %2 %3|%4|%5")
            .arg(kinds[int(kind)], icons[int(icon)], buttonSets[int(buttons)], title, text);
    }
};

class ScriptedDialogs : public Dialogs
{
public:
    // Answers, used in order. An unscripted question answers No, an unscripted input box
    // and chooser answer "cancelled"; both are counted in unscripted().
    void queueAnswer(Answer answer) { m_answers.enqueue(answer); }
    void queueInput(std::optional<QString> text) { m_inputs.enqueue(std::move(text)); }
    void queueFile(const QString &path) { m_files.enqueue(path); }
    void queuePrinter(bool accept) { m_printers.enqueue(accept); }

    // Called when a box is shown, before it answers (e.g. to inspect a window meanwhile).
    std::function<void(const ShownBox &)> onShow;
    // What the user sets in an accepted print dialog (printer, pages, file).
    std::function<void(QPrinter &)> onPrinter;

    const QList<ShownBox> &shown() const { return m_shown; }
    const ShownBox &last() const { return m_shown.last(); }
    int count() const { return int(m_shown.size()); }
    int unscripted() const { return m_unscripted; }
    bool allAnswersUsed() const
    {
        return m_answers.isEmpty() && m_inputs.isEmpty() && m_files.isEmpty() && m_printers.isEmpty();
    }
    void clear() { m_shown.clear(); }

    void notify(const QString &title, const QString &text, MessageIcon icon) override;
    Answer ask(const QString &title, const QString &text, MessageIcon icon) override;
    // Answers from the same queue as ask(); unscripted, No.
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
    void record(ShownBox::Kind kind, const QString &title, const QString &text, MessageIcon icon,
                MessageButtons buttons);
    Answer nextAnswer();
    QString nextFile();

    QList<ShownBox> m_shown;
    QQueue<Answer> m_answers;
    QQueue<std::optional<QString>> m_inputs;
    QQueue<QString> m_files;
    QQueue<bool> m_printers;
    int m_unscripted = 0;
};

} // namespace tarnvale::test
