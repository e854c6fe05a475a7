#include "TipList.h"

#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QRandomGenerator>

#include "IniFile.h"

namespace tarnvale {

bool TipList::load(const QString &path)
{
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QString text = IniFile::decode(file.readAll());
    file.close();

    QStringList lines = text.split(QLatin1Char('\n'));
    // A final line break ends the last line; it does not start another.
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QString &line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    m_tips = lines;
    return true;
}

QString TipList::tip(int number) const
{
    if (number < 1 || number > count())
        return {};
    return m_tips.at(number - 1);
}

int TipList::chooseRandom(QRandomGenerator &random) const
{
    QList<int> candidates;
    for (int i = 0; i < count(); ++i) {
        if (!m_tips.at(i).isEmpty())
            candidates.append(i + 1);
    }
    if (candidates.isEmpty())
        return 0;
    return candidates.at(int(random.bounded(quint32(candidates.size()))));
}

} // namespace tarnvale
