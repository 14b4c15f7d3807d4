// SPDX-License-Identifier: MIT
#include "WarningColour.h"

#include <QPalette>
#include <QWidget>

#include <cmath>

namespace paddock {

namespace {

// The relative luminance of colour, as contrast between text and background is judged.
double luminance(const QColor &colour)
{
    const auto linear = [](double channel) {
        return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) +
           0.0722 * linear(colour.blueF());
}

} // namespace

QColor warningColour(const QPalette &palette, WarningLevel level, QPalette::ColorRole background)
{
    const int hue = level == WarningLevel::Error ? 0 : 38;
    // Above this luminance a background is light: dark text reads on it, else light text.
    const bool lightBackground = luminance(palette.color(background)) > 0.18;
    const double lightness = lightBackground ? (level == WarningLevel::Error ? 0.345 : 0.27)
                                             : (level == WarningLevel::Error ? 0.75 : 0.62);
    return QColor::fromHslF(hue / 360.0, 1.0, lightness);
}

void showAsWarning(QWidget *widget, std::optional<WarningLevel> level)
{
    if (!level) {
        widget->setPalette(QPalette()); // inherits every colour again
        return;
    }
    // Read on the window's background: while a theme changes, the window has its new palette
    // before its children do. Only the text's colour is set; every other colour is inherited.
    QPalette palette;
    palette.setColor(QPalette::WindowText, warningColour(widget->window()->palette(), *level));
    widget->setPalette(palette);
}

} // namespace paddock
