#include "gui/display_box.h"

#include <algorithm>

#include <QFontDatabase>
#include <QScrollBar>
#include <QTextCursor>

namespace sked {

DisplayBox::DisplayBox(QWidget* parent) : QPlainTextEdit(parent) {
    // Teleprinter text lines up in columns, as it prints.
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    connect(this, &QPlainTextEdit::textChanged, this, [this] { TextChanged(); });
}

void DisplayBox::TextChanged() {
    if (copying_) return;
    shown_ = FromQt(toPlainText());
    asciiOnly_ = std::all_of(shown_.begin(), shown_.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (edited_) edited_(shown_);
}

int DisplayBox::CharacterAt(int index) const {
    index = std::clamp(index, 0, static_cast<int>(shown_.size()));
    if (asciiOnly_) return index;
    return static_cast<int>(ToQt(shown_.substr(0, static_cast<std::size_t>(index))).size());
}

void DisplayBox::Show(const EditControl& model) {
    copying_ = true;
    if (model.Text() != shown_) {
        shown_ = model.Text();
        asciiOnly_ = std::all_of(shown_.begin(), shown_.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        setPlainText(ToQt(shown_));
        selStart_ = selEnd_ = -1;
        firstLine_ = 0;
    }
    setReadOnly(model.ReadOnly());
    setEnabled(model.Enabled());
    setViewportMargins(model.LeftMargin(), 0, model.RightMargin(), 0);
    if (model.SelectionStart() != selStart_ || model.SelectionEnd() != selEnd_) {
        selStart_ = model.SelectionStart();
        selEnd_ = model.SelectionEnd();
        QTextCursor cursor(document());
        cursor.setPosition(CharacterAt(selStart_));
        cursor.setPosition(CharacterAt(selEnd_), QTextCursor::KeepAnchor);
        setTextCursor(cursor);
        ensureCursorVisible();
    }
    if (model.FirstVisibleLine() != firstLine_) {
        firstLine_ = model.FirstVisibleLine();
        verticalScrollBar()->setValue(firstLine_);
    }
    copying_ = false;
}

}  // namespace sked
