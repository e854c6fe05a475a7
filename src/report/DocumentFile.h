// Reads a document file the program did not write (the report template, a help document):
// only a regular file, and only up to a size no real document reaches.
#pragma once

#include <QByteArray>
#include <QString>

namespace tarnvale {

class DocumentFile
{
  public:
    // 16 MB: a charge sheet with a logo is well under 1 MB, and a word processor writes a
    // picture as hex, twice the size of its file; anything larger is not a template.
    static constexpr qint64 kMaxBytes = 16 * 1024 * 1024;

    enum class Status { Ok, Missing, NotRegular, TooLarge, Unreadable };

    // Reads the whole file into `bytes`. A device, a FIFO or a folder is never opened (a FIFO
    // would block, a device never ends); a file that grows past the limit while it is read
    // is refused too.
    static Status read(const QString &path, QByteArray &bytes);

    // The reason for a status other than Ok, for a message.
    static QString describe(Status status);
};

} // namespace tarnvale
