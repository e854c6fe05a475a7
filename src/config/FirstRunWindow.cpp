#include "FirstRunWindow.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ConfigCheck.h"
#include "ConfigSettings.h"
#include "ConfigWindow.h"
#include "Dialogs.h"
#include "ScreenFit.h"
#include "SettingsFile.h"

namespace tarnvale {

namespace {

// Each box under the name Configuration gives it, so that a refused value is pointed at the
// same way in both windows.
struct Box
{
    const char *name;
    const char *caption;
    QString ConfigValues::*value;
};

const Box kBoxes[] = {
    {"Text1", "Company Name:", &ConfigValues::name},
    {"Text4", "Company Address:", &ConfigValues::address},
    {"Text5", "City:", &ConfigValues::city},
    {"Text6", "State:", &ConfigValues::state},
    {"Text7", "Zip:", &ConfigValues::zip},
    {"Text2", "Vehicle Storage Fee: $", &ConfigValues::storageFee},
    {"Text8", "Hookup, Light: $", &ConfigValues::light},
    {"Text9", "Hookup, Medium: $", &ConfigValues::medium},
    {"Text10", "Hookup, Heavy: $", &ConfigValues::heavy},
    {"Text11", "Tax %:", &ConfigValues::taxRate},
};

} // namespace

FirstRunWindow::FirstRunWindow(const SettingsFile &settings, Dialogs &dialogs, QWidget *parent)
    : QDialog(parent), m_settings(settings), m_dialogs(dialogs)
{
    setObjectName(QStringLiteral("frmFirstRun"));
    setWindowTitle(QStringLiteral("Welcome"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto *layout = new QVBoxLayout(this);
    auto *intro = new QLabel(QStringLiteral("Your company's name, address and fees go on every "
                                            "sheet and receipt. You can change them later in "
                                            "Config Settings."),
                             this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    auto *form = new QFormLayout;
    const ConfigValues stored = ConfigSettings::load(settings);
    for (const Box &box : kBoxes) {
        auto *edit = new QLineEdit(stored.*box.value, this);
        edit->setObjectName(QLatin1String(box.name));
        form->addRow(QString::fromLatin1(box.caption), edit);
    }
    layout->addLayout(form);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto *later = new QPushButton(QStringLiteral("Later"), this);
    later->setObjectName(QStringLiteral("cmdLater"));
    auto *save = new QPushButton(QStringLiteral("Save"), this);
    save->setObjectName(QStringLiteral("cmdSave"));
    save->setDefault(true);
    buttons->addWidget(later);
    buttons->addWidget(save);
    layout->addLayout(buttons);
    connect(later, &QPushButton::clicked, this, [this] {
        m_leaving = true;
        close();
    });
    connect(save, &QPushButton::clicked, this, &FirstRunWindow::save);
    resize(440, sizeHint().height());
    if (parent) // over the middle of the main window
        move(parent->geometry().center() - rect().center());
}

bool FirstRunWindow::wanted(const SettingsFile &settings,
                            const std::function<qint64()> &vehicleCount)
{
    return settings.companyName().trimmed().isEmpty() && vehicleCount() == 0;
}

bool FirstRunWindow::save()
{
    ConfigValues typed = ConfigSettings::load(m_settings);
    for (const Box &box : kBoxes)
        typed.*box.value = findChild<QLineEdit *>(QLatin1String(box.name))->text();
    if (!ConfigWindow::confirmFindings(ConfigCheck::check(typed), QStringLiteral("Welcome"),
                                       m_dialogs, this))
        return false;
    QString error;
    if (!ConfigSettings::apply(m_settings, ConfigCheck::toStore(typed),
                               [this](const QString &name) { Q_EMIT companyNameChanged(name); },
                               &error)) {
        m_dialogs.notify(QStringLiteral("Welcome"),
                         QStringLiteral("The settings could not be saved.")
                             + QString::fromUtf16(kCrLf) + error,
                         MessageIcon::Exclamation);
        return false;
    }
    m_leaving = true;
    close();
    return true;
}

void FirstRunWindow::closeEvent(QCloseEvent *event)
{
    if (!m_leaving && ScreenFit::typedInto(this) && !ScreenFit::discardTyped(m_dialogs, this)) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

} // namespace tarnvale
