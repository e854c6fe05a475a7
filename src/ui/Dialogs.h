// The one way the program shows message boxes, questions and input boxes.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class QPrinter;

namespace tarnvale {

// A line break inside a message: carriage return and line feed.
inline constexpr char16_t kCrLf[] = u"\r\n";

enum class MessageIcon { None, Information, Exclamation, Critical, Question };
enum class MessageButtons { Ok, YesNo, YesNoCancel, YesNoDefaultNo };
enum class Answer { Ok, Yes, No, Cancel };

class Dialogs
{
public:
    virtual ~Dialogs() = default;

    // A notice with only an OK button.
    virtual void notify(const QString &title, const QString &text, MessageIcon icon) = 0;
    // A question with Yes and No buttons.
    virtual Answer ask(const QString &title, const QString &text, MessageIcon icon) = 0;
    // The same with No the default button, for a question whose Yes removes or replaces what
    // cannot be brought back: a stray Enter answers No.
    virtual Answer askDefaultNo(const QString &title, const QString &text, MessageIcon icon) = 0;
    // A question with Yes, No and Cancel buttons; closing the box answers Cancel.
    virtual Answer askYesNoCancel(const QString &title, const QString &text, MessageIcon icon) = 0;
    // An input box; nullopt when the user cancels.
    virtual std::optional<QString> inputText(const QString &title, const QString &prompt,
                                             const QString &initial = {}) = 0;
    // File and folder choosers; an empty result means cancelled.
    virtual QString chooseOpenFile(const QString &title, const QString &startDir,
                                   const QString &filter) = 0;
    virtual QString chooseSaveFile(const QString &title, const QString &startPath,
                                   const QString &filter) = 0;
    virtual QString chooseFolder(const QString &title, const QString &startDir) = 0;
    // The print dialog for an already configured printer; false when cancelled.
    virtual bool choosePrinter(QPrinter &printer) = 0;
    // A progress bar (title, text, done, total) for long work that cannot be cancelled:
    // shown while done < total, closed when done reaches total. None by default.
    virtual void progress(const QString &, const QString &, qint64, qint64) {}
};

} // namespace tarnvale
