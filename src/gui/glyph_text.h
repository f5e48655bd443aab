// Text drawn as a run of glyphs looked up in the font's character map,
// without shaping. For the station's readouts and the display's cells, which
// are redrawn every second all day long and hold plain Latin text that has
// no ligatures or marks to shape: shaping costs more than the drawing.
#pragma once

#include <optional>

#include <QPointF>
#include <QRawFont>
#include <QString>

class QPainter;

namespace sked {

// How the glyphs stand: as the font's advances put them (exactly where a
// laid-out line draws them), or each on a whole pixel (each glyph rendered
// once and kept, where fractional places render it again for every quarter
// pixel).
enum class GlyphPlaces { Advances, WholePixels };

// Draws `text` from `origin` (its baseline's left end) in `font`; false, and
// nothing drawn, when the font lacks one of its characters (Qt's own text
// drawing then finds it in another font).
bool DrawGlyphText(QPainter& painter, const QRawFont& font, QPointF origin, const QString& text, GlyphPlaces places);
// Where the glyph after `text` would stand, drawn so; none when the font
// lacks one of its characters.
std::optional<qreal> GlyphTextWidth(const QRawFont& font, const QString& text, GlyphPlaces places);

}  // namespace sked
