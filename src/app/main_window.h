// The controls of the main window, by the ids of its dialog template.
#pragma once

#include <string>

#include "app/controls.h"

namespace sked {

struct MainWindow {
    std::string title;

    // Display fields
    ListBoxControl scheduleList{1002};
    EditControl queueLine{1001};
    EditControl countdownField{1004};
    EditControl charCountField{1003};
    EditControl statusLine{1030};
    EditControl autoSendField{1038};
    EditControl transmitField{1041};
    EditControl flowField{1042};
    EditControl clockField{1046};
    EditControl displayBox{1047};
    EditControl comPortField{1089};
    EditControl cwTimerField{1091};
    ComboBoxControl fileCombo{1060, true};
    EditControl fileNameField{1031};

    // Operator buttons
    ButtonControl sendNowButton{1000, "Send >>"};
    ButtonControl editorButton{1005, "Editor"};
    ButtonControl deleteButton{1006, "Delete"};
    ButtonControl reloadButton{1007, "Reload"};
    ButtonControl ryButton{1010, "RY"};
    ButtonControl foxButton{1011, "Fox"};
    ButtonControl composeButton{1026, "Compose"};
    ButtonControl sendComposeButton{1027, "Send"};
    ButtonControl saveButton{1032, "Save"};
    ButtonControl viewLogButton{1033, "ViewLog"};
    ButtonControl disableButton{1036, "Disable"};
    ButtonControl enableButton{1037, "Enable"};
    ButtonControl txOffButton{1039, "OFF"};
    ButtonControl txOnButton{1040, "ON"};
    ButtonControl pauseButton{1043, "Pause"};
    ButtonControl resumeButton{1044, "Resume"};
    ButtonControl cancelButton{1045, "CANCEL"};
    ButtonControl fileAddButton{1061, "FileAdd"};
    ButtonControl refreshButton{1062, "R"};
    ButtonControl sendCwidButton{1095, "Send CWID"};

    // Options
    CheckBoxControl headerCheck{1008};
    CheckBoxControl repeatCheck{1028};
    CheckBoxControl editCheck{1029};
    CheckBoxControl diddleCheck{1081};
    TrackbarControl marginSlider{1085};
    CheckBoxControl cwTimerCheck{1090};
    CheckBoxControl powerCheck{1092};

    // Mode and speed
    ButtonControl modeGroup{1096, "Mode"};
    ButtonControl milButton{1097, "Mil"};
    ButtonControl ita2Button{1098, "ITA#2"};
    ButtonControl telexButton{1099, "TELEX"};
    ButtonControl asciiButton{1100, "ASCII"};
    ButtonControl pskButton{1101, "PSK31"};
    ButtonControl fecButton{1102, "FEC"};
    ButtonControl cwButton{1103, "CW"};
    ButtonControl baudGroup{1048, "Baud"};
    ButtonControl baudButtons[7] = {{1018, "45.45"}, {1019, "50.0"},  {1020, "56.9"}, {1021, "74.2"},
                                    {1022, "100.0"}, {1023, "110.0"}, {1024, "300.0"}};

    // Tones and sound card
    ButtonControl centreShiftGroup{1013, "Center Freq / Shift"};
    ButtonControl markSpaceGroup{1012, " (Mark) AFSK (Space)"};
    ButtonControl centreShiftRadio{1108, ""};
    ButtonControl markSpaceRadio{1109, ""};
    EditControl centreField{1106};
    EditControl shiftField{1107};
    EditControl markField{1105};
    EditControl spaceField{1104};
    ComboBoxControl soundCardCombo{1116, false};
    CheckBoxControl noSoundCheck{1115};

    // Network mirror
    ComboBoxControl netPortCombo{1113, false};
    EditControl addressField{1114};
    EditControl authField{1118};
};

}  // namespace sked
