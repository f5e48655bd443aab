// A field the station writes and the operator only reads: the clock, the
// countdown, the running line. It looks like a line edit but paints as
// little as a field can: its frame is drawn by the style once per size and
// kept, and each new text is a run of glyphs over it, looked up in the font
// without shaping (these texts have no ligatures or marks to shape). Some of
// these change every second all day long, and a line edit lays out, shapes
// and draws its whole frame each time.
#pragma once

#include <QPixmap>
#include <QRawFont>
#include <QString>
#include <QWidget>

#include "gui/glyph_text.h"

namespace sked {

class ReadoutField : public QWidget {
public:
    explicit ReadoutField(QWidget* parent = nullptr);

    const QString& text() const { return text_; }
    // Repaints only when the text differs, and only from where it differs.
    void setText(const QString& text);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // What changes on the field when its text goes from `was` to `now`.
    QRect Changed(const QString& was, const QString& now);
    const QRawFont& GlyphFont();
    // The kept frame and the text's place in it, for the current size and state.
    void DrawFrame();

    QString text_;
    QPixmap frame_;  // background and frame at the current size and state
    QRect textArea_;  // where the text goes inside that frame
    QPoint origin_;  // and where its baseline starts
    QRawFont glyphFont_;  // the field's font, resolved once (GlyphFont)
    PlacedText placed_;  // text_'s glyphs, once painted or measured
};

}  // namespace sked
