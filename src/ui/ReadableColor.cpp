#include "ReadableColor.h"

#include <cmath>

namespace tarnvale::ReadableColor {

namespace {

double luminance(const QColor &colour)
{
    const auto linear = [](double channel) {
        return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF())
           + 0.0722 * linear(colour.blueF());
}

// The same hue and saturation at the lightness nearest the wanted one that reads against
// `against`.
QColor readableAgainst(const QColor &wanted, const QColor &against)
{
    const QColor hsl = wanted.toHsl();
    for (int step = 0; step <= 255; ++step)
        for (const int lightness : {hsl.lightness() + step, hsl.lightness() - step}) {
            if (lightness < 0 || lightness > 255)
                continue;
            const QColor tried = QColor::fromHsl(hsl.hslHue(), hsl.hslSaturation(), lightness);
            if (contrast(tried, against) >= 4.5)
                return tried.toRgb();
        }
    return luminance(against) > 0.18 ? QColor(Qt::black) : QColor(Qt::white);
}

} // namespace

bool isDark(const QPalette &palette)
{
    return palette.color(QPalette::Window).lightness() < 128;
}

double contrast(const QColor &one, const QColor &other)
{
    const double a = luminance(one) + 0.05, b = luminance(other) + 0.05;
    return a > b ? a / b : b / a;
}

QColor text(const QColor &wanted, const QPalette &palette, QPalette::ColorRole on)
{
    return isDark(palette) ? readableAgainst(wanted, palette.color(on)) : wanted;
}

QColor background(const QColor &wanted, const QPalette &palette)
{
    return isDark(palette) ? readableAgainst(wanted, palette.color(QPalette::Text)) : wanted;
}

} // namespace tarnvale::ReadableColor
