// Plain models of the window's controls. Handlers read and write them; the
// Qt view and the console view observe them; tests inspect them.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace sked {

class ControlSubscription;

class Control {
public:
    using Observer = std::function<void()>;
    // Names one observer of one control; 0 names none.
    using ObserverId = int;

    Control();
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    bool Enabled() const { return enabled_; }
    // Someone observes the control (a view, a front end).
    bool Observed() const;
    void SetEnabled(bool enabled);

    // Views subscribe here. Every observer is called once after each change
    // of what the control shows; setting the value it already has calls
    // nobody. An observer added during a notification hears the next change.
    ObserverId Observe(Observer observer);
    // Removes an observer; unknown ids are ignored. Safe from inside a
    // notification (also for the observer being called): a removed observer
    // is never called again, not even later in the same round.
    void Unobserve(ObserverId id);

protected:
    void Changed();

private:
    friend class ControlSubscription;
    struct Observers;

    bool enabled_ = true;
    // Shared with the notification in progress and watched by subscriptions,
    // so that neither touches a control that an observer has destroyed.
    std::shared_ptr<Observers> observers_;
};

// An observer that unsubscribes when it goes away. Windows and front ends
// that close before the station does hold these, so a closed window is never
// called. Harmless when the control has gone first.
class ControlSubscription {
public:
    ControlSubscription() = default;
    ControlSubscription(Control& control, Control::Observer observer);
    ~ControlSubscription() { Reset(); }
    ControlSubscription(ControlSubscription&& other) noexcept;
    ControlSubscription& operator=(ControlSubscription&& other) noexcept;
    ControlSubscription(const ControlSubscription&) = delete;
    ControlSubscription& operator=(const ControlSubscription&) = delete;

    // Unsubscribes now; nothing is called afterwards.
    void Reset();
    // Subscribed to a control that still exists.
    bool Active() const;

private:
    std::weak_ptr<Control::Observers> observers_;
    Control::ObserverId id_ = 0;
};

class EditControl : public Control {
public:

    const std::string& Text() const {
        if (make_) MakeText();
        return text_;
    }
    // At most `maxChars` characters, as a fixed-size read of the field gives.
    std::string Text(std::size_t maxChars) const { return Text().substr(0, maxChars); }
    void SetText(const std::string& text);
    // For a text set every second or every character and seldom read (the
    // clock, the countdown, the characters left): `make(value)` is the text,
    // made only when read. Observers hear of each new value; a window that
    // shows it once a second reads it then, however often it changed.
    using TextMaker = std::string (*)(long long value);
    void SetTextOf(long long value, TextMaker make);
    // Counts the changes of the text: a view that copies it per frame asks
    // whether it changed without comparing it.
    unsigned long TextRevision() const { return Text(), textRevision_; }

    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool readOnly);

    int LeftMargin() const { return leftMargin_; }
    int RightMargin() const { return rightMargin_; }
    void SetMargins(int left, int right);

    // Selection [start, end) of the character being sent, scrolled into view.
    int SelectionStart() const { return Text(), selStart_; }
    int SelectionEnd() const { return Text(), selEnd_; }
    void SetSelection(int start, int end);

    // Multi-line display: first visible line (scrolling stays within the text).
    int FirstVisibleLine() const { return Text(), firstLine_; }
    void ScrollLines(int lines);
    int LineCount() const;

private:
    // Turns a text set by SetTextOf and not yet made into the text.
    void MakeText() const;

    mutable std::string text_;
    mutable TextMaker make_ = nullptr;  // set: text_ is out of date, make_(value_) is the text
    mutable long long value_ = 0;
    TextMaker madeBy_ = nullptr;  // what made text_, or will: set again with the same value, nothing changes
    bool readOnly_ = false;
    int leftMargin_ = 0, rightMargin_ = 0;
    // Mutable because making a waiting text (in a read) resets them as SetText does.
    mutable int selStart_ = 0, selEnd_ = 0;
    mutable int firstLine_ = 0;
    mutable unsigned long textRevision_ = 0;
};

