// The display box: the file shown or being sent, and the composition area.
// It wraps at the columns its margins leave (the margin slider), where a save
// breaks the lines, and it shows the character going out selected and in view.
#pragma once

#include <string>

#include <QTextEdit>

#include "gui/control_binding.h"

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

private:
    void TextChanged();
    // The character position of byte `index` of the shown text.
    int CharacterAt(int index) const;

    Bindings::TextAction edited_;
    std::string shown_;
    bool asciiOnly_ = true;
    bool copying_ = false;
    int selStart_ = -1, selEnd_ = -1;
    int firstLine_ = 0;
};

}  // namespace sked
