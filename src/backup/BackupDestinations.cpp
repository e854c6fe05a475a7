#include "BackupDestinations.h"

#include <QDir>
#include <QStorageInfo>

namespace tarnvale::BackupDestinations {

QStringList fromMountPoints(const QString &home, const QStringList &mountPoints)
{
    QStringList result;
    if (!home.isEmpty())
        result << QDir::cleanPath(home);
    const QStringList removableRoots = {QStringLiteral("/media/"), QStringLiteral("/run/media/"),
                                        QStringLiteral("/mnt/")};
    for (const QString &mount : mountPoints) {
        const QString path = QDir::cleanPath(mount);
        bool removable = false;
        for (const QString &root : removableRoots)
            removable = removable || path.startsWith(root);
        if (removable && !result.contains(path))
            result << path;
    }
    return result;
}

QStringList list()
{
    QStringList mounts;
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes())
        if (volume.isValid() && volume.isReady())
            mounts << volume.rootPath();
    mounts.sort();
    return fromMountPoints(QDir::homePath(), mounts);
}

} // namespace tarnvale::BackupDestinations
