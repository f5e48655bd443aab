// The lower half of the schedule editor: the Filename combo (the data files
// that match the Filter, newest first or by name, then the command help
// lines) and the text pane that shows one file and, with Edit ticked, writes
// it with a hard line break wherever the pane wraps.
#pragma once

#include <functional>
#include <string>

#include "editor/editor_window.h"
#include "platform/message_box.h"

namespace sked {

class FileChooser {
public:
    static constexpr int kSliderRange = 500;
    static constexpr int kEditSlider = 425;  // right margin 75 pixels
    // Most of a file shown in the pane, and of the pane's text saved.
    static constexpr std::size_t kShownBytes = 31998;
    static constexpr std::size_t kSavedBytes = 31999;

    // `idText`: the identification text for the $CWID help line (empty in
    // editor-only operation, where that line is a blank).
    FileChooser(EditorWindow& window, MessageBoxService& boxes, std::function<std::string()> idText)
        : w_(window), boxes_(boxes), idText_(std::move(idText)) {}

    void FillFileList();
    // Shows data/<name>; false when it cannot be shown.
    bool PrintFile(const std::string& name);

    void CmEdit();
    void CmEditSave();
    void Clear();
    void ApplyMargin();                   // R
    void SliderReleased(int position);  // the slider let go at `position`
    void ComboSelected(int index);
    void ComboDropDown() { FillFileList(); }
    // The text pane as set up at each fresh showing.
    void Reset();

    // Characters per line of the pane at its present margins; a save breaks
    // its lines there (app/wrapped_text.h).
    int WrapColumns() const;

private:
    EditorWindow& w_;
    MessageBoxService& boxes_;
    std::function<std::string()> idText_;
};

}  // namespace sked
