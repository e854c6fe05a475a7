// How a backup ended, and the message the user is shown for it.
#pragma once

#include "Dialogs.h"

#include <QString>

namespace tarnvale {

class CodecError;

struct BackupOutcome
{
    enum class Kind { Saved, NoMedium, Failed, Stopped };

    Kind kind = Kind::Failed;
    int number = 0;
    QString description;
    QString destination; // the folder as the user chose it

    static BackupOutcome saved(const QString &destination);
    static BackupOutcome noMedium(const QString &destination, const QString &description);
    static BackupOutcome failed(int number, const QString &description);
    // Stopped by the user before it ended: the backup file was left as it was.
    static BackupOutcome stopped();
    // A missing, unmounted or read-only destination is "no medium"; anything else a failure.
    static BackupOutcome fromCodecError(const CodecError &error, const QString &destination);

    // The message box text and icon; the title is the company name.
    QString text() const;
    MessageIcon icon() const;
};

} // namespace tarnvale
