// The three help documents kept beside the report template, and how each is read.
#pragma once

#include <QString>

namespace tarnvale {

class ProgramFolder;
class ReportDocument;

class HelpDocument
{
  public:
    enum Kind { Report, Config, Pricing };

    explicit HelpDocument(Kind kind) : m_kind(kind) {}

    Kind kind() const { return m_kind; }
    // The window's object name: frmreporthelp, frmconfighelp, frmpricing.
    QString objectName() const;
    // The window's caption: "Reports Help" for the first two, "Pricing" for the third.
    QString caption() const;
    // The document: "/Reports/help.rtf", "/Reports/confighelp.rtf" or "/Reports/pricing.rtf"
    // appended to the program's folder.
    QString path(const ProgramFolder &folder) const;

    // Reads the document into `document`. A missing or unreadable file leaves one line that
    // says so and names the file; the result is then false.
    bool load(const ProgramFolder &folder, ReportDocument &document) const;

  private:
    Kind m_kind;
};

} // namespace tarnvale
