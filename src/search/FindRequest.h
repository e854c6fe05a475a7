// What the user asks the search window for, and one row of its answer.
#pragma once

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

// One line of the result list.
struct FindResult
{
    qint64 id = 0;
    QString name;        // custname
    QString vehicleInfo; // see FindRules::vehicleInfo
    QString group;       // GROUPNAME

    friend bool operator==(const FindResult &, const FindResult &) = default;
};

} // namespace tarnvale
