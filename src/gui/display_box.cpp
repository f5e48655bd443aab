#include "gui/display_box.h"

#include <algorithm>

#include <QAbstractTextDocumentLayout>
#include <QFontDatabase>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

#include "app/wrapped_text.h"

namespace sked {

DisplayBox::DisplayBox(QWidget* parent) : QTextEdit(parent) {
    // Teleprinter text lines up in columns, as it prints.
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setAcceptRichText(false);
    setLineWrapMode(QTextEdit::FixedColumnWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    connect(this, &QTextEdit::textChanged, this, [this] { TextChanged(); });
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

bool DisplayBox::SelectionMovedOnly(const EditControl& model) const {
    return model.Text() == shown_ && model.ReadOnly() == isReadOnly() && model.Enabled() == isEnabled() &&
           WrapColumns(model) == lineWrapColumnOrWidth() && model.FirstVisibleLine() == firstLine_;
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
    // Each of these costs even when it sets what is there (the wrap width
    // lays the whole text out again): set only what changed.
    if (isReadOnly() != model.ReadOnly()) setReadOnly(model.ReadOnly());
    setEnabled(model.Enabled());
    if (const int columns = WrapColumns(model); lineWrapColumnOrWidth() != columns) setLineWrapColumnOrWidth(columns);
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
        const QTextBlock first = document()->findBlockByNumber(firstLine_);
        verticalScrollBar()->setValue(static_cast<int>(document()->documentLayout()->blockBoundingRect(first).top()));
    }
    copying_ = false;
}

}  // namespace sked
