// The window the first start on an empty yard shows: the company's name and address and its
// fees, the settings Configuration holds, so that the first sheet printed carries them rather
// than blank lines. "Later" leaves them for Configuration; the window comes back at the next
// start while the yard is still empty and has no name.
#pragma once

#include <QDialog>

#include <functional>

namespace tarnvale {

class Dialogs;
class SettingsFile;

class FirstRunWindow : public QDialog
{
    Q_OBJECT

public:
    // Not modal; Enter saves, Escape is "Later" (asked first when something was typed).
    // Deletes itself when closed.
    FirstRunWindow(const SettingsFile &settings, Dialogs &dialogs, QWidget *parent = nullptr);

    // Whether a start shows it: no company name is stored and the yard has no vehicle (asked
    // only when there is no name).
    static bool wanted(const SettingsFile &settings, const std::function<qint64()> &vehicleCount);

public Q_SLOTS:
    // Checks the fee and tax boxes as Configuration does, stores every box in one replacement
    // of the settings file and closes; false, with the window open, when nothing was stored.
    bool save();

Q_SIGNALS:
    // The main window's caption: the company name as stored.
    void companyNameChanged(const QString &name);

protected:
    // Closed by its frame or Escape with something typed: asked first ("Later" is not).
    void closeEvent(QCloseEvent *event) override;

private:
    const SettingsFile &m_settings;
    Dialogs &m_dialogs;
    bool m_leaving = false;
};

} // namespace tarnvale
