#include "HelpDocument.h"

#include "DocumentFile.h"
#include "ProgramFolder.h"
#include "ReportDocument.h"

namespace tarnvale {

QString HelpDocument::objectName() const
{
    switch (m_kind) {
    case Report:
        return QStringLiteral("frmreporthelp");
    case Config:
        return QStringLiteral("frmconfighelp");
    case Pricing:
        return QStringLiteral("frmpricing");
    }
    return {};
}

QString HelpDocument::caption() const
{
    return m_kind == Pricing ? QStringLiteral("Pricing") : QStringLiteral("Reports Help");
}

QString HelpDocument::path(const ProgramFolder &folder) const
{
    switch (m_kind) {
    case Report:
        return folder.helpPath(QStringLiteral("help.rtf"));
    case Config:
        return folder.helpPath(QStringLiteral("confighelp.rtf"));
    case Pricing:
        return folder.helpPath(QStringLiteral("pricing.rtf"));
    }
    return {};
}

bool HelpDocument::load(const ProgramFolder &folder, ReportDocument &document) const
{
    const QString file = path(folder);
    QByteArray bytes;
    const DocumentFile::Status status = DocumentFile::read(file, bytes);
    if (status == DocumentFile::Status::Missing) {
        document.setMessage(QStringLiteral("This help document could not be found: ") + file);
        return false;
    }
    if (status != DocumentFile::Status::Ok) {
        document.setMessage(QStringLiteral("This help document could not be read: ") + file);
        return false;
    }
    if (bytes.trimmed().isEmpty()) {
        document.setMessage(QStringLiteral("This help document is empty: ") + file);
        return false;
    }
    document.setRtf(bytes);
    return true;
}

} // namespace tarnvale
