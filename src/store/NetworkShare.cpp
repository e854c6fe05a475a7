#include "NetworkShare.h"

#include <QFile>
#include <QFileInfo>

#include <sys/vfs.h>

namespace tarnvale {

QString NetworkShare::kindOf(qint64 fileSystemType)
{
    // The magic numbers of linux/magic.h and of the file systems that define their own.
    switch (quint32(fileSystemType)) {
    case 0x6969u:
        return QStringLiteral("NFS");
    case 0x517Bu:
    case 0xFF534D42u:
    case 0xFE534D42u:
        return QStringLiteral("CIFS/SMB");
    case 0x564C:
        return QStringLiteral("NCP");
    case 0x5346414Fu:
        return QStringLiteral("AFS");
    case 0x00C36400u:
        return QStringLiteral("Ceph");
    case 0x01021997u:
        return QStringLiteral("9P");
    default:
        return {};
    }
}

QString NetworkShare::kindOfPath(const QString &path)
{
    const QFileInfo info(path);
    const QString probe = info.exists() ? info.absoluteFilePath() : info.absolutePath();
    struct statfs fs
    {
    };
    if (::statfs(QFile::encodeName(probe).constData(), &fs) != 0)
        return {};
    return kindOf(qint64(fs.f_type));
}

} // namespace tarnvale
