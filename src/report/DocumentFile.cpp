#include "DocumentFile.h"

#include <QFile>
#include <QFileInfo>

namespace tarnvale {

DocumentFile::Status DocumentFile::read(const QString &path, QByteArray &bytes)
{
    bytes.clear();
    const QFileInfo info(path); // a symbolic link is judged by what it points to
    if (!info.exists())
        return Status::Missing;
    if (info.isDir())
        return Status::Unreadable; // as a locked file: the path cannot be read as a file
    if (!info.isFile())
        return Status::NotRegular;
    if (info.size() > kMaxBytes)
        return Status::TooLarge;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Status::Unreadable;
    bytes = file.read(kMaxBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        bytes.clear();
        return Status::Unreadable;
    }
    if (bytes.size() > kMaxBytes) {
        bytes.clear();
        return Status::TooLarge;
    }
    return Status::Ok;
}

QString DocumentFile::describe(Status status)
{
    switch (status) {
    case Status::Ok:
        return {};
    case Status::Missing:
        return QStringLiteral("File not found");
    case Status::NotRegular:
        return QStringLiteral("not a regular file");
    case Status::TooLarge:
        return QStringLiteral("larger than %1 MB, more than any document of this kind")
            .arg(kMaxBytes / (1024 * 1024));
    case Status::Unreadable:
        return QStringLiteral("could not be read");
    }
    return {};
}

} // namespace tarnvale
