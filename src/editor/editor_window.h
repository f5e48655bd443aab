// The schedule editor's controls. The editor reads and writes these; the Qt
// view shows them; tests inspect them.
#pragma once

#include <string>

#include "app/controls.h"

namespace sked {

struct EditorWindow {
    std::string title;

    // The schedule list and the fields of the entry to insert or replace
    ButtonControl saveExitButton{"Save-n-Exit"};
    ButtonControl cancelButton{"Cancel"};
    CheckBoxControl autoTimeCheck{};  // drawn as a push button
    ButtonControl saveButton{"Save"};
    EditControl dateField;
    EditControl repeatField;  // a repeat rule in place of the date ("daily", "Mon..Fri", "every 30m")
    EditControl timeField;
    ButtonControl deleteButton{"Delete"};
    ButtonControl replaceButton{"Replace"};
    ButtonControl insertButton{"Insert"};
    ListBoxControl scheduleList;
    // What the last load left out of the list (ours: a save would remove it
    // from the file, so the operator is told).
    EditControl statusField;

    // The file chooser
    EditControl filterField;
    ComboBoxControl fileCombo{true};
    CheckBoxControl sortByDateCheck;

    // The text pane
    CheckBoxControl editCheck;
    EditControl fileNameField;
    ButtonControl editSaveButton{"Save"};
    EditControl durField;
    ButtonControl clearButton{"Clear"};
    EditControl textPane;
    TrackbarControl marginSlider;
    ButtonControl marginButton{"R"};
};

// The 80-column ruler above the text pane.
inline constexpr const char* kRulerTens = "1         2         3         4         5         6         7         8";
inline constexpr const char* kRulerUnits =
    "12345678901234567890123456789012345678901234567890123456789012345678901234567890";

}  // namespace sked
