#include "BackupOutcome.h"

#include "CodecError.h"

namespace tarnvale {

BackupOutcome BackupOutcome::saved(const QString &destination)
{
    return BackupOutcome{Kind::Saved, 0, {}, destination};
}

BackupOutcome BackupOutcome::noMedium(const QString &destination, const QString &description)
{
    return BackupOutcome{Kind::NoMedium, kErrDiskNotReady, description, destination};
}

BackupOutcome BackupOutcome::failed(int number, const QString &description)
{
    return BackupOutcome{Kind::Failed, number, description, {}};
}

BackupOutcome BackupOutcome::stopped()
{
    return BackupOutcome{Kind::Stopped, 0, {}, {}};
}

BackupOutcome BackupOutcome::fromCodecError(const CodecError &error, const QString &destination)
{
    const QString description = QString::fromStdString(error.description());
    switch (error.number()) {
    case kErrDiskNotReady:
    case kErrPathNotFound:
    case kErrPathFileAccess:
    case kErrPermissionDenied:
        return noMedium(destination, description);
    default:
        return failed(error.number(), description);
    }
}

QString BackupOutcome::text() const
{
    const QString crlf = QString::fromUtf16(kCrLf);
    switch (kind) {
    case Kind::Saved:
        return QStringLiteral("Your database is now Backed up and saved.");
    case Kind::NoMedium:
        return QStringLiteral("There is no disc in ") + destination + crlf
               + QStringLiteral("Please insert a disk to backup your data") + crlf + description;
    case Kind::Stopped:
        return QStringLiteral("The backup was stopped. The backup file was not changed.");
    case Kind::Failed:
        break;
    }
    return QString::number(number) + crlf + description;
}

MessageIcon BackupOutcome::icon() const
{
    switch (kind) {
    case Kind::Saved:
    case Kind::Stopped:
        return MessageIcon::Information;
    case Kind::NoMedium:
        return MessageIcon::Exclamation;
    case Kind::Failed:
        break;
    }
    return MessageIcon::None;
}

} // namespace tarnvale
