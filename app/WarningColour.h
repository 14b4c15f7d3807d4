// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QPalette>

#include <optional>

class QWidget;

namespace paddock {

/// How grave a warning is: a risk the user may accept, or something that will not work.
enum class WarningLevel { Risk, Error };

/// The colour for a warning's text that reads on palette's background colour (the window's
/// unless told otherwise), light or dark: red for an error, amber for a risk, as light or as
/// dark as the background needs.
QColor warningColour(const QPalette &palette, WarningLevel level,
                     QPalette::ColorRole background = QPalette::Window);

/// Shows widget's text in the warning colour for level, taken from its palette; none gives it
/// back the colour it inherits. Called again when the palette changes, it follows the theme.
void showAsWarning(QWidget *widget, std::optional<WarningLevel> level);

} // namespace paddock
