#include "gui/readout_field.h"

#include <algorithm>

#include <QAccessible>
#include <QAccessibleWidget>
#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

#include "gui/glyph_text.h"

namespace sked {

namespace {
// Room between frame and text, as a line edit leaves it.
constexpr int kTextMargin = 2;
constexpr int kVerticalMargin = 1;
// A line edit is never lower than this, nor than a small icon.
constexpr int kMinimumTextHeight = 14;
// How far a glyph may reach left of its place.
constexpr int kOverhang = 2;

QStyleOptionFrame FrameOption(const QWidget& field) {
    QStyleOptionFrame option;
    option.initFrom(&field);
    option.lineWidth = field.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, &field);
    option.midLineWidth = 0;
    option.state |= QStyle::State_Sunken | QStyle::State_ReadOnly;
    option.features = QStyleOptionFrame::None;
    return option;
}

// What a screen reader is told of a readout: a text that changes, as a
// read-only line edit is.
class ReadoutAccessible : public QAccessibleWidget {
public:
    explicit ReadoutAccessible(ReadoutField* field) : QAccessibleWidget(field, QAccessible::StaticText) {}
    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Value || (kind == QAccessible::Name && QAccessibleWidget::text(kind).isEmpty()))
            return static_cast<const ReadoutField*>(widget())->text();
        return QAccessibleWidget::text(kind);
    }
};

QAccessibleInterface* ReadoutAccessibleFor(const QString&, QObject* object) {
    auto* field = dynamic_cast<ReadoutField*>(object);
    return field ? new ReadoutAccessible(field) : nullptr;
}
}  // namespace

ReadoutField::ReadoutField(QWidget* parent) : QWidget(parent) {
    // Every pixel is painted from the kept frame: nothing behind it repaints.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // One factory serves every readout; the first installs it.
    static const bool accessible = (QAccessible::installFactory(ReadoutAccessibleFor), true);
    (void)accessible;
}

void ReadoutField::setText(const QString& text) {
    if (text == text_) return;
    update(Changed(text_, text));
    text_ = text;
    placed_.Clear();
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent changed(this, text_);
        QAccessible::updateAccessibility(&changed);
    }
}

QRect ReadoutField::Changed(const QString& was, const QString& now) {
    // What both texts begin with stays as it is painted: a clock's second
    // changes its last digits, the running line grows at its end.
    const auto same = std::mismatch(was.begin(), was.end(), now.begin(), now.end()).first - was.begin();
    if (same == 0 || frame_.isNull() || frame_.deviceIndependentSize().toSize() != size()) return rect();
    // Its glyphs were placed when it was painted.
    if (!placed_.Placed() && !placed_.Place(GlyphFont(), was, GlyphPlaces::WholePixels)) return rect();
    if (!placed_.OnePerCharacter(was)) return rect();
    // From a little before the first new glyph, which may reach back over its place.
    const int from = textArea_.left() + static_cast<int>(placed_.Left(same)) - kOverhang;
    return QRect(from, textArea_.top(), textArea_.right() - from + 1, textArea_.height()) & textArea_;
}

const QRawFont& ReadoutField::GlyphFont() {
    if (!glyphFont_.isValid()) glyphFont_ = QRawFont::fromFont(font());
    return glyphFont_;
}

QSize ReadoutField::sizeHint() const {
    ensurePolished();
    const QFontMetrics metrics = fontMetrics();
    const int iconSize = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
    const QSize text(metrics.horizontalAdvance(QLatin1Char('x')) * 17 + 2 * kTextMargin,
                     std::max({metrics.height(), kMinimumTextHeight, iconSize - 2}) + 2 * kVerticalMargin);
    const QStyleOptionFrame option = FrameOption(*this);
    return style()->sizeFromContents(QStyle::CT_LineEdit, &option, text, this);
}

QSize ReadoutField::minimumSizeHint() const {
    const QSize hint = sizeHint();
    return {fontMetrics().maxWidth() + 2 * kTextMargin, hint.height()};
}

void ReadoutField::changeEvent(QEvent* event) {
    // The frame is drawn in the colours of the state and palette.
    if (event->type() == QEvent::EnabledChange || event->type() == QEvent::PaletteChange ||
        event->type() == QEvent::StyleChange || event->type() == QEvent::FontChange)
        frame_ = QPixmap();
    if (event->type() == QEvent::FontChange) {
        glyphFont_ = QRawFont();
        placed_.Clear();
    }
    QWidget::changeEvent(event);
}

void ReadoutField::DrawFrame() {
    const qreal ratio = devicePixelRatioF();
    frame_ = QPixmap(size() * ratio);
    frame_.setDevicePixelRatio(ratio);
    frame_.fill(palette().color(QPalette::Window));
    QPainter painter(&frame_);
    const QStyleOptionFrame option = FrameOption(*this);
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &option, &painter, this);
    textArea_ = style()->subElementRect(QStyle::SE_LineEditContents, &option, this)
                    .adjusted(kTextMargin, 0, -kTextMargin, 0);
    const QFontMetrics metrics = fontMetrics();
    origin_ = QPoint(textArea_.left(), textArea_.top() + (textArea_.height() - metrics.height() + 1) / 2 + metrics.ascent());
}

void ReadoutField::paintEvent(QPaintEvent* event) {
    if (frame_.isNull() || frame_.deviceIndependentSize().toSize() != size()) DrawFrame();
    const QRect area = event->rect();
    QPainter painter(this);
    painter.drawPixmap(area.topLeft(), frame_, QRectF(area.topLeft() * frame_.devicePixelRatio(),
                                                      area.size() * frame_.devicePixelRatio()));
    painter.setClipRect(textArea_);
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Text));
    if (placed_.Placed() || placed_.Place(GlyphFont(), text_, GlyphPlaces::WholePixels))
        // Only the glyphs in the area repainted: mostly the end of the text.
        placed_.Draw(painter, origin_, area.left() - origin_.x(), area.right() + 1 - origin_.x());
    else
        painter.drawText(origin_, text_);
}

}  // namespace sked
