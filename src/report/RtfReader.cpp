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

QString RtfReader::pageNumberText(int pageField, int page, int pages)
{
    const int n = std::max(1, pageField / 16 == Page ? page : pages);
    switch (pageField % 16) {
    case RomanLower:
    case RomanUpper: {
        if (n >= 4000)
            break;
        static const std::pair<int, const char *> numerals[] = {
            {1000, "m"}, {900, "cm"}, {500, "d"}, {400, "cd"}, {100, "c"}, {90, "xc"}, {50, "l"},
            {40, "xl"},  {10, "x"},   {9, "ix"},  {5, "v"},    {4, "iv"},  {1, "i"}};
        QString text;
        int rest = n;
        for (const auto &[value, numeral] : numerals)
            for (; rest >= value; rest -= value)
                text += QLatin1String(numeral);
        return pageField % 16 == RomanUpper ? text.toUpper() : text;
    }
    case LetterLower:
    case LetterUpper: { // a..z, then aa..zz, and so on
        const QChar letter(char16_t((pageField % 16 == LetterUpper ? u'A' : u'a') + (n - 1) % 26));
        return QString((n - 1) / 26 + 1, letter);
    }
    default:
        break;
    }
    return QString::number(n);
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
