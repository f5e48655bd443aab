// Plain models of the dialog controls. Handlers read and write them; the Qt
// view and the console view observe them; tests inspect them. Each carries
// the id it has in the dialog.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace sked {

class Control {
public:
    using Observer = std::function<void()>;

    explicit Control(int id) : id_(id) {}
    virtual ~Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    int id() const { return id_; }
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);

    // Views subscribe here; called after every change of the control.
    void Observe(Observer observer) { observers_.push_back(std::move(observer)); }

protected:
    void Changed();

private:
    int id_;
    bool enabled_ = true;
    std::vector<Observer> observers_;
};

class EditControl : public Control {
public:
    using Control::Control;

    const std::string& Text() const { return text_; }
    // At most `maxChars` characters, as a fixed-size read of the field gives.
    std::string Text(std::size_t maxChars) const { return text_.substr(0, maxChars); }
    void SetText(const std::string& text);

    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool readOnly);

    int LeftMargin() const { return leftMargin_; }
    int RightMargin() const { return rightMargin_; }
    void SetMargins(int left, int right);

    // Selection [start, end) of the character being sent, scrolled into view.
    int SelectionStart() const { return selStart_; }
    int SelectionEnd() const { return selEnd_; }
    void SetSelection(int start, int end);

    // Multi-line display: first visible line, and whether the text handed
    // out carries the soft line breaks of the word wrap.
    int FirstVisibleLine() const { return firstLine_; }
    void ScrollLines(int lines);
    int LineCount() const;
    bool SoftBreaks() const { return softBreaks_; }
    void SetSoftBreaks(bool on) { softBreaks_ = on; }

private:
    std::string text_;
    bool readOnly_ = false;
    int leftMargin_ = 0, rightMargin_ = 0;
    int selStart_ = 0, selEnd_ = 0;
    int firstLine_ = 0;
    bool softBreaks_ = false;
};

class ListBoxControl : public Control {
public:
    using Control::Control;

    int Count() const { return static_cast<int>(items_.size()); }
    const std::string& Item(int index) const { return items_.at(static_cast<std::size_t>(index)); }
    const std::vector<std::string>& Items() const { return items_; }
    void AddString(const std::string& item);
    void InsertString(int index, const std::string& item);
    void DeleteString(int index);
    void ResetContent();

    int CurSel() const { return curSel_; }  // -1: nothing selected
    void SetCurSel(int index);

private:
    std::vector<std::string> items_;
    int curSel_ = -1;
};

class ComboBoxControl : public Control {
public:
    ComboBoxControl(int id, bool sorted) : Control(id), sorted_(sorted) {}

    int Count() const { return static_cast<int>(items_.size()); }
    const std::string& Item(int index) const { return items_.at(static_cast<std::size_t>(index)); }
    const std::vector<std::string>& Items() const { return items_; }
    // Sorted lists insert in text order (case-blind), others append.
    int AddString(const std::string& item);
    void InsertString(int index, const std::string& item);
    void DeleteString(int index);
    void ResetContent();

    int CurSel() const { return curSel_; }
    // Selecting an item also puts it into the edit field.
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
    using Control::Control;
    int Check() const { return state_; }  // 0, 1, or 2 for a three-state box
    void SetCheck(int state);
    bool Visible() const { return visible_; }
    void SetVisible(bool visible) { visible_ = visible; }

private:
    int state_ = 0;
    bool visible_ = true;
};

// Push buttons, radio buttons and group boxes: a caption and, for radios, a mark.
class ButtonControl : public Control {
public:
    ButtonControl(int id, std::string caption) : Control(id), caption_(std::move(caption)) {}
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
    using Control::Control;
    int Min() const { return min_; }
    int Max() const { return max_; }
    int Pos() const { return pos_; }
    void SetRange(int min, int max);
    void SetPos(int pos);

private:
    int min_ = 0, max_ = 100, pos_ = 0;
};

}  // namespace sked
