// The schedule editor's controls, each with its id in the dialog. The editor
// reads and writes these; the Qt view shows them; tests inspect them.
#pragma once

#include <string>

#include "app/controls.h"

namespace sked {

struct EditorWindow {
    std::string title;

    // The schedule list and the fields of the entry to insert or replace
    ButtonControl saveExitButton{1, "Save-n-Exit"};
    ButtonControl cancelButton{2, "Cancel"};
    CheckBoxControl autoTimeCheck{1073};  // drawn as a push button
    ButtonControl saveButton{1075, "Save"};
    EditControl dateField{1055};
    EditControl timeField{1056};
    ButtonControl deleteButton{1006, "Delete"};
    ButtonControl replaceButton{1068, "Replace"};
    ButtonControl insertButton{1065, "Insert"};
    ListBoxControl scheduleList{1002};
    // What the last load left out of the list (ours: a save would remove it
    // from the file, so the operator is told).
    EditControl statusField{1099};

    // The file chooser
    EditControl filterField{1078};
    ComboBoxControl fileCombo{1060, true};
    CheckBoxControl sortByDateCheck{1088};

    // The text pane
    CheckBoxControl editCheck{1094};
    EditControl fileNameField{1031};
    ButtonControl editSaveButton{1032, "Save"};
    EditControl durField{1080};
    ButtonControl clearButton{1083, "Clear"};
    EditControl textPane{1074};
    TrackbarControl marginSlider{1093};
    ButtonControl marginButton{1062, "R"};
};

// The 80-column ruler above the text pane.
inline constexpr const char* kRulerTens = "1         2         3         4         5         6         7         8";
inline constexpr const char* kRulerUnits =
    "12345678901234567890123456789012345678901234567890123456789012345678901234567890";

}  // namespace sked
