// What the user asks the search window for, and one row of its answer.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace tarnvale {

struct FindRequest
{
    QString groupText; // a group name, "<All>" or "<None>"
    QString fieldText; // a field key of the key table ("<All>", "Name", "zip code", ...)
    QString findText;
    bool wholeWord = false;
    bool matchCase = false;
    // Only vehicles of this status (ImpoundRules::statusWord); empty for any. With a status,
    // an empty search text finds every vehicle of it.
    QString status = {};

    friend bool operator==(const FindRequest &, const FindRequest &) = default;
};

// One line of the result list. Its texts are kept as the database stores them (UTF-8, one
// after the other in one block) and decoded when asked for: a search can find hundreds of
// thousands of vehicles, and the window shows a screenful.
class FindResult
{
  public:
    FindResult() = default;
    FindResult(qint64 id, const QString &name, const QString &vehicleInfo, const QString &group);
    // From the stored fields. The vehicle info is vehyear; then, when vehmake is set, a blank
    // and vehmodel; then, when vehstyle is set, a blank and vehvin.
    static FindResult fromStored(qint64 id, QByteArrayView name, QByteArrayView year,
                                 QByteArrayView make, QByteArrayView model, QByteArrayView style,
                                 QByteArrayView vin, QByteArrayView group);

    // The id alone, its texts left to be read when they are shown (see hasTexts).
    static FindResult idOnly(qint64 id);

    qint64 id = 0;
    bool hasTexts() const { return m_nameEnd >= 0; }
    QString name() const;        // custname
    QString vehicleInfo() const; // see fromStored
    QString group() const;       // GROUPNAME

    friend bool operator==(const FindResult &a, const FindResult &b)
    {
        return a.id == b.id && a.m_nameEnd == b.m_nameEnd && a.m_infoEnd == b.m_infoEnd &&
               a.m_text == b.m_text;
    }

  private:
    QByteArray m_text; // name, vehicle info and group
    qsizetype m_nameEnd = 0; // -1: the texts were not read
    qsizetype m_infoEnd = 0;
};

} // namespace tarnvale

Q_DECLARE_TYPEINFO(tarnvale::FindResult, Q_RELOCATABLE_TYPE);
