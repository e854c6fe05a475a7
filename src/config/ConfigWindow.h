// The configuration window: company, fees, tax, tree expansion and database location, and
// on a page of its own the lien-notice schedule.
//
// "Apply" and "Cancel" hide the window; every opening loads the stored values anew, so an edit
// that was cancelled is never stored by a later "Apply". "Apply" first checks the fee and tax
// boxes (ConfigCheck) and stores nothing while one of them is refused.
#pragma once

#include <functional>

#include <QWidget>

#include "ConfigCheck.h"
#include "ConfigValues.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QTabWidget;
class QTableWidget;
class QToolBar;

namespace tarnvale {

class Dialogs;
class SettingsFile;

class ConfigWindow : public QWidget
{
    Q_OBJECT

public:
    // Loads every box from the settings file. Deletes itself when closed by its frame.
    ConfigWindow(const SettingsFile &settings, Dialogs &dialogs, QWidget *parent = nullptr);

    ConfigValues values() const;
    // A page of its own after the others (the pricing plans, which live in the database).
    // A page of its own; `unsaved`, when given, tells whether it holds typing not saved, which
    // closing the window asks about.
    void addPage(QWidget *page, const QString &title, std::function<bool()> unsaved = {});
    void setValues(const ConfigValues &values);

    // Tells each finding of the fee and tax boxes (a question answered Yes lets it pass);
    // false at the first that stops the change, with its box (by control name) in `window`
    // focused and selected.
    static bool confirmFindings(const QList<ConfigFinding> &findings, const QString &title,
                                Dialogs &dialogs, QWidget *window);

public Q_SLOTS:
  // Checks the boxes, then stores every box, updates the main window's caption, hides.
  // False when a box was refused: nothing is stored, the window stays with that box focused.
  bool apply();
  // Stores nothing, puts back the stored caption, hides.
  void cancel();
  // Lets the user pick the database file; cancelling keeps the box as it was.
  void browseDatabase();

Q_SIGNALS:
    // The main window's caption: the company name as stored in the settings file.
    void companyNameChanged(const QString &name);
    // Emitted after "Apply" or "Cancel" hid this window: bring the main window forward.
    void mainWindowRequested();

  protected:
    void showEvent(QShowEvent *event) override;
    // Closed by its frame or a key with boxes changed from what is stored: asked first.
    void closeEvent(QCloseEvent *event) override;

  private:
    QLineEdit *addBox(const char *name);
    void showTaxMeaning();
    QWidget *buildCompanyFrame();
    QWidget *buildDatabaseFrame();
    QWidget *buildLienPage();
    void showLienSchedule();
    QList<QPair<QString, QString>> lienRows() const;
    void leave();

    const SettingsFile &m_settings;
    Dialogs &m_dialogs;
    QToolBar *m_toolbar = nullptr;
    QTabWidget *m_tabs = nullptr;
    QLineEdit *m_name = nullptr;
    QLineEdit *m_address = nullptr;
    QLineEdit *m_city = nullptr;
    QLineEdit *m_state = nullptr;
    QLineEdit *m_zip = nullptr;
    QLineEdit *m_storageFee = nullptr;
    QLineEdit *m_light = nullptr;
    QLineEdit *m_medium = nullptr;
    QLineEdit *m_heavy = nullptr;
    QLineEdit *m_taxRate = nullptr;
    QLineEdit *m_databasePath = nullptr;
    QString m_storedPath; // the path as stored, password and all; the box masks it
    QCheckBox *m_tax = nullptr;
    QCheckBox *m_expanded = nullptr;
    QLabel *m_taxMeaning = nullptr;
    QTableWidget *m_lienSteps = nullptr;
    QList<std::function<bool()>> m_unsavedPages;
};

} // namespace tarnvale
