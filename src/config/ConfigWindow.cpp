#include "ConfigWindow.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

#include "ConfigCheck.h"
#include "ConfigSettings.h"
#include "Dialogs.h"
#include "LienSchedule.h"
#include "ScreenFit.h"
#include "ServerAddress.h"
#include "SettingsFile.h"
#include "TaxRate.h"

namespace tarnvale {

namespace {

QLabel *dollar(QWidget *parent)
{
    return new QLabel(QStringLiteral("$"), parent);
}

QLabel *note(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    QFont small = label->font();
    small.setPointSizeF(std::max(6.0, small.pointSizeF() - 1.5));
    label->setFont(small);
    label->setWordWrap(true);
    return label;
}

} // namespace

ConfigWindow::ConfigWindow(const SettingsFile &settings, Dialogs &dialogs, QWidget *parent)
    : QWidget(parent), m_settings(settings), m_dialogs(dialogs)
{
    setObjectName(QStringLiteral("frmConfig"));
    setWindowTitle(QStringLiteral("Configuration"));
    // An ordinary window in the window order, never kept on top.
    setWindowFlags(Qt::Window);
    setWindowFlag(Qt::WindowStaysOnTopHint, false);
    setAttribute(Qt::WA_DeleteOnClose);
    setFont(QFont(QStringLiteral("Tahoma")));

    m_toolbar = new QToolBar(this);
    m_toolbar->setObjectName(QStringLiteral("Toolbar1"));
    m_toolbar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    QAction *cancel = m_toolbar->addAction(QStringLiteral("Cancel"));
    cancel->setObjectName(QStringLiteral("Toolbar1_1"));
    m_toolbar->addSeparator();
    QAction *apply = m_toolbar->addAction(QStringLiteral("Apply"));
    apply->setObjectName(QStringLiteral("Toolbar1_3"));
    m_toolbar->addSeparator();
    // Previous and Next page through tabs; with the single tab they do nothing.
    m_toolbar->addAction(QStringLiteral("Previous"))->setObjectName(QStringLiteral("Toolbar1_5"));
    m_toolbar->addAction(QStringLiteral("Next"))->setObjectName(QStringLiteral("Toolbar1_6"));
    connect(cancel, &QAction::triggered, this, &ConfigWindow::cancel);
    connect(apply, &QAction::triggered, this, &ConfigWindow::apply);

    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("TabStrip1"));
    auto *general = new QWidget(m_tabs);
    auto *pageLayout = new QVBoxLayout(general);
    pageLayout->addWidget(buildCompanyFrame());
    pageLayout->addWidget(buildDatabaseFrame());
    pageLayout->addStretch();
    m_tabs->addTab(general, QStringLiteral("General"));
    m_tabs->addTab(buildLienPage(), QStringLiteral("Lien Notices"));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(m_toolbar);
    layout->addWidget(m_tabs);

    setValues(ConfigSettings::load(m_settings));
    showLienSchedule();
    resize(520, sizeHint().height());
}

void ConfigWindow::addPage(QWidget *page, const QString &title, std::function<bool()> unsaved)
{
    m_tabs->addTab(page, title);
    if (unsaved)
        m_unsavedPages.append(std::move(unsaved));
}

QLineEdit *ConfigWindow::addBox(const char *name)
{
    auto *box = new QLineEdit(this);
    box->setObjectName(QString::fromLatin1(name));
    // A stored value is shown and stored again whole, however long.
    box->setMaxLength(std::numeric_limits<int>::max());
    return box;
}

