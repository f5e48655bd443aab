// The display box: the file shown or being sent, and the composition area.
// It wraps at the columns its margins leave (the margin slider), where a save
// breaks the lines, and it shows the character going out highlighted and in
// view. The highlight is its own, painted over the text in the selection's
// colours: a text selection moved to each new character would lay out its
// line again and repaint two whole lines, where this repaints two cells.
#pragma once

#include <string>

#include <QRawFont>
#include <QRectF>
#include <QString>
#include <QTextEdit>

#include "gui/control_binding.h"
#include "gui/glyph_text.h"

class QPainter;

namespace sked {

class DisplayBox : public QTextEdit {
public:
    explicit DisplayBox(QWidget* parent = nullptr);

    // Copies the model in: text, read-only, margins, selection, scrolling.
    void Show(const EditControl& model);
    // True when the model differs from what is shown in its selection alone
    // (the character going out moved on): a copy that may wait for a frame.
    bool SelectionMovedOnly(const EditControl& model) const;
    // What the operator types; not called while the model is copied in.
    void OnEdited(Bindings::TextAction edited) { edited_ = std::move(edited); }

    // The characters shown highlighted (the selection of the model's text,
    // shown while the display is read-only), and where, in the viewport;
    // empty when none is.
    QString HighlightedText() const;
    QRect HighlightArea() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void TextChanged();
    // The character position of byte `index` of the shown text.
    int CharacterAt(int index) const;
    // The highlighted characters' cell in the document, laid out as now.
    struct Cell {
        QRectF area;  // empty: none
        qreal ascent = 0;
        QString text;  // as shown
        bool columns = false;  // in fixed-pitch columns: drawn alone, it looks as its line draws it
        QString around;  // the text with the characters either side on its line
        int before = 0;  // how many of those stand before it
    };
    Cell HighlightCell() const;
    // Paints `cell` plain (as the text edit would) and/or highlighted.
    void PaintCell(QPainter& painter, const Cell& cell, QPointF offset, bool plain, bool highlighted);
    // In the display's font, where the line draws it.
    void DrawText(QPainter& painter, QPointF origin, const QString& text);
    // The width of every character of a fixed-pitch font; 0 for another.
    void FindPitch();
    QPointF ScrollOffset() const;
    // Scrolls the least that brings `cell` (document) into view.
    void ScrollToShow(const QRectF& cell);

    Bindings::TextAction edited_;
    std::string shown_;
    bool asciiOnly_ = true;
    bool copying_ = false;
    // What the last copy took from the model.
    struct Copied {
        static constexpr unsigned long kTyped = ~0UL;  // the operator typed since
        unsigned long revision = 0;
        bool readOnly = false, enabled = true;
        int columns = -1;
    } copied_;
    int selStart_ = -1, selEnd_ = -1;
    int firstLine_ = 0;
    qreal pitch_ = 0;
    QRawFont glyphFont_;  // the display's font, resolved once
    PlacedText cellText_;  // a cell's text, placed with the glyphs it has looked up before
    Cell faded_;  // the cell the highlight left, not yet painted plain
};

}  // namespace sked
