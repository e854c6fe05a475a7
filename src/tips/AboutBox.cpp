#include "AboutBox.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarnvale {

namespace {

// A tow hook under a yellow beacon.
QPixmap productPicture()
{
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(38, 70, 120));
    painter.drawRoundedRect(QRectF(2, 2, 60, 60), 10, 10);
    painter.setBrush(QColor(255, 196, 0));
    painter.drawPie(QRectF(22, 8, 20, 20), 0, 180 * 16);
    painter.setPen(QPen(QColor(230, 230, 235), 4, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(32, 20), QPointF(32, 40));
    painter.setBrush(Qt::NoBrush);
    painter.drawArc(QRectF(22, 32, 20, 20), 180 * 16, 200 * 16);
    return pixmap;
}

const char kDescription[] =
    "Tarnvale keeps the records of a towing and impound business: one record per towed "
    "vehicle with its customer, vehicle, where it came from and went to, dates and charges.\n\n"
    "Records are sorted into groups shown as a tree. The program works out days in storage, "
    "storage charge, tax and grand total, checks vehicle identification numbers, finds records "
    "by customer or vehicle details, prints charge sheets from your own template, backs up the "
    "database into a "
    "compressed file and keeps a small to-do list.";

} // namespace

AboutBox::AboutBox(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmabout"));
    setWindowTitle(QStringLiteral("About"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);

    auto *picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("imgAbout"));
    picture->setPixmap(productPicture());
    picture->setAlignment(Qt::AlignTop);

    auto *name = new QLabel(QStringLiteral("Tarnvale"), this);
    name->setObjectName(QStringLiteral("lblProduct"));
    QFont large(QStringLiteral("Times New Roman"));
    large.setPointSize(26);
    large.setBold(true);
    large.setCapitalization(QFont::AllUppercase);
    name->setFont(large);

    auto *version = new QLabel(QStringLiteral("v" TARNVALE_VERSION), this);
    version->setObjectName(QStringLiteral("lblVersion"));

    auto *description = new QPlainTextEdit(QString::fromLatin1(kDescription), this);
    description->setObjectName(QStringLiteral("txtDescription"));
    description->setReadOnly(true);
    description->setMinimumSize(360, 130);

    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QWidget::close);

    auto *titles = new QVBoxLayout;
    titles->addWidget(name);
    titles->addWidget(version);
    titles->addStretch();
    auto *top = new QHBoxLayout;
    top->addWidget(picture);
    top->addSpacing(8);
    top->addLayout(titles, 1);
    auto *bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(ok);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(description, 1);
    layout->addLayout(bottom);
}

} // namespace tarnvale