QWidget *ConfigWindow::buildCompanyFrame()
{
    auto *frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("f_web"));
    frame->setFrameShape(QFrame::StyledPanel);
    auto *form = new QFormLayout(frame);

    m_name = addBox("Text1");
    form->addRow(QStringLiteral("Company Name:"), m_name);
    m_address = addBox("Text4");
    form->addRow(QStringLiteral("Company Address:"), m_address);

    m_city = addBox("Text5");
    m_state = addBox("Text6");
    m_zip = addBox("Text7");
    m_state->setMaximumWidth(60);
    m_zip->setMaximumWidth(90);
    auto *place = new QHBoxLayout;
    place->addWidget(m_city, 1);
    place->addWidget(m_state);
    place->addWidget(m_zip);
    form->addRow(QStringLiteral("City, State, Zip:"), place);

    m_storageFee = addBox("Text2");
    m_storageFee->setMaximumWidth(90);
    auto *storage = new QHBoxLayout;
    storage->addWidget(dollar(frame));
    storage->addWidget(m_storageFee);
    storage->addStretch();
    form->addRow(QStringLiteral("Vehicle Storage Fee:"), storage);

    m_light = addBox("Text8");
    m_medium = addBox("Text9");
    m_heavy = addBox("Text10");
    auto *hookup = new QHBoxLayout;
    const std::pair<const char *, QLineEdit *> classes[] = {
        {"Light", m_light}, {"Medium", m_medium}, {"Heavy", m_heavy}};
    for (const auto &[caption, box] : classes) {
        box->setMaximumWidth(70);
        hookup->addWidget(new QLabel(QString::fromLatin1(caption), frame));
        hookup->addWidget(dollar(frame));
        hookup->addWidget(box);
        hookup->addSpacing(8);
    }
    hookup->addStretch();
    form->addRow(QStringLiteral("Hookup:"), hookup);

    m_taxRate = addBox("Text11");
    m_taxRate->setMaximumWidth(90);
    m_taxMeaning = new QLabel(frame);
    m_taxMeaning->setObjectName(QStringLiteral("lblTaxMeaning"));
    connect(m_taxRate, &QLineEdit::textChanged, this, &ConfigWindow::showTaxMeaning);
    auto *rate = new QHBoxLayout;
    rate->addWidget(m_taxRate);
    rate->addWidget(m_taxMeaning);
    rate->addStretch();
    form->addRow(QStringLiteral("Tax %:"), rate);

    m_tax = new QCheckBox(QStringLiteral("  Check to Add Tax to Totals"), frame);
    m_tax->setObjectName(QStringLiteral("Check1"));
    form->addRow(QString(), m_tax);
    m_expanded = new QCheckBox(QStringLiteral("  Expand At Startup"), frame);
    m_expanded->setObjectName(QStringLiteral("Check2"));
    form->addRow(QString(), m_expanded);
    return frame;
}

QWidget *ConfigWindow::buildDatabaseFrame()
{
    auto *frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("f_general"));
    frame->setFrameShape(QFrame::StyledPanel);
    auto *layout = new QVBoxLayout(frame);

    auto *row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("Database File:"), frame));
    m_databasePath = addBox("Text3");
    row->addWidget(m_databasePath, 1);
    auto *browse = new QPushButton(QStringLiteral("..."), frame);
    browse->setObjectName(QStringLiteral("Command1"));
    browse->setFixedWidth(32);
    connect(browse, &QPushButton::clicked, this, &ConfigWindow::browseDatabase);
    row->addWidget(browse);
    layout->addLayout(row);

    layout->addWidget(
        note(QStringLiteral("Leave the database box blank if this application is not networked."),
             frame));
    layout->addWidget(note(QStringLiteral("Note:  Database file must be a Valid database "
                                          "formatted for this application!"),
                           frame));
    return frame;
}

