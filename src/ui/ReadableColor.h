// The few colours the program gives texts and boxes of its own (the tree's vehicles, an
// unreadable charge, an overdue step, a total) are kept as they are on a light palette; on a
// dark one (a window lightness below 128) each is moved, keeping its hue, to the nearest
// lightness that reads against what it is shown on (a contrast ratio of at least 4.5).
#pragma once

#include <QColor>
#include <QPalette>

namespace tarnvale::ReadableColor {

bool isDark(const QPalette &palette);
// The contrast ratio of two colours by their relative luminance: 1 (the same) to 21.
double contrast(const QColor &one, const QColor &other);
// A colour for text shown on `on` (Base in a box or list, Window on a label).
QColor text(const QColor &wanted, const QPalette &palette, QPalette::ColorRole on = QPalette::Base);
// A colour for a box's background under the palette's text.
QColor background(const QColor &wanted, const QPalette &palette);

} // namespace tarnvale::ReadableColor
