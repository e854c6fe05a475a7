#include "HelpDocument.h"

#include <QFile>
#include <QFileInfo>

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
        return folder.path() + QStringLiteral("/Reports/help.rtf");
    case Config:
        return folder.path() + QStringLiteral("/Reports/confighelp.rtf");
    case Pricing:
        return folder.path() + QStringLiteral("/Reports/pricing.rtf");
    }
    return {};
}

bool HelpDocument::load(const ProgramFolder &folder, ReportDocument &document) const
{
    const QString file = path(folder);
    if (!QFileInfo::exists(file)) {
        document.setMessage(QStringLiteral("This help document could not be found: ") + file);
        return false;
    }
    QFile in(file);
    if (QFileInfo(file).isDir() || !in.open(QIODevice::ReadOnly)) {
        document.setMessage(QStringLiteral("This help document could not be read: ") + file);
        return false;
    }
    const QByteArray bytes = in.readAll();
    if (in.error() != QFileDevice::NoError) {
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
