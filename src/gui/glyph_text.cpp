#include "gui/glyph_text.h"

#include <cmath>

#include <QGlyphRun>
#include <QPainter>

namespace sked {

namespace {
struct PlacedGlyphs {
    QList<quint32> glyphs;
    QList<QPointF> positions;
    QPointF end;  // where the next glyph would stand
};

// False when the font lacks one of the characters.
bool Place(const QRawFont& font, const QString& text, GlyphPlaces places, PlacedGlyphs& placed) {
    placed.glyphs = font.glyphIndexesForString(text);
    if (placed.glyphs.contains(0)) return false;
    const auto place = [places](QPointF pen) {
        return places == GlyphPlaces::WholePixels ? QPointF(std::round(pen.x()), pen.y()) : pen;
    };
    const QList<QPointF> advances = font.advancesForGlyphIndexes(placed.glyphs);
    placed.positions.reserve(placed.glyphs.size());
    QPointF pen;
    for (const QPointF& advance : advances) {
        placed.positions.append(place(pen));
        pen += advance;
    }
    placed.end = place(pen);
    return true;
}
}  // namespace

bool DrawGlyphText(QPainter& painter, const QRawFont& font, QPointF origin, const QString& text, GlyphPlaces places) {
    PlacedGlyphs placed;
    if (!Place(font, text, places, placed)) return false;
    QGlyphRun run;
    run.setRawFont(font);
    run.setGlyphIndexes(placed.glyphs);
    run.setPositions(placed.positions);
    painter.drawGlyphRun(origin, run);
    return true;
}

std::optional<qreal> GlyphTextWidth(const QRawFont& font, const QString& text, GlyphPlaces places) {
    PlacedGlyphs placed;
    if (!Place(font, text, places, placed)) return std::nullopt;
    return placed.end.x();
}

}  // namespace sked
