// Text drawn as a run of glyphs looked up in the font's character map,
// without shaping. For the station's readouts and the display's cells, which
// are redrawn every second all day long and hold plain Latin text that has
// no ligatures or marks to shape: shaping costs more than the drawing.
#pragma once

#include <array>

#include <QGlyphRun>
#include <QList>
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

// A text's glyphs, looked up and placed once. A readout keeps its text's:
// the next second's change is found from where its glyphs stand, and a
// repaint draws only the glyphs in the area it covers. The display keeps one
// for the cells it paints, so that their glyphs too are looked up once.
class PlacedText {
public:
    // False, and nothing placed, when the font lacks one of the characters
    // (Qt's own text drawing then finds it in another font).
    bool Place(const QRawFont& font, const QString& text, GlyphPlaces places);
    bool Placed() const { return placed_; }
    void Clear() { placed_ = false; }
    // One glyph per character of the text (none of them outside the BMP).
    bool OnePerCharacter(const QString& text) const { return placed_ && glyphs_.size() == text.size(); }
    // Where the glyph of character `index` stands (at the count: where the
    // next one would), from the text's origin.
    qreal Left(qsizetype index) const;
    // Draws, from `origin` (the baseline's left end), the glyphs that stand
    // between `from` and `to` (counted from the origin; a glyph reaching
    // into the span from either side is drawn too).
    void Draw(QPainter& painter, QPointF origin, qreal from, qreal to) const;
    void Draw(QPainter& painter, QPointF origin) const;

private:
    // Plain ASCII's glyphs, looked up in the font once: a font engine
    // measures a glyph it has drawn by loading it again.
    struct Ascii {
        quint32 glyph = 0;
        qreal advance = 0;
        bool known = false;
    };
    bool LookUpAscii(const QString& text, QList<qreal>& advances);

    bool placed_ = false;
    std::array<Ascii, 128> ascii_{};
    QRawFont font_;
    QList<quint32> glyphs_;
    QList<QPointF> positions_;
    qreal end_ = 0;  // where the next glyph would stand
};

}  // namespace sked
