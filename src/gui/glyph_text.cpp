#include "gui/glyph_text.h"

#include <cmath>

#include <QGlyphRun>
#include <QPainter>

namespace sked {

bool DrawGlyphText(QPainter& painter, const QRawFont& font, QPointF origin, const QString& text, GlyphPlaces places) {
    const QList<quint32> glyphs = font.glyphIndexesForString(text);
    if (glyphs.contains(0)) return false;
    const QList<QPointF> advances = font.advancesForGlyphIndexes(glyphs);
    QList<QPointF> positions;
    positions.reserve(glyphs.size());
    QPointF pen;
    for (const QPointF& advance : advances) {
        positions.append(places == GlyphPlaces::WholePixels ? QPointF(std::round(pen.x()), pen.y()) : pen);
        pen += advance;
    }
    QGlyphRun run;
    run.setRawFont(font);
    run.setGlyphIndexes(glyphs);
    run.setPositions(positions);
    painter.drawGlyphRun(origin, run);
    return true;
}

}  // namespace sked
