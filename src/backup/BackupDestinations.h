// The folders offered as backup destinations: the user's home folder and mounted removable
// media (mount points under /media, /run/media and /mnt).
#pragma once

#include <QString>
#include <QStringList>

namespace tarnvale::BackupDestinations {

// Home first, then the removable media currently mounted, without duplicates.
QStringList list();
// The same from given mount points (for tests and for list()).
QStringList fromMountPoints(const QString &home, const QStringList &mountPoints);

} // namespace tarnvale::BackupDestinations
