// SPDX-License-Identifier: MIT
#pragma once

#include "LogLineIndex.h"
#include "LogRowLayout.h"

#include <QPalette>

class QPainter;

namespace paddock {

/// Paints the log view's rows: the characters in sight, each in its cells, and the
/// selection's background. Printable characters are drawn as themselves, tab and carriage
/// return as a blank, other control characters as a dimmer symbol in a cell of its own,
/// so that nothing the server writes can move, hide or corrupt what is drawn around it.
class LogRowPainter final {
public:
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
    /// selectionEnd) of the log are selected.
    void paint(const LogLineIndex::Row &row, const LogRowLayout &layout, int top,
               qsizetype selectionStart, qsizetype selectionEnd);

private:
    void paintSelection(const LogLineIndex::Row &row, const LogRowLayout &layout, int top,
                        qsizetype selectionStart, qsizetype selectionEnd);

    QPainter &m_painter;
    Geometry m_geometry;
    QColor m_text;
    QColor m_selectedText;
    QColor m_symbol;
    QBrush m_highlight;
};

} // namespace paddock
