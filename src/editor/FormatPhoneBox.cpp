#include "FormatPhoneBox.h"

namespace tarnvale {

QString FormatPhoneBox(const QString &text)
{
    if (text.contains(u'-'))
        return text;
    switch (text.size()) {
    case 7:
        return text.left(3) + u'-' + text.mid(3, 4);
    case 10:
        return u'(' + text.left(3) + QStringLiteral(")-") + text.mid(3, 3) + u'-' + text.mid(6, 4);
    case 11:
        return text.left(1) + QStringLiteral("-(") + text.mid(1, 3) + QStringLiteral(")-") +
               text.mid(4, 3) + u'-' + text.mid(7, 4);
    default:
        return text;
    }
}

} // namespace tarnvale
