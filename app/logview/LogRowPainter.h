// SPDX-License-Identifier: MIT
#pragma once

#include "LogLineCategory.h"
#include "LogLineIndex.h"
#include "LogRowLayout.h"

#include <QPalette>

class QPainter;

namespace paddock {

/// Paints the log view's rows: the characters in sight, each in its cells, and the
/// selection's background. Printable characters are drawn as themselves, tab and carriage
/// return as a blank, other control characters as a dimmer symbol in a cell of its own,
/// so that nothing the server writes can move, hide or corrupt what is drawn around it.
/// Error and warning lines are drawn in colours that read on the palette's base, light or dark.
class LogRowPainter final {
public:
    /// The colour a row's text is drawn in.
    enum class Tone { Plain, Error, Warning };
    /// The tone for a line of category.
    static Tone toneOf(LogLineCategory category);

    struct Geometry {
        qreal cellWidth;
        int lineHeight;
        int ascent;
        qreal scrolled; // pixels scrolled to the right
        int width;      // of the area painted
    };

    /// Paints with painter, in colours, on a grid of geometry.
    LogRowPainter(QPainter &painter, const QPalette &colours, const Geometry &geometry);

    /// Paints row, laid out as layout, with its top at top; the bytes [selectionStart,
    /// selectionEnd) of the log are selected; its text is in tone's colour.
    void paint(const LogLineIndex::Row &row, const LogRowLayout &layout, int top,
               qsizetype selectionStart, qsizetype selectionEnd, Tone tone = Tone::Plain);
    /// The colour text in tone is drawn in.
    QColor colourOf(Tone tone) const;

private:
    void paintSelection(const LogLineIndex::Row &row, const LogRowLayout &layout, int top,
                        qsizetype selectionStart, qsizetype selectionEnd);

    QPainter &m_painter;
    Geometry m_geometry;
    QColor m_text;
    QColor m_error;
    QColor m_warning;
    QColor m_selectedText;
    QColor m_symbol;
    QBrush m_highlight;
};

} // namespace paddock
