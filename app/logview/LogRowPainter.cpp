// SPDX-License-Identifier: MIT
#include "LogRowPainter.h"

#include "LogCharacters.h"
#include "WarningColour.h"

#include <QPainter>

namespace paddock {

namespace {

struct Glyph {
    char32_t character;
    bool symbol; // stands for a control character
};

Glyph glyphFor(char32_t code)
{
    if ((code >= 0x20 && code < 0x7f) || code >= 0xa0)
        return {code, false};
    if (code == '\t' || code == '\r')
        return {' ', false};
    if (code < 0x20)
        return {0x2400 + code, true}; // the Control Pictures: NUL is U+2400
    if (code == 0x7f)
        return {0x2421, true};
    return {0xfffd, true};
}

} // namespace

LogRowPainter::LogRowPainter(QPainter &painter, const QPalette &colours, const Geometry &geometry)
    : m_painter(painter)
    , m_geometry(geometry)
    , m_text(colours.text().color())
    , m_error(warningColour(colours, WarningLevel::Error, QPalette::Base))
    , m_warning(warningColour(colours, WarningLevel::Risk, QPalette::Base))
    , m_selectedText(colours.highlightedText().color())
    , m_symbol(colours.placeholderText().color())
    , m_highlight(colours.highlight())
{}

LogRowPainter::Tone LogRowPainter::toneOf(LogLineCategory category)
{
    switch (category) {
    case LogLineCategory::Error:
        return Tone::Error;
    case LogLineCategory::Warning:
        return Tone::Warning;
    default:
        return Tone::Plain;
    }
}

QColor LogRowPainter::colourOf(Tone tone) const
{
    switch (tone) {
    case Tone::Error:
        return m_error;
    case Tone::Warning:
        return m_warning;
    case Tone::Plain:
        break;
    }
    return m_text;
}

void LogRowPainter::paintSelection(const LogLineIndex::Row &row, const LogRowLayout &layout,
                                   int top, qsizetype selectionStart, qsizetype selectionEnd)
{
    if (selectionEnd <= row.start || selectionStart > row.end || selectionStart == selectionEnd)
        return;
    // A little more when the selection takes in the newline.
    const bool takesNewline =
        row.next > row.end && selectionStart <= row.end && selectionEnd > row.end;
    const qreal cell = m_geometry.cellWidth;
    const qsizetype from = layout.columnOf(std::max(selectionStart, row.start) - row.start);
    const qsizetype to = layout.columnOf(std::min(selectionEnd, row.end) - row.start);
    const qreal left = qreal(from) * cell - m_geometry.scrolled;
    const qreal right = qreal(to) * cell - m_geometry.scrolled + (takesNewline ? cell / 2 : 0);
    m_painter.fillRect(QRectF(left, top, right - left, m_geometry.lineHeight), m_highlight);
}

void LogRowPainter::paint(const LogLineIndex::Row &row, const LogRowLayout &layout, int top,
                          qsizetype selectionStart, qsizetype selectionEnd, Tone tone)
{
    paintSelection(row, layout, top, selectionStart, selectionEnd);
    const QColor &text = tone == Tone::Error ? m_error : tone == Tone::Warning ? m_warning : m_text;
    const qreal cell = m_geometry.cellWidth;
    const qreal scrolled = m_geometry.scrolled;
    const auto firstColumn = qsizetype(scrolled / cell);
    const qsizetype endColumn = firstColumn + qsizetype(m_geometry.width / cell) + 2;
    const int baseline = top + m_geometry.ascent;

    // Latin-1 characters in runs of one colour; any other character and every symbol in
    // cells of its own, so that a font without it, or of another width, cannot shift the
    // rest of the row.
    QString run;
    qsizetype runStart = 0;
    const QColor *runColour = nullptr;
    auto flush = [&] {
        if (!run.isEmpty()) {
            m_painter.setPen(*runColour);
            m_painter.drawText(QPointF(qreal(runStart) * cell - scrolled, baseline), run);
            run.clear();
        }
    };
    for (const LogRowLayout::Character &c : layout.characters()) {
        if (c.column + c.cells <= firstColumn)
            continue;
        if (c.column >= endColumn)
            break;
        const Glyph glyph = glyphFor(c.code);
        const qsizetype position = row.start + c.offset;
        const bool selected = position >= selectionStart && position < selectionEnd;
        if (glyph.symbol || glyph.character >= 0x100) {
            flush();
            m_painter.setPen(selected ? m_selectedText : glyph.symbol ? m_symbol : text);
            QString shown;
            LogCharacters::append(shown, glyph.character);
            const QRectF box(qreal(c.column) * cell - scrolled, top, cell * c.cells,
                             m_geometry.lineHeight);
            if (glyph.symbol)
                m_painter.drawText(box, Qt::AlignCenter, shown);
            else
                m_painter.drawText(QPointF(box.left(), baseline), shown);
            continue;
        }
        const QColor *colour = selected ? &m_selectedText : &text;
        if (colour != runColour) {
            flush();
            runColour = colour;
        }
        if (run.isEmpty())
            runStart = c.column;
        run.append(QChar(char16_t(glyph.character)));
    }
    flush();
}

} // namespace paddock
