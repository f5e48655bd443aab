#include "gui/display_box.h"

#include <algorithm>
#include <cmath>

#include <QAbstractTextDocumentLayout>
#include <QFontDatabase>
#include <QScrollBar>
#include <QTextBlock>
#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>
#include <QTextLayout>

#include "app/wrapped_text.h"

namespace sked {

DisplayBox::DisplayBox(QWidget* parent) : QTextEdit(parent) {
    // Teleprinter text lines up in columns, as it prints.
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setAcceptRichText(false);
    setLineWrapMode(QTextEdit::FixedColumnWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    connect(this, &QTextEdit::textChanged, this, [this] { TextChanged(); });
    // The paint event fills what it repaints itself: a frame that moves the
    // highlight repaints two cells and nothing behind them.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    FindPitch();
}

void DisplayBox::FindPitch() {
    // Font databases do not always say a font is fixed-pitch: its letters do.
    const QFontMetricsF metrics(font());
    const qreal pitch = metrics.horizontalAdvance(QLatin1Char('M'));
    const bool fixed = metrics.horizontalAdvance(QLatin1Char('i')) == pitch &&
                       metrics.horizontalAdvance(QLatin1Char('W')) == pitch &&
                       metrics.horizontalAdvance(QLatin1Char(' ')) == pitch;
    pitch_ = fixed ? pitch : 0;
}

void DisplayBox::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        FindPitch();
        glyphFont_ = QRawFont();
    }
    QTextEdit::changeEvent(event);
}

