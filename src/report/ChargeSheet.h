// The charge sheet of one record: the print command's rule and the filled template, or the
// one message that tells why it cannot be had.
#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>

#include <functional>

#include "PrintSnapshot.h"

namespace tarnvale {

class ProgramFolder;
class SettingsFile;

class ChargeSheet
{
  public:
    struct Outcome
    {
        bool ok = false;
        QByteArray rtf; // the filled template, when ok
        // When not ok: the critical message to show once, and its title.
        QString title;
        QString message;
    };

    // A record can be printed once the browser has shown a vehicle that has a year.
    static bool canPrint(const PrintSnapshot &snapshot);
    static QString selectRecordMessage()
    {
        return QStringLiteral("Please Select A Record To Print");
    }

    // The title of a message that names no company: the application's name.
    static QString defaultTitle();

    // The template: "/Reports/report.rtf" appended to the program's folder.
    static QString templatePath(const ProgramFolder &folder);

    // Reads the template and fills it. A template that is not RTF is taken as plain text.
    static Outcome build(const ProgramFolder &folder, const SettingsFile &settings,
                         const PrintSnapshot &snapshot, const QDate &today);
    // The same for any template of Reports/ and its own filling of the RTF source.
    static Outcome buildFrom(const QString &path, const SettingsFile &settings,
                             const std::function<QString(const QString &source)> &fill);

    // Plain text as an RTF document, one paragraph per line.
    static QByteArray plainTextAsRtf(const QString &text);
};

} // namespace tarnvale
