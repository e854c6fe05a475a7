#include "RtfReader.h"

#include <QGuiApplication>
#include <QScreen>

#include "RtfParser.h"

namespace tarnvale {

QPageLayout RtfReader::Result::pageLayout() const
{
    QSizeF paper = paperTwips;
    if (paper.width() < 1440 || paper.height() < 1440 || paper.width() > 1440 * 100 ||
        paper.height() > 1440 * 100)
        paper = QSizeF(12240, 15840);
    QMarginsF margins = marginTwips;
    const bool sane = margins.left() >= 0 && margins.right() >= 0 && margins.top() >= 0 &&
                      margins.bottom() >= 0 &&
                      margins.left() + margins.right() <= paper.width() - 720 &&
                      margins.top() + margins.bottom() <= paper.height() - 720;
    if (!sane)
        margins = QMarginsF(1800, 1440, 1800, 1440);
    const QPageSize size(QSizeF(paper.width() / 20.0, paper.height() / 20.0), QPageSize::Point,
                         QString(), QPageSize::FuzzyMatch);
    return QPageLayout(size, QPageLayout::Portrait, margins / 20.0, QPageLayout::Point);
}

qreal RtfReader::defaultDpi()
{
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        if (const QScreen *screen = QGuiApplication::primaryScreen())
            return screen->logicalDotsPerInchY();
    }
    return 96.0;
}

RtfReader::Result RtfReader::read(const QByteArray &rtf, QTextDocument &document, qreal dotsPerInch,
                                  PictureCache *pictures)
{
    if (dotsPerInch <= 0)
        dotsPerInch = defaultDpi();
    rtf::RtfParser parser(rtf, document, dotsPerInch, pictures);
    return parser.run();
}

} // namespace tarnvale