void DisplayBox::TextChanged() {
    if (copying_) return;
    shown_ = FromQt(toPlainText());
    // The next copy compares the texts: the station may keep its own.
    copied_.revision = Copied::kTyped;
    asciiOnly_ = std::all_of(shown_.begin(), shown_.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (edited_) edited_(shown_);
}

int DisplayBox::CharacterAt(int index) const {
    index = std::clamp(index, 0, static_cast<int>(shown_.size()));
    if (asciiOnly_) return index;
    return static_cast<int>(ToQt(shown_.substr(0, static_cast<std::size_t>(index))).size());
}

bool DisplayBox::SelectionMovedOnly(const EditControl& model) const {
    // Asked at every character sent: compared with what the last copy took,
    // kept here, not with the text edit's own state, which lies in memory
    // the station has not touched since the last character.
    return model.TextRevision() == copied_.revision && model.ReadOnly() == copied_.readOnly &&
           model.Enabled() == copied_.enabled && WrapColumns(model) == copied_.columns &&
           model.FirstVisibleLine() == firstLine_;
}

void DisplayBox::Show(const EditControl& model) {
    copying_ = true;
    // A text the operator typed here comes back the same: laid out already.
    const bool newText = model.TextRevision() != copied_.revision && model.Text() != shown_;
    copied_ = {model.TextRevision(), model.ReadOnly(), model.Enabled(), WrapColumns(model)};
    if (newText) {
        shown_ = model.Text();
        asciiOnly_ = std::all_of(shown_.begin(), shown_.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        setPlainText(ToQt(shown_));
        selStart_ = selEnd_ = -1;
        faded_ = Cell();
        firstLine_ = 0;
    }
    // Each of these costs even when it sets what is there (the wrap width
    // lays the whole text out again): set only what changed.
    if (isReadOnly() != model.ReadOnly()) {
        setReadOnly(model.ReadOnly());
        viewport()->update();  // the highlight shows only while read-only
    }
    setEnabled(model.Enabled());
    if (lineWrapColumnOrWidth() != copied_.columns) setLineWrapColumnOrWidth(copied_.columns);
    if (model.SelectionStart() != selStart_ || model.SelectionEnd() != selEnd_) {
        // The cell the highlight leaves is painted plain at the next paint.
        if (const Cell was = HighlightCell(); !was.area.isEmpty()) faded_ = was;
        selStart_ = model.SelectionStart();
        selEnd_ = model.SelectionEnd();
        const Cell now = HighlightCell();
        const QPointF offset = ScrollOffset();
        viewport()->update(faded_.area.translated(-offset).toAlignedRect());
        viewport()->update(now.area.translated(-offset).toAlignedRect());
        if (!now.area.isEmpty()) ScrollToShow(now.area);
    }
    if (model.FirstVisibleLine() != firstLine_) {
        firstLine_ = model.FirstVisibleLine();
        const QTextBlock first = document()->findBlockByNumber(firstLine_);
        verticalScrollBar()->setValue(static_cast<int>(document()->documentLayout()->blockBoundingRect(first).top()));
    }
    copying_ = false;
}

DisplayBox::Cell DisplayBox::HighlightCell() const {
    if (!isReadOnly() || selStart_ < 0 || selEnd_ <= selStart_) return {};
    const int start = CharacterAt(selStart_), end = CharacterAt(selEnd_);
    const QTextBlock block = document()->findBlock(start);
    if (!block.isValid()) return {};
    // Lays the text out as far as this block, if it has not been yet.
    const QRectF blockArea = document()->documentLayout()->blockBoundingRect(block);
    const QTextLayout* layout = block.layout();
    const int inBlock = start - block.position();
    const QTextLine line = layout ? layout->lineForTextPosition(inBlock) : QTextLine();
    if (!line.isValid()) return {};
    Cell cell;
    // A line end shows as a space.
    const int count = std::max(1, std::min(end, block.position() + line.textStart() + line.textLength()) - start);
    cell.text = block.text().mid(inBlock, count).leftJustified(count, QLatin1Char(' '));
    const QString lineText = block.text().mid(line.textStart(), line.textLength());
    cell.columns = pitch_ > 0 && asciiOnly_ && !lineText.contains(QLatin1Char('\t'));
    // With the characters either side on its line, for a cell painted alone.
    const int column = inBlock - line.textStart();
    cell.before = column > 0 ? 1 : 0;
    cell.around = lineText.mid(column - cell.before, cell.before + count + 1);
    qreal left = 0, width = 0;
    if (cell.columns) {
        // Teleprinter text in a fixed-pitch font: columns, with no layout to ask.
        left = line.x() + column * pitch_;
        width = count * pitch_;
    } else {
        left = line.cursorToX(inBlock);
        width = std::max(line.cursorToX(inBlock + count) - left, QFontMetricsF(font()).averageCharWidth());
    }
    cell.area = QRectF(blockArea.left() + left, blockArea.top() + line.y(), width, line.height());
    cell.ascent = line.ascent();
    return cell;
}

QPointF DisplayBox::ScrollOffset() const {
    return QPointF(horizontalScrollBar()->value(), verticalScrollBar()->value());
}

void DisplayBox::ScrollToShow(const QRectF& cell) {
    const QRectF seen(ScrollOffset(), QSizeF(viewport()->size()));
    if (cell.top() < seen.top()) verticalScrollBar()->setValue(static_cast<int>(cell.top()));
    else if (cell.bottom() > seen.bottom()) verticalScrollBar()->setValue(static_cast<int>(std::ceil(cell.bottom() - seen.height())));
    if (cell.left() < seen.left()) horizontalScrollBar()->setValue(static_cast<int>(cell.left()));
    else if (cell.right() > seen.right()) horizontalScrollBar()->setValue(static_cast<int>(std::ceil(cell.right() - seen.width())));
}

QString DisplayBox::HighlightedText() const {
    if (HighlightCell().area.isEmpty()) return {};
    QString text;
    for (int at = CharacterAt(selStart_), end = CharacterAt(selEnd_); at < end; ++at) text += document()->characterAt(at);
    return text;
}

QRect DisplayBox::HighlightArea() const { return HighlightCell().area.translated(-ScrollOffset()).toAlignedRect(); }

void DisplayBox::paintEvent(QPaintEvent* event) {
    const QPointF offset = ScrollOffset();
    const Cell now = HighlightCell(), faded = std::exchange(faded_, Cell());
    // When the highlight has only moved on, the two cells are all there is to
    // paint: their characters are drawn as they stand, without laying out and
    // drawing their lines again.
    const QRegion cells = QRegion(now.area.translated(-offset).toAlignedRect()) +
                          QRegion(faded.area.translated(-offset).toAlignedRect());
    const bool cellsOnly = now.columns && (faded.area.isEmpty() || faded.columns) && isEnabled() &&
                           !textCursor().hasSelection() && (event->region() - cells).isEmpty();
    if (!cellsOnly) {
        QPainter(viewport()).fillRect(event->rect(), viewport()->palette().brush(viewport()->backgroundRole()));
        QTextEdit::paintEvent(event);
    }
    QPainter painter(viewport());
    if (cellsOnly) PaintCell(painter, faded, offset, true, false);
    if (event->region().intersects(now.area.translated(-offset).toAlignedRect()))
        PaintCell(painter, now, offset, cellsOnly, true);
}

void DisplayBox::DrawText(QPainter& painter, QPointF origin, const QString& text) {
    if (!glyphFont_.isValid()) glyphFont_ = QRawFont::fromFont(font());
    if (cellText_.Place(glyphFont_, text, GlyphPlaces::Advances)) cellText_.Draw(painter, origin);
    else painter.drawText(origin, text);
}

void DisplayBox::PaintCell(QPainter& painter, const Cell& cell, QPointF offset, bool plain, bool highlighted) {
    if (cell.area.isEmpty()) return;
    const QRectF area = cell.area.translated(-offset);
    const qreal baseline = area.top() + cell.ascent;
    painter.save();
    painter.setFont(font());
    if (plain) {
        // The cell's pixels as the text edit paints them, with what the
        // characters either side reach into them.
        const QRect pixels = area.toAlignedRect();
        painter.setClipRect(pixels);
        painter.fillRect(pixels, palette().brush(QPalette::Base));
        painter.setPen(palette().color(QPalette::Text));
        DrawText(painter, QPointF(area.left() - cell.before * pitch_, baseline), cell.around);
    }
    if (highlighted) {
        painter.setClipRect(area);
        painter.fillRect(area, palette().brush(QPalette::Highlight));
        painter.setPen(palette().color(QPalette::HighlightedText));
        DrawText(painter, QPointF(area.left(), baseline), cell.text);
    }
    painter.restore();
}

}  // namespace sked
