// The tips of the tips file: one tip a line, in file order, numbered from 1.
#pragma once

#include <QString>
#include <QStringList>

class QRandomGenerator;

namespace tarnvale {

class TipList
{
public:
    // Reads every line of the file, empty ones included. Fails, keeping the list as it was,
    // when the name is empty or the file cannot be read.
    bool load(const QString &path);

    const QStringList &tips() const { return m_tips; }
    int count() const { return int(m_tips.size()); }
    // The tip with the number (1 to count()); "" outside that range.
    QString tip(int number) const;

    // The number of a tip chosen at random among the lines that are not empty, each as likely
    // as the others; 0 when every line is empty.
    int chooseRandom(QRandomGenerator &random) const;

private:
    QStringList m_tips;
};

} // namespace tarnvale