// What a view showing the rows of a list must do to show them as they are now.
struct ListChange {
    enum Kind {
        kNone,      // nothing: the rows are as shown (the selection or the field may have changed)
        kInserted,  // one row inserted at `row`
        kRemoved,   // the row at `row` removed
        kRefilled,  // anything else: every row anew
    } kind = kNone;
    int row = 0;
};

// The rows of a list or combo box, counted in revisions so that a view copies
// only what changed: a queue of thousands of entries loses its head, or gains
// one, without the view going through every row.
class RowsControl : public Control {
public:
    using Revision = std::uint64_t;
    // What a view that has shown nothing yet remembers.
    static constexpr Revision kNothingShown = ~Revision{0};

    Revision CurrentRevision() const { return revision_; }
    // For a view that shows revision `shown`: one row when that is the
    // revision before this one, every row when it is older (changes made
    // during a notification, or a view that has shown nothing).
    ListChange ChangeSince(Revision shown) const;

protected:
    // Counts a change of the rows and tells the observers.
    void RowsChanged(ListChange change);

private:
    Revision revision_ = 0;
    ListChange last_;  // from the revision before to this one
};

class ListBoxControl : public RowsControl {
public:

    int Count() const { return static_cast<int>(items_.size()); }
    const std::string& Item(int index) const { return items_.at(static_cast<std::size_t>(index)); }
    // A deque: the queue's list loses its head at every entry sent.
    const std::deque<std::string>& Items() const { return items_; }
    void AddString(const std::string& item);
    void InsertString(int index, const std::string& item);
    void DeleteString(int index);
    void ResetContent();
    // Every item at once (a load): one notification, nothing selected.
    void SetItems(std::vector<std::string> items);

    int CurSel() const { return curSel_; }  // -1: nothing selected
    void SetCurSel(int index);

private:
    std::deque<std::string> items_;
    int curSel_ = -1;
};

class ComboBoxControl : public RowsControl {
public:
    explicit ComboBoxControl(bool sorted) : sorted_(sorted) {}

    int Count() const { return static_cast<int>(items_.size()); }
    const std::string& Item(int index) const { return items_.at(static_cast<std::size_t>(index)); }
    const std::vector<std::string>& Items() const { return items_; }
    // Sorted lists insert in text order (case-blind), others append. Adding
    // or inserting keeps the selection on the item it was on.
    int AddString(const std::string& item);
    void InsertString(int index, const std::string& item);
    void DeleteString(int index);
    void ResetContent();

    int CurSel() const { return curSel_; }
    // Selecting an item also puts it into the edit field; an index outside
    // the list selects nothing and leaves the edit field as it is.
    void SetCurSel(int index);
    const std::string& EditText() const { return editText_; }
    std::string EditText(std::size_t maxChars) const { return editText_.substr(0, maxChars); }
    void SetEditText(const std::string& text);

    bool DroppedDown() const { return droppedDown_; }
    void ShowDropDown(bool show);

private:
    bool sorted_;
    std::vector<std::string> items_;
    int curSel_ = -1;
    std::string editText_;
    bool droppedDown_ = false;
};

class CheckBoxControl : public Control {
public:
    int Check() const { return state_; }  // 0, 1, or 2 for a three-state box
    void SetCheck(int state);
    bool Visible() const { return visible_; }
    void SetVisible(bool visible);

private:
    int state_ = 0;
    bool visible_ = true;
};

// Push buttons, radio buttons and group boxes: a caption and, for radios, a mark.
class ButtonControl : public Control {
public:
    ButtonControl(std::string caption) : caption_(std::move(caption)) {}
    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& caption);
    bool Checked() const { return checked_; }
    void SetChecked(bool checked);

private:
    std::string caption_;
    bool checked_ = false;
};

class TrackbarControl : public Control {
public:
    int Min() const { return min_; }
    int Max() const { return max_; }
    int Pos() const { return pos_; }
    void SetRange(int min, int max);
    void SetPos(int pos);

private:
    int min_ = 0, max_ = 100, pos_ = 0;
};

}  // namespace sked
