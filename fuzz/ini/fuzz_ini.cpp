// Settings files are outside bytes: reading must never fail badly, and a value written into
// any file must read back exactly without disturbing another section's value.
#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdlib>

#include "IniFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The first bytes (up to a NUL) are a value to write; the rest is the file.
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype split = input.indexOf('\0');
    const QString value = split < 0 ? QString() : QString::fromUtf8(input.left(split));
    const QByteArray file = split < 0 ? input : input.mid(split + 1);

    using tarnvale::IniFile;
    const QString before = IniFile::readFrom(file, QStringLiteral("Company"), QStringLiteral("Name"));
    IniFile::readFrom(file, QStringLiteral("Tow Fee"), QStringLiteral("Light"), QStringLiteral("x"));

    const QByteArray written = IniFile::writtenTo(file, QStringLiteral("Notes"), QStringLiteral("notes"), value);
    if (IniFile::readFrom(written, QStringLiteral("Notes"), QStringLiteral("notes")) != value)
        std::abort();
    // Another section's value survives, unless the file itself is ambiguous about it.
    const QString after = IniFile::readFrom(written, QStringLiteral("Company"), QStringLiteral("Name"));
    if (after != before && !file.contains("otes"))
        std::abort();
    return 0;
}
