#include "gui/glyph_text.h"

#include <algorithm>
#include <cmath>

#include <QPainter>

namespace sked {

bool PlacedText::Place(const QRawFont& font, const QString& text, GlyphPlaces places) {
    placed_ = false;
    glyphs_ = font.glyphIndexesForString(text);
    if (glyphs_.contains(0)) return false;
    const auto place = [places](qreal pen) { return places == GlyphPlaces::WholePixels ? std::round(pen) : pen; };
    const QList<QPointF> advances = font.advancesForGlyphIndexes(glyphs_);
    positions_.clear();
    positions_.reserve(glyphs_.size());
    qreal pen = 0;
    for (const QPointF& advance : advances) {
        positions_.append(QPointF(place(pen), 0));
        pen += advance.x();
    }
    end_ = place(pen);
    font_ = font;
    placed_ = true;
    return true;
}

qreal PlacedText::Left(qsizetype index) const {
    return index < positions_.size() ? positions_[index].x() : end_;
}

void PlacedText::Draw(QPainter& painter, QPointF origin, qreal from, qreal to) const {
    if (!placed_ || glyphs_.isEmpty()) return;
    const auto byLeft = [](const QPointF& place, qreal x) { return place.x() < x; };
    // From the glyph standing before `from`, which may reach into the span,
    // to the first one standing past `to`, which may reach back into it.
    qsizetype first = std::lower_bound(positions_.begin(), positions_.end(), from, byLeft) - positions_.begin();
    first = std::max<qsizetype>(0, first - 1);
    qsizetype last = std::lower_bound(positions_.begin(), positions_.end(), to, byLeft) - positions_.begin();
    last = std::min(positions_.size(), last + 1);
    if (first >= last) return;
    QGlyphRun run;
    run.setRawFont(font_);
    run.setRawData(glyphs_.constData() + first, positions_.constData() + first, static_cast<int>(last - first));
    painter.drawGlyphRun(origin, run);
}

void PlacedText::Draw(QPainter& painter, QPointF origin) const {
    Draw(painter, origin, -qInf(), qInf());
}

bool DrawGlyphText(QPainter& painter, const QRawFont& font, QPointF origin, const QString& text, GlyphPlaces places) {
    PlacedText placed;
    if (!placed.Place(font, text, places)) return false;
    placed.Draw(painter, origin);
    return true;
}

}  // namespace sked
