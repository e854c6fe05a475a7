#include "ScriptedDialogs.h"

namespace tarnvale::test {

void ScriptedDialogs::record(ShownBox::Kind kind, const QString &title, const QString &text,
                             MessageIcon icon, MessageButtons buttons)
{
    m_shown.append(ShownBox{kind, title, text, icon, buttons});
    if (onShow)
        onShow(m_shown.last());
}

void ScriptedDialogs::notify(const QString &title, const QString &text, MessageIcon icon)
{
    record(ShownBox::Kind::Notice, title, text, icon, MessageButtons::Ok);
}

Answer ScriptedDialogs::nextAnswer()
{
    if (m_answers.isEmpty()) {
        ++m_unscripted;
        return Answer::No;
    }
    return m_answers.dequeue();
}

Answer ScriptedDialogs::ask(const QString &title, const QString &text, MessageIcon icon)
{
    record(ShownBox::Kind::Question, title, text, icon, MessageButtons::YesNo);
    return nextAnswer();
}

Answer ScriptedDialogs::askYesNoCancel(const QString &title, const QString &text, MessageIcon icon)
{
    record(ShownBox::Kind::Question, title, text, icon, MessageButtons::YesNoCancel);
    return nextAnswer();
}

std::optional<QString> ScriptedDialogs::inputText(const QString &title, const QString &prompt,
                                                  const QString &)
{
    record(ShownBox::Kind::Input, title, prompt, MessageIcon::None, MessageButtons::Ok);
    if (m_inputs.isEmpty()) {
        ++m_unscripted;
        return std::nullopt;
    }
    return m_inputs.dequeue();
}

QString ScriptedDialogs::nextFile()
{
    if (m_files.isEmpty()) {
        ++m_unscripted;
        return {};
    }
    return m_files.dequeue();
}

QString ScriptedDialogs::chooseOpenFile(const QString &title, const QString &, const QString &filter)
{
    record(ShownBox::Kind::OpenFile, title, filter, MessageIcon::None, MessageButtons::Ok);
    return nextFile();
}

QString ScriptedDialogs::chooseSaveFile(const QString &title, const QString &, const QString &filter)
{
    record(ShownBox::Kind::SaveFile, title, filter, MessageIcon::None, MessageButtons::Ok);
    return nextFile();
}

QString ScriptedDialogs::chooseFolder(const QString &title, const QString &)
{
    record(ShownBox::Kind::Folder, title, {}, MessageIcon::None, MessageButtons::Ok);
    return nextFile();
}

bool ScriptedDialogs::choosePrinter(QPrinter &printer)
{
    record(ShownBox::Kind::Printer, {}, {}, MessageIcon::None, MessageButtons::Ok);
    if (m_printers.isEmpty()) {
        ++m_unscripted;
        return false;
    }
    const bool accepted = m_printers.dequeue();
    if (accepted && onPrinter)
        onPrinter(printer);
    return accepted;
}

} // namespace tarnvale::test
