#include "TipWindow.h"

#include <QCheckBox>
#include <QDateTime>
#include <QFileInfo>
#include <QFontInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

#include "Dialogs.h"
#include "ProgramFolder.h"
#include "SettingsFile.h"
#include "TipSettings.h"

namespace tarnvale {

namespace {

// A light bulb on a pale disc.
QPixmap bulbPicture()
{
    QPixmap pixmap(48, 48);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 244, 200));
    painter.drawEllipse(QRectF(1, 1, 46, 46));
    painter.setPen(QPen(QColor(150, 110, 0), 1.5));
    painter.setBrush(QColor(255, 214, 60));
    QPainterPath bulb;
    bulb.addEllipse(QRectF(14, 8, 20, 20));
    painter.drawPath(bulb);
    painter.setBrush(QColor(140, 140, 150));
    painter.setPen(QPen(QColor(80, 80, 90), 1));
    painter.drawRect(QRectF(19, 28, 10, 8));
    painter.drawLine(QPointF(19, 31), QPointF(29, 31));
    painter.drawLine(QPointF(19, 34), QPointF(29, 34));
    painter.drawRect(QRectF(21.5, 36, 5, 3));
    return pixmap;
}

} // namespace

TipWindow::TipWindow(const SettingsFile &settings, const ProgramFolder &folder, Dialogs &dialogs,
                     QWidget *parent)
    : QWidget(parent), m_settings(settings), m_folder(folder), m_dialogs(dialogs),
      m_random(quint32(QDateTime::currentMSecsSinceEpoch()))
{
    setObjectName(QStringLiteral("frmTip"));
    setWindowTitle(QStringLiteral("Tip of the Day"));
    setWindowFlags(Qt::Window);
    setAttribute(Qt::WA_DeleteOnClose);

    m_picture = new QLabel(this);
    m_picture->setObjectName(QStringLiteral("imgTip"));
    m_picture->setPixmap(bulbPicture());
    m_picture->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    m_text = new QLabel(this);
    m_text->setObjectName(QStringLiteral("lblTipText"));
    m_text->setWordWrap(true);
    m_text->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    m_text->setTextFormat(Qt::PlainText);
    m_text->setMinimumSize(300, 110);
    m_text->setFrameShape(QFrame::StyledPanel);
    m_text->setMargin(8);
    m_text->setAutoFillBackground(true);
    QPalette paper = m_text->palette();
    paper.setColor(QPalette::Window, QColor(255, 255, 238));
    paper.setColor(QPalette::WindowText, Qt::black);
    m_text->setPalette(paper);

    m_next = new QPushButton(QStringLiteral("N&ext"), this);
    m_next->setObjectName(QStringLiteral("cmdNextTip"));
    m_close = new QPushButton(QStringLiteral("&Close"), this);
    m_close->setObjectName(QStringLiteral("cmdOK"));
    m_close->setDefault(true);
    m_atStartup = new QCheckBox(QStringLiteral("Auto&Show Tips at Startup."), this);
    m_atStartup->setObjectName(QStringLiteral("chkLoadTipsAtStartup"));

    m_unload = new QTimer(this);
    m_unload->setObjectName(QStringLiteral("tmUnload"));
    m_unload->setInterval(TipSettings::kAutoCloseMilliseconds);
    m_unload->setSingleShot(true);
    m_unload->setTimerType(Qt::PreciseTimer); // a coarse timer may fire up to 5% early

    auto *top = new QHBoxLayout;
    top->addWidget(m_picture);
    top->addWidget(m_text, 1);
    auto *buttons = new QVBoxLayout;
    buttons->addWidget(m_close);
    buttons->addWidget(m_next);
    buttons->addStretch();
    top->addLayout(buttons);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_atStartup);

    connect(m_next, &QPushButton::clicked, this, &TipWindow::nextTip);
    connect(m_close, &QPushButton::clicked, this, &QWidget::close);
    connect(m_unload, &QTimer::timeout, this, &QWidget::close);
    connect(m_atStartup, &QCheckBox::toggled, this,
            [this](bool on) { TipSettings::setShowAtStartup(m_settings, on); });
}

TipWindow *TipWindow::open(const SettingsFile &settings, const ProgramFolder &folder,
                           Dialogs &dialogs, QWidget *parent)
{
    auto *window = new TipWindow(settings, folder, dialogs, parent);
    if (!window->load()) {
        delete window;
        return nullptr;
    }
    window->show();
    return window;
}

bool TipWindow::load()
{
    // 1. Every control in the display font, or the fallback when the system lacks it.
    const QString requested = TipSettings::displayFont(m_settings);
    const QString family =
        TipSettings::fontOrFallback(requested, QFontInfo(QFont(requested)).family());
    QFont font = this->font();
    font.setFamily(family);
    setFont(font);

    // 2. Always on top of other windows.
    setWindowFlag(Qt::WindowStaysOnTopHint, true);

    // 3. The self-close timer.
    if (TipSettings::closesItself(m_settings))
        m_unload->start();

    // 4. The start-up box mirrors Tips/StartupTips; a change is written at once.
    {
        const QSignalBlocker quiet(m_atStartup);
        m_atStartup->setChecked(TipSettings::showAtStartup(m_settings));
    }

    // 6. No tips file: say so and close.
    const QString path = m_folder.tipsPath();
    if (!QFileInfo::exists(path)) {
        m_unload->stop();
        m_dialogs.notify(QStringLiteral("Tarnvale"), QStringLiteral("Can't find the tips file."),
                         MessageIcon::Exclamation);
        if (isVisible())
            close();
        return false;
    }

    // 7. The tips, and one of them at random.
    if (!m_tips.load(path)) {
        m_text->setText(QStringLiteral("That this installation might have been messed up? "
                                       "The tips file could not be found!"));
        m_next->setEnabled(false);
        m_atStartup->setEnabled(false);
        return true;
    }
    chooseRandomTip();
    return true;
}

void TipWindow::DisplayCurrentTip()
{
    if (m_tips.count() > 0)
        m_text->setText(m_tips.tip(m_current));
}

void TipWindow::nextTip()
{
    chooseRandomTip();
}

void TipWindow::chooseRandomTip()
{
    const int chosen = m_tips.chooseRandom(m_random);
    if (chosen == 0)
        return; // only empty lines: the label keeps its text
    m_current = chosen;
    DisplayCurrentTip();
}

} // namespace tarnvale
