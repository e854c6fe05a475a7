// The Windows-1252 code page: read in one place for the settings file and the RTF reader.
#pragma once

#include <QByteArrayView>
#include <QString>

namespace tarnvale {

class Cp1252
{
  public:
    // Bytes 0x80..0x9F map to the code page's letters and signs (0x80 is the euro sign); the
    // five bytes it leaves undefined and every other byte map like Latin-1.
    static QString decode(QByteArrayView bytes);
};

} // namespace tarnvale
