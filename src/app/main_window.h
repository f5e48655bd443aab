// The controls of the main window.
#pragma once

#include <string>

#include "app/controls.h"

namespace sked {

struct MainWindow {
    std::string title;

    // Display fields
    ListBoxControl scheduleList;
    EditControl queueLine;
    EditControl countdownField;
    EditControl charCountField;
    EditControl statusLine;
    EditControl autoSendField;
    EditControl transmitField;
    EditControl flowField;
    EditControl clockField;
    EditControl displayBox;
    EditControl comPortField;
    EditControl cwTimerField;
    ComboBoxControl fileCombo{true};
    EditControl fileNameField;

    // Operator buttons
    ButtonControl sendNowButton{"Send >>"};
    ButtonControl editorButton{"Editor"};
    ButtonControl deleteButton{"Delete"};
    ButtonControl reloadButton{"Reload"};
    ButtonControl ryButton{"RY"};
    ButtonControl foxButton{"Fox"};
    ButtonControl composeButton{"Compose"};
    ButtonControl sendComposeButton{"Send"};
    ButtonControl saveButton{"Save"};
    ButtonControl viewLogButton{"ViewLog"};
    ButtonControl disableButton{"Disable"};
    ButtonControl enableButton{"Enable"};
    ButtonControl txOffButton{"OFF"};
    ButtonControl txOnButton{"ON"};
    ButtonControl pauseButton{"Pause"};
    ButtonControl resumeButton{"Resume"};
    ButtonControl cancelButton{"CANCEL"};
    ButtonControl fileAddButton{"FileAdd"};
    ButtonControl refreshButton{"R"};
    ButtonControl sendCwidButton{"Send CWID"};

    // Options
    CheckBoxControl headerCheck;
    CheckBoxControl repeatCheck;
    CheckBoxControl editCheck;
    CheckBoxControl diddleCheck;
    TrackbarControl marginSlider;
    CheckBoxControl cwTimerCheck;
    CheckBoxControl powerCheck;

    // Mode and speed
    ButtonControl modeGroup{"Mode"};
    ButtonControl milButton{"Mil"};
    ButtonControl ita2Button{"ITA#2"};
    ButtonControl telexButton{"TELEX"};
    ButtonControl asciiButton{"ASCII"};
    ButtonControl pskButton{"PSK31"};
    ButtonControl fecButton{"FEC"};
    ButtonControl cwButton{"CW"};
    ButtonControl baudGroup{"Baud"};
    ButtonControl baudButtons[7] = {{"45.45"}, {"50.0"},  {"56.9"}, {"74.2"},
                                    {"100.0"}, {"110.0"}, {"300.0"}};

    // Tones and sound card
    ButtonControl centreShiftGroup{"Center Freq / Shift"};
    ButtonControl markSpaceGroup{" (Mark) AFSK (Space)"};
    ButtonControl centreShiftRadio{""};
    ButtonControl markSpaceRadio{""};
    EditControl centreField;
    EditControl shiftField;
    EditControl markField;
    EditControl spaceField;
    ComboBoxControl soundCardCombo{false};
    CheckBoxControl noSoundCheck;

    // Network mirror
    ComboBoxControl netPortCombo{false};
    EditControl addressField;
    EditControl authField;
};

}  // namespace sked
