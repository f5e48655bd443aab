#include "platform/controls.h"

#include <algorithm>
#include <strings.h>

namespace sked {

void Control::SetEnabled(bool enabled) {
    if (enabled_ == enabled) return;
    enabled_ = enabled;
    Changed();
}

void Control::Changed() {
    for (const auto& observer : observers_) observer();
}

void EditControl::SetText(const std::string& text) {
    if (text_ == text) return;
    text_ = text;
    selStart_ = selEnd_ = 0;
    firstLine_ = 0;
    Changed();
}

void EditControl::SetReadOnly(bool readOnly) {
    if (readOnly_ == readOnly) return;
    readOnly_ = readOnly;
    Changed();
}

void EditControl::SetMargins(int left, int right) {
    leftMargin_ = left;
    rightMargin_ = right;
    Changed();
}

void EditControl::SetSelection(int start, int end) {
    selStart_ = start;
    selEnd_ = end;
}

void EditControl::ScrollLines(int lines) {
    firstLine_ = std::max(0, std::min(firstLine_ + lines, LineCount() - 1));
}

int EditControl::LineCount() const {
    return 1 + static_cast<int>(std::count(text_.begin(), text_.end(), '\n'));
}

void ListBoxControl::AddString(const std::string& item) {
    items_.push_back(item);
    Changed();
}

void ListBoxControl::InsertString(int index, const std::string& item) {
    if (index < 0 || index > Count()) index = Count();
    items_.insert(items_.begin() + index, item);
    if (curSel_ >= index) ++curSel_;
    Changed();
}

void ListBoxControl::DeleteString(int index) {
    if (index < 0 || index >= Count()) return;
    items_.erase(items_.begin() + index);
    if (curSel_ == index) curSel_ = -1;
    else if (curSel_ > index) --curSel_;
    Changed();
}

void ListBoxControl::ResetContent() {
    items_.clear();
    curSel_ = -1;
    Changed();
}

void ListBoxControl::SetCurSel(int index) {
    curSel_ = (index >= 0 && index < Count()) ? index : -1;
    Changed();
}

int ComboBoxControl::AddString(const std::string& item) {
    auto at = items_.end();
    if (sorted_)
        at = std::upper_bound(items_.begin(), items_.end(), item, [](const std::string& a, const std::string& b) {
            return ::strcasecmp(a.c_str(), b.c_str()) < 0;
        });
    int index = static_cast<int>(at - items_.begin());
    items_.insert(at, item);
    Changed();
    return index;
}

void ComboBoxControl::InsertString(int index, const std::string& item) {
    if (index < 0 || index > Count()) index = Count();
    items_.insert(items_.begin() + index, item);
    Changed();
}

void ComboBoxControl::DeleteString(int index) {
    if (index < 0 || index >= Count()) return;
    items_.erase(items_.begin() + index);
    if (curSel_ == index) curSel_ = -1;
    else if (curSel_ > index) --curSel_;
    Changed();
}

void ComboBoxControl::ResetContent() {
    items_.clear();
    curSel_ = -1;
    editText_.clear();
    Changed();
}

void ComboBoxControl::SetCurSel(int index) {
    curSel_ = (index >= 0 && index < Count()) ? index : -1;
    if (curSel_ >= 0) editText_ = items_[static_cast<std::size_t>(curSel_)];
    Changed();
}

void ComboBoxControl::SetEditText(const std::string& text) {
    editText_ = text;
    Changed();
}

void ComboBoxControl::ShowDropDown(bool show) {
    droppedDown_ = show;
    Changed();
}

void CheckBoxControl::SetCheck(int state) {
    if (state_ == state) return;
    state_ = state;
    Changed();
}

void ButtonControl::SetCaption(const std::string& caption) {
    if (caption_ == caption) return;
    caption_ = caption;
    Changed();
}

void ButtonControl::SetChecked(bool checked) {
    if (checked_ == checked) return;
    checked_ = checked;
    Changed();
}

void TrackbarControl::SetRange(int min, int max) {
    min_ = min;
    max_ = max;
    pos_ = std::clamp(pos_, min_, max_);
    Changed();
}

void TrackbarControl::SetPos(int pos) {
    pos_ = std::clamp(pos, min_, max_);
    Changed();
}

}  // namespace sked
