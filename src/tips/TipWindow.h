// The tip of the day: one random hint from the tips file, kept on top of other windows.
#pragma once

#include <QRandomGenerator>
#include <QWidget>

#include "TipList.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QTimer;

namespace tarnvale {

class Dialogs;
class ProgramFolder;
class SettingsFile;

class TipWindow : public QWidget
{
    Q_OBJECT

public:
    // Builds the window; load() fills it. Deletes itself when closed.
    TipWindow(const SettingsFile &settings, const ProgramFolder &folder, Dialogs &dialogs,
              QWidget *parent = nullptr);

    // Creates, loads and shows the window. Without a tips file the user is told so and the
    // answer is nullptr.
    static TipWindow *open(const SettingsFile &settings, const ProgramFolder &folder,
                           Dialogs &dialogs, QWidget *parent = nullptr);

    // Font, window order, self-close timer, check box, then the tips file and a random tip.
    // False, after "Can't find the tips file.", when there is no tips file.
    bool load();

    // Shows the current tip, when there are tips.
    void DisplayCurrentTip();
    int currentTip() const { return m_current; }

public Q_SLOTS:
    // "N&ext": another tip at random.
    void nextTip();

private:
    void chooseRandomTip();

    const SettingsFile &m_settings;
    const ProgramFolder &m_folder;
    Dialogs &m_dialogs;
    TipList m_tips;
    int m_current = 0;
    QRandomGenerator m_random;
    QLabel *m_picture = nullptr;
    QLabel *m_text = nullptr;
    QPushButton *m_next = nullptr;
    QPushButton *m_close = nullptr;
    QCheckBox *m_atStartup = nullptr;
    QTimer *m_unload = nullptr;
};

} // namespace tarnvale