QWidget *ConfigWindow::buildLienPage()
{
    auto *page = new QWidget(m_tabs);
    page->setObjectName(QStringLiteral("f_lien"));
    auto *layout = new QVBoxLayout(page);
    layout->addWidget(note(QStringLiteral("The notices your state requires for a vehicle nobody "
                                          "claims, each due a number of calendar days after the "
                                          "tow date. The reminders list every step due for a "
                                          "vehicle still in the yard. Leave the list empty if "
                                          "you do not track lien notices."),
                           page));
    m_lienSteps = new QTableWidget(0, 2, page);
    m_lienSteps->setObjectName(QStringLiteral("tblLienSteps"));
    m_lienSteps->setHorizontalHeaderLabels(
        {QStringLiteral("Step"), QStringLiteral("Days after tow")});
    m_lienSteps->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_lienSteps->verticalHeader()->hide();
    layout->addWidget(m_lienSteps, 1);
    auto *buttons = new QHBoxLayout;
    auto *add = new QPushButton(QStringLiteral("Add Step"), page);
    add->setObjectName(QStringLiteral("cmdAddStep"));
    auto *remove = new QPushButton(QStringLiteral("Remove Step"), page);
    remove->setObjectName(QStringLiteral("cmdRemoveStep"));
    buttons->addWidget(add);
    buttons->addWidget(remove);
    buttons->addStretch();
    layout->addLayout(buttons);
    connect(add, &QPushButton::clicked, this, [this] {
        // The cursor goes into the new row's name (a row without items has nothing to edit).
        const int row = m_lienSteps->rowCount();
        m_lienSteps->insertRow(row);
        for (int column : {0, 1})
            m_lienSteps->setItem(row, column, new QTableWidgetItem);
        m_lienSteps->setCurrentCell(row, 0);
        m_lienSteps->setFocus();
        m_lienSteps->editItem(m_lienSteps->item(row, 0));
    });
    connect(remove, &QPushButton::clicked, this, [this] {
        if (m_lienSteps->currentRow() >= 0)
            m_lienSteps->removeRow(m_lienSteps->currentRow());
    });
    return page;
}

void ConfigWindow::showLienSchedule()
{
    const QList<LienStep> steps = LienSchedule::read(m_settings);
    m_lienSteps->setRowCount(0);
    for (const LienStep &step : steps) {
        const int row = m_lienSteps->rowCount();
        m_lienSteps->insertRow(row);
        m_lienSteps->setItem(row, 0, new QTableWidgetItem(step.name));
        m_lienSteps->setItem(row, 1, new QTableWidgetItem(QString::number(step.days)));
    }
}

QList<QPair<QString, QString>> ConfigWindow::lienRows() const
{
    QList<QPair<QString, QString>> rows;
    for (int row = 0; row < m_lienSteps->rowCount(); ++row) {
        auto cell = [&](int column) {
            const QTableWidgetItem *item = m_lienSteps->item(row, column);
            return item ? item->text() : QString();
        };
        rows.append({cell(0), cell(1)});
    }
    return rows;
}

ConfigValues ConfigWindow::values() const
{
    ConfigValues v;
    v.name = m_name->text();
    v.address = m_address->text();
    v.city = m_city->text();
    v.state = m_state->text();
    v.zip = m_zip->text();
    v.storageFee = m_storageFee->text();
    v.light = m_light->text();
    v.medium = m_medium->text();
    v.heavy = m_heavy->text();
    v.taxRate = m_taxRate->text();
    v.tax = m_tax->isChecked();
    v.expanded = m_expanded->isChecked();
    // The box shows a server's password masked: the mask left as shown keeps the password.
    v.databasePath = ServerAddress::unmasked(m_databasePath->text(), m_storedPath);
    return v;
}

void ConfigWindow::setValues(const ConfigValues &v)
{
    m_name->setText(v.name);
    m_address->setText(v.address);
    m_city->setText(v.city);
    m_state->setText(v.state);
    m_zip->setText(v.zip);
    m_storageFee->setText(v.storageFee);
    m_light->setText(v.light);
    m_medium->setText(v.medium);
    m_heavy->setText(v.heavy);
    m_taxRate->setText(v.taxRate);
    m_tax->setChecked(v.tax);
    m_expanded->setChecked(v.expanded);
    m_storedPath = v.databasePath;
    m_databasePath->setText(ServerAddress::masked(v.databasePath));
    showTaxMeaning();
}

void ConfigWindow::showEvent(QShowEvent *event)
{
    // Shown by the program (not restored from a minimized state): what the settings hold now.
    if (!event->spontaneous()) {
        setValues(ConfigSettings::load(m_settings));
        showLienSchedule();
    }
    QWidget::showEvent(event);
}

