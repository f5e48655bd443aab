#include "gui/glyph_text.h"

#include <algorithm>
#include <cmath>

#include <QPainter>

namespace sked {

bool PlacedText::LookUpAscii(const QString& text, QList<qreal>& advances) {
    glyphs_.resize(text.size());
    advances.resize(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c >= ascii_.size()) return false;
        Ascii& known = ascii_[c];
        if (!known.known) {
            known.glyph = font_.glyphIndexesForString(QString(QChar(c))).value(0);
            known.advance = known.glyph ? font_.advancesForGlyphIndexes({known.glyph}).value(0).x() : 0;
            known.known = true;
        }
        glyphs_[i] = known.glyph;
        advances[i] = known.advance;
    }
    return true;
}

bool PlacedText::Place(const QRawFont& font, const QString& text, GlyphPlaces places) {
    placed_ = false;
    if (!(font == font_)) {
        font_ = font;
        ascii_ = {};
    }
    QList<qreal> advances;
    if (!LookUpAscii(text, advances)) {
        glyphs_ = font.glyphIndexesForString(text);
        advances.clear();
        for (const QPointF& advance : font.advancesForGlyphIndexes(glyphs_)) advances.append(advance.x());
    }
    if (glyphs_.contains(0)) return false;
    const auto place = [places](qreal pen) { return places == GlyphPlaces::WholePixels ? std::round(pen) : pen; };
    positions_.clear();
    positions_.reserve(glyphs_.size());
    qreal pen = 0;
    for (const qreal advance : advances) {
        positions_.append(QPointF(place(pen), 0));
        pen += advance;
    }
    end_ = place(pen);
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

}  // namespace sked
