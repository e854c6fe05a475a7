// The settings of the tip of the day.
//
//   Tips/StartupTips     "1": open the tips at start (and show the box checked); written "1"/"0".
//   Quorvel/StartupTips  a value that reads as the number 1 closes the window by itself.
//   Quorvel/DisplayFont  the font of the window, "Tahoma" when absent.
#pragma once

#include <QString>

namespace tarnvale {

class SettingsFile;

class TipSettings
{
public:
    static constexpr int kAutoCloseMilliseconds = 7500;
    static constexpr char16_t kFallbackFont[] = u"MS Sans Serif";

    // True only for the exact text "1"; the browser asks this when it opens.
    static bool showAtStartup(const SettingsFile &settings);
    static void setShowAtStartup(const SettingsFile &settings, bool show);

    static bool closesItself(const SettingsFile &settings);
    // True when the text, blanks aside, is a number equal to 1 ("1", "01", "1.0").
    static bool readsAsOne(const QString &text);

    static QString displayFont(const SettingsFile &settings);
    // The requested font when the system reports it back under that name, else the fallback.
    static QString fontOrFallback(const QString &requested, const QString &reported);
};

} // namespace tarnvale