void ConfigWindow::closeEvent(QCloseEvent *event)
{
    const bool pageTyped = std::any_of(m_unsavedPages.begin(), m_unsavedPages.end(),
                                       [](const auto &unsaved) { return unsaved(); });
    if ((pageTyped || values() != ConfigSettings::load(m_settings)) &&
        !ScreenFit::discardTyped(m_dialogs, this)) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void ConfigWindow::showTaxMeaning()
{
    m_taxMeaning->setText(TaxRate::read(m_taxRate->text()).meaning());
}

bool ConfigWindow::confirmFindings(const QList<ConfigFinding> &findings, const QString &title,
                                   Dialogs &dialogs, QWidget *window)
{
    for (const ConfigFinding &finding : findings) {
        bool accepted = false;
        if (finding.question)
            accepted = dialogs.ask(title, finding.message, MessageIcon::Question) == Answer::Yes;
        else
            dialogs.notify(title, finding.message, MessageIcon::Exclamation);
        if (!accepted) {
            if (auto *box = window->findChild<QLineEdit *>(finding.control)) {
                box->setFocus();
                box->selectAll();
            }
            return false;
        }
    }
    return true;
}

bool ConfigWindow::apply()
{
    const ConfigValues typed = values();
    QList<ConfigFinding> findings = ConfigCheck::check(typed);
    // A path that was stored already (a share not mounted now) does not stop other changes.
    if (typed.databasePath != ConfigSettings::load(m_settings).databasePath)
        if (std::optional<ConfigFinding> finding = ConfigCheck::checkDatabasePath(typed.databasePath))
            findings << *finding;
    if (!confirmFindings(findings, m_settings.companyName(), m_dialogs, this))
        return false;
    QString problem;
    m_lienSteps->setCurrentIndex(QModelIndex()); // a step still being typed is kept as typed
    const std::optional<QList<LienStep>> schedule = LienSchedule::fromRows(lienRows(), &problem);
    if (!schedule) {
        m_dialogs.notify(m_settings.companyName(), problem, MessageIcon::Exclamation);
        m_tabs->setCurrentWidget(m_lienSteps->parentWidget());
        return false;
    }
    QString error;
    // The schedule is stored only when it changed: a yard that keeps none has no section.
    if (*schedule != LienSchedule::read(m_settings)
        && !LienSchedule::write(m_settings, *schedule, &error)) {
        m_dialogs.notify(m_settings.companyName(),
                         QStringLiteral("The settings could not be saved.")
                             + QString::fromUtf16(kCrLf) + error,
                         MessageIcon::Exclamation);
        return false;
    }
    if (!ConfigSettings::apply(m_settings, ConfigCheck::toStore(typed),
                               [this](const QString &name) { Q_EMIT companyNameChanged(name); },
                               &error)) {
        // The window stays open with what was typed, so that nothing is lost.
        m_dialogs.notify(m_settings.companyName(),
                         QStringLiteral("The settings could not be saved.")
                             + QString::fromUtf16(kCrLf) + error,
                         MessageIcon::Exclamation);
        return false;
    }
    leave();
    return true;
}

void ConfigWindow::cancel()
{
    Q_EMIT companyNameChanged(m_settings.companyName());
    leave();
}

void ConfigWindow::leave()
{
    hide();
    Q_EMIT mainWindowRequested();
}

void ConfigWindow::browseDatabase()
{
    const QString current = m_databasePath->text().trimmed();
    const QString startDir = current.isEmpty() ? QString() : QFileInfo(current).absolutePath();
    const QString chosen =
        m_dialogs
            .chooseOpenFile(QStringLiteral("Select your database"), startDir,
                            QStringLiteral("Tow Databases (*.dll);;All Files (*)"))
            .trimmed();
    // A cancelled dialog keeps the box: an emptied box would switch to the default database.
    if (!chosen.isEmpty())
        m_databasePath->setText(QDir::toNativeSeparators(chosen));
}

} // namespace tarnvale
