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
        static const char *const kinds[] = {"Notice",   "Question", "Input",  "OpenFile",
                                            "SaveFile", "Folder",   "Printer"};
        static const char *const icons[] = {"None", "Information", "Exclamation", "Critical",
                                            "Question"};
        static const char *const buttonSets[] = {"Ok", "YesNo", "YesNoCancel", "YesNoDefaultNo"};
        return QStringLiteral("%1 %2 %3|%4|%5")
            .arg(kinds[int(kind)], icons[int(icon)], buttonSets[int(buttons)], title, text);
    }
};

// Answers are used in order. An unscripted question answers No, an unscripted input box,
// chooser or print dialog answers "cancelled".
class ScriptedDialogs : public Dialogs
{
  public:
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
    void clear() { m_shown.clear(); }

    void notify(const QString &title, const QString &text, MessageIcon icon) override
    {
        record(ShownBox::Kind::Notice, title, text, icon, MessageButtons::Ok);
    }
    Answer ask(const QString &title, const QString &text, MessageIcon icon) override
    {
        record(ShownBox::Kind::Question, title, text, icon, MessageButtons::YesNo);
        return next(m_answers, Answer::No);
    }
    Answer askDefaultNo(const QString &title, const QString &text, MessageIcon icon) override
    {
        record(ShownBox::Kind::Question, title, text, icon, MessageButtons::YesNoDefaultNo);
        return next(m_answers, Answer::No);
    }
    // Answers from the same queue as ask().
    Answer askYesNoCancel(const QString &title, const QString &text, MessageIcon icon) override
    {
        record(ShownBox::Kind::Question, title, text, icon, MessageButtons::YesNoCancel);
        return next(m_answers, Answer::No);
    }
    std::optional<QString> inputText(const QString &title, const QString &prompt,
                                     const QString &) override
    {
        record(ShownBox::Kind::Input, title, prompt);
        return next(m_inputs, std::optional<QString>());
    }
    QString chooseOpenFile(const QString &title, const QString &, const QString &filter) override
    {
        record(ShownBox::Kind::OpenFile, title, filter);
        return next(m_files, QString());
    }
    QString chooseSaveFile(const QString &title, const QString &suggested,
                           const QString &filter) override
    {
        record(ShownBox::Kind::SaveFile, title, suggested + u'|' + filter);
        return next(m_files, QString());
    }
    QString chooseFolder(const QString &title, const QString &) override
    {
        record(ShownBox::Kind::Folder, title, {});
        return next(m_files, QString());
    }
    bool choosePrinter(QPrinter &printer) override
    {
        record(ShownBox::Kind::Printer, {}, {});
        const bool accepted = next(m_printers, false);
        if (accepted && onPrinter)
            onPrinter(printer);
        return accepted;
    }

  private:
    void record(ShownBox::Kind kind, const QString &title, const QString &text,
                MessageIcon icon = MessageIcon::None, MessageButtons buttons = MessageButtons::Ok)
    {
        m_shown.append(ShownBox{kind, title, text, icon, buttons});
        if (onShow)
            onShow(m_shown.last());
    }
    template <typename T> static T next(QQueue<T> &queue, T unscripted)
    {
        return queue.isEmpty() ? unscripted : queue.dequeue();
    }

    QList<ShownBox> m_shown;
    QQueue<Answer> m_answers;
    QQueue<std::optional<QString>> m_inputs;
    QQueue<QString> m_files;
    QQueue<bool> m_printers;
};

} // namespace tarnvale::test
