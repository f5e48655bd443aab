#include "app/controls.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include <strings.h>

namespace sked {

// The observers of one control. Entries live on the heap so that a callback
// keeps its storage while it runs, whatever is added or removed meanwhile;
// removal during a notification only marks the entry, and the marked entries
// are dropped when the outermost notification ends.
struct Control::Observers {
    struct Entry {
        ObserverId id;
        Observer call;
    };

    std::vector<std::unique_ptr<Entry>> entries;
    ObserverId nextId = 1;
    int rounds = 0;       // notifications in progress (an observer may change the control again)
    bool closed = false;  // the control has been destroyed

    ObserverId Add(Observer call) {
        if (!call || closed) return 0;
        ObserverId id = nextId++;
        entries.push_back(std::make_unique<Entry>(Entry{id, std::move(call)}));
        return id;
    }

    void Remove(ObserverId id) {
        if (id == 0) return;
        auto it = std::find_if(entries.begin(), entries.end(), [id](const auto& entry) { return entry->id == id; });
        if (it == entries.end()) return;
        if (rounds > 0) (*it)->id = 0;
        else entries.erase(it);
    }

    void Notify() {
        struct Round {
            Observers& list;
            explicit Round(Observers& l) : list(l) { ++list.rounds; }
            ~Round() {
                if (--list.rounds == 0)
                    std::erase_if(list.entries, [](const auto& entry) { return entry->id == 0; });
            }
        } round(*this);
        // Observers added during this round wait for the next change.
        const std::size_t count = entries.size();
        for (std::size_t i = 0; i < count && !closed; ++i) {
            Entry& entry = *entries[i];
            if (entry.id != 0) entry.call();
        }
    }
};

Control::Control() : observers_(std::make_shared<Observers>()) {}

Control::~Control() { observers_->closed = true; }

Control::ObserverId Control::Observe(Observer observer) { return observers_->Add(std::move(observer)); }

void Control::Unobserve(ObserverId id) { observers_->Remove(id); }

bool Control::Observed() const {
    return std::any_of(observers_->entries.begin(), observers_->entries.end(),
                       [](const auto& entry) { return entry->id != 0; });
}

void Control::Changed() {
    // Held here: an observer may destroy the window and this control with it.
    std::shared_ptr<Observers> observers = observers_;
    observers->Notify();
}

void Control::SetEnabled(bool enabled) {
    if (enabled_ == enabled) return;
    enabled_ = enabled;
    Changed();
}

ControlSubscription::ControlSubscription(Control& control, Control::Observer observer)
    : observers_(control.observers_), id_(control.Observe(std::move(observer))) {}

ControlSubscription::ControlSubscription(ControlSubscription&& other) noexcept
    : observers_(std::move(other.observers_)), id_(std::exchange(other.id_, 0)) {}

ControlSubscription& ControlSubscription::operator=(ControlSubscription&& other) noexcept {
    if (this != &other) {
        Reset();
        observers_ = std::move(other.observers_);
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

void ControlSubscription::Reset() {
    if (auto observers = observers_.lock()) observers->Remove(id_);
    observers_.reset();
    id_ = 0;
}

bool ControlSubscription::Active() const {
    auto observers = observers_.lock();
    return id_ != 0 && observers && !observers->closed;
}

void EditControl::SetText(const std::string& text) {
    if (make_) MakeText();
    if (text_ == text) return;
    text_ = text;
    ++textRevision_;
    madeBy_ = nullptr;
    selStart_ = selEnd_ = 0;
    firstLine_ = 0;
    Changed();
}

void EditControl::SetTextOf(long long value, TextMaker make) {
    if (make == madeBy_ && value == value_) return;
    make_ = madeBy_ = make;
    value_ = value;
    if (Observed()) Changed();
}

void EditControl::MakeText() const {
    const std::string text = std::exchange(make_, nullptr)(value_);
    if (text_ == text) return;
    text_ = text;
    ++textRevision_;
    // As SetText does: a new text starts unselected, scrolled to its top.
    selStart_ = selEnd_ = 0;
    firstLine_ = 0;
}

void EditControl::SetReadOnly(bool readOnly) {
    if (readOnly_ == readOnly) return;
    readOnly_ = readOnly;
    Changed();
}

void EditControl::SetMargins(int left, int right) {
    if (leftMargin_ == left && rightMargin_ == right) return;
    leftMargin_ = left;
    rightMargin_ = right;
    Changed();
}

void EditControl::SetSelection(int start, int end) {
    if (make_) MakeText();
    if (selStart_ == start && selEnd_ == end) return;
    selStart_ = start;
    selEnd_ = end;
    Changed();
}

void EditControl::ScrollLines(int lines) {
    if (make_) MakeText();
    int first = std::max(0, std::min(firstLine_ + lines, LineCount() - 1));
    if (first == firstLine_) return;
    firstLine_ = first;
    Changed();
}

int EditControl::LineCount() const {
    const std::string& text = Text();
    return 1 + static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

ListChange RowsControl::ChangeSince(Revision shown) const {
    if (shown == revision_) return {};
    if (shown != kNothingShown && shown + 1 == revision_) return last_;
    return {ListChange::kRefilled, 0};
}

void RowsControl::RowsChanged(ListChange change) {
    ++revision_;
    last_ = change;
    Changed();
}

void ListBoxControl::AddString(const std::string& item) {
    items_.push_back(item);
    RowsChanged({ListChange::kInserted, Count() - 1});
}

void ListBoxControl::InsertString(int index, const std::string& item) {
    if (index < 0 || index > Count()) index = Count();
    items_.insert(items_.begin() + index, item);
    if (curSel_ >= index) ++curSel_;
    RowsChanged({ListChange::kInserted, index});
}

void ListBoxControl::DeleteString(int index) {
    if (index < 0 || index >= Count()) return;
    items_.erase(items_.begin() + index);
    if (curSel_ == index) curSel_ = -1;
    else if (curSel_ > index) --curSel_;
    RowsChanged({ListChange::kRemoved, index});
}

void ListBoxControl::ResetContent() {
    if (items_.empty() && curSel_ == -1) return;
    items_.clear();
    curSel_ = -1;
    RowsChanged({ListChange::kRefilled, 0});
}

void ListBoxControl::SetItems(std::vector<std::string> items) {
    if (items.empty()) return ResetContent();
    items_.assign(std::make_move_iterator(items.begin()), std::make_move_iterator(items.end()));
    curSel_ = -1;
    RowsChanged({ListChange::kRefilled, 0});
}

void ListBoxControl::SetCurSel(int index) {
    int selection = (index >= 0 && index < Count()) ? index : -1;
    if (selection == curSel_) return;
    curSel_ = selection;
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
    if (curSel_ >= index) ++curSel_;
    RowsChanged({ListChange::kInserted, index});
    return index;
}

void ComboBoxControl::InsertString(int index, const std::string& item) {
    if (index < 0 || index > Count()) index = Count();
    items_.insert(items_.begin() + index, item);
    if (curSel_ >= index) ++curSel_;
    RowsChanged({ListChange::kInserted, index});
}

void ComboBoxControl::DeleteString(int index) {
    if (index < 0 || index >= Count()) return;
    items_.erase(items_.begin() + index);
    if (curSel_ == index) curSel_ = -1;
    else if (curSel_ > index) --curSel_;
    RowsChanged({ListChange::kRemoved, index});
}

void ComboBoxControl::ResetContent() {
    if (items_.empty() && curSel_ == -1 && editText_.empty()) return;
    items_.clear();
    curSel_ = -1;
    editText_.clear();
    RowsChanged({ListChange::kRefilled, 0});
}

void ComboBoxControl::SetCurSel(int index) {
    int selection = (index >= 0 && index < Count()) ? index : -1;
    const std::string& text = selection >= 0 ? items_[static_cast<std::size_t>(selection)] : editText_;
    if (selection == curSel_ && text == editText_) return;
    curSel_ = selection;
    editText_ = text;
    Changed();
}

void ComboBoxControl::SetEditText(const std::string& text) {
    if (editText_ == text) return;
    editText_ = text;
    Changed();
}

void ComboBoxControl::ShowDropDown(bool show) {
    if (droppedDown_ == show) return;
    droppedDown_ = show;
    Changed();
}

void CheckBoxControl::SetCheck(int state) {
    if (state_ == state) return;
    state_ = state;
    Changed();
}

void CheckBoxControl::SetVisible(bool visible) {
    if (visible_ == visible) return;
    visible_ = visible;
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

namespace {

// The position is kept within the range; a range given upside down holds the
// position at its minimum rather than leaving it undefined.
int KeepInRange(int pos, int min, int max) { return std::max(min, std::min(pos, max)); }

}  // namespace

void TrackbarControl::SetRange(int min, int max) {
    int pos = KeepInRange(pos_, min, max);
    if (min == min_ && max == max_ && pos == pos_) return;
    min_ = min;
    max_ = max;
    pos_ = pos;
    Changed();
}

void TrackbarControl::SetPos(int pos) {
    pos = KeepInRange(pos, min_, max_);
    if (pos == pos_) return;
    pos_ = pos;
    Changed();
}

}  // namespace sked
