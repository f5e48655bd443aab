// Qt widgets bound to the station's control models: each model's state is
// copied into its widget whenever the model changes (and once at binding);
// what the operator does to a widget goes to a callback, which forwards it
// to the station's command surface. Copying never calls the callbacks back.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <QString>

#include "app/controls.h"

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QSlider;

namespace sked {

class PaintFrames;
class ReadoutField;

QString ToQt(const std::string& text);
std::string FromQt(const QString& text);

// The subscriptions of one window; they end with it.
class Bindings {
public:
    using TextAction = std::function<void(const std::string&)>;
    using IndexAction = std::function<void(int)>;
    using Action = std::function<void()>;

    // A field: text, read-only, enabled. `edited` (may be empty) gets each
    // change the operator types. With `perFrame`, copied at its next frame.
    void Edit(EditControl& model, QLineEdit* widget, TextAction edited = {}, PaintFrames* perFrame = nullptr);
    // A field the operator only reads: text and enabled.
    void Readout(EditControl& model, ReadoutField* widget, PaintFrames* perFrame = nullptr);
    // A push button, radio or group box: caption, mark, enabled. `clicked`
    // gets the click; afterwards the widget shows the model again, so a
    // radio the station did not mark stays unmarked.
    void Button(ButtonControl& model, QAbstractButton* widget, Action clicked);
    void GroupBox(ButtonControl& model, QGroupBox* widget);
    // A check box of two or three states, shown or hidden; `clicked` gets the
    // state the operator asked for.
    void Check(CheckBoxControl& model, QCheckBox* widget, IndexAction clicked);
    // A list of items with a selection; `picked` gets the operator's choice.
    void Combo(ComboBoxControl& model, QComboBox* widget, IndexAction picked, TextAction edited = {});
    void List(ListBoxControl& model, QListWidget* widget, IndexAction selected);
    void Slider(TrackbarControl& model, QSlider* widget);

    // Copies `model` into the view now and after every change (with
    // `perFrame`, at the frame after a change).
    void Watch(Control& model, Action sync, PaintFrames* perFrame = nullptr);

private:
    std::vector<ControlSubscription> subscriptions_;
};

}  // namespace sked
