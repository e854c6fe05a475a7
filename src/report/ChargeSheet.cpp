#include "ChargeSheet.h"

#include <QCoreApplication>

#include "DocumentFile.h"
#include "ProgramFolder.h"
#include "ReportFiller.h"
#include "SettingsFile.h"

namespace tarnvale {

namespace {

ChargeSheet::Outcome failure(const QString &title, const QString &message)
{
    ChargeSheet::Outcome outcome;
    outcome.title = title;
    outcome.message = message;
    return outcome;
}

ChargeSheet::Outcome someError(int number, const QString &description)
{
    return failure(ChargeSheet::defaultTitle(),
                   QStringLiteral("Some Error Occured: %1 %2\r\n\r\nProgram May Not Work Properly")
                       .arg(number)
                       .arg(description));
}

} // namespace

QString ChargeSheet::defaultTitle()
{
    const QString name = QCoreApplication::applicationName();
    return name.isEmpty() ? QStringLiteral("Tarnvale") : name;
}

bool ChargeSheet::canPrint(const PrintSnapshot &snapshot)
{
    return snapshot.hasRecord && !snapshot.txtprint[6].isEmpty();
}

QString ChargeSheet::templatePath(const ProgramFolder &folder)
{
    return folder.reportsPath(QStringLiteral("report.rtf"));
}

QByteArray ChargeSheet::plainTextAsRtf(const QString &text)
{
    QString body = ReportFiller::escape(text);
    body.replace(QLatin1String("\\line "), QLatin1String("\\par\n"));
    body.replace(QLatin1String("\\'3a"), QLatin1String(":")); // placeholders stay placeholders
    return QByteArrayLiteral("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 ") +
           body.toLatin1() + QByteArrayLiteral("\\par}");
}

ChargeSheet::Outcome ChargeSheet::build(const ProgramFolder &folder, const SettingsFile &settings,
                                        const PrintSnapshot &snapshot, const QDate &today)
{
    const QString path = templatePath(folder);
    QByteArray bytes;
    switch (const DocumentFile::Status status = DocumentFile::read(path, bytes)) {
    case DocumentFile::Status::Ok:
        break;
    case DocumentFile::Status::Missing:
        return someError(53, DocumentFile::describe(status));
    case DocumentFile::Status::Unreadable:
        return failure(settings.companyName(), QStringLiteral("File: ") + path +
                                                   QStringLiteral(" is Open, Please Close It"));
    case DocumentFile::Status::NotRegular:
    case DocumentFile::Status::TooLarge:
        return failure(settings.companyName(), QStringLiteral("File: ") + path +
                                                   QStringLiteral(" is ") +
                                                   DocumentFile::describe(status));
    }

    // The source is held as Latin-1 text so that every byte comes back as it was; the
    // values put in are plain ASCII (see ReportFiller::escape).
    QString source = QString::fromLatin1(bytes);
    if (!bytes.startsWith("{\\rtf"))
        source = QString::fromLatin1(plainTextAsRtf(QString::fromUtf8(bytes)));
    const QString filled =
        ReportFiller::fill(source, snapshot, ReportFiller::Company::fromSettings(settings), today);
    Outcome outcome;
    outcome.ok = true;
    outcome.rtf = filled.toLatin1();
    return outcome;
}

} // namespace tarnvale
