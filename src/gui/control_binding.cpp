#include "gui/control_binding.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalBlocker>
#include <QSlider>

namespace sked {

QString ToQt(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

std::string FromQt(const QString& text) { return text.toStdString(); }

void Bindings::Watch(Control& model, Action sync) {
    sync();
    subscriptions_.emplace_back(model, std::move(sync));
}

void Bindings::Edit(EditControl& model, QLineEdit* widget, TextAction edited) {
    Watch(model, [&model, widget] {
        const QString text = ToQt(model.Text());
        // Same text: left alone, so the operator's cursor stays where it is.
        if (widget->text() != text) widget->setText(text);
        widget->setReadOnly(model.ReadOnly());
        widget->setEnabled(model.Enabled());
    });
    if (edited)
        QObject::connect(widget, &QLineEdit::textEdited, widget,
                         [edited](const QString& text) { edited(FromQt(text)); });
}

void Bindings::Button(ButtonControl& model, QAbstractButton* widget, Action clicked) {
    auto sync = [&model, widget] {
        const QString caption = ToQt(model.Caption());
        if (widget->text() != caption) widget->setText(caption);
        if (widget->isCheckable()) widget->setChecked(model.Checked());
        widget->setEnabled(model.Enabled());
    };
    Watch(model, sync);
    QObject::connect(widget, &QAbstractButton::clicked, widget, [clicked, sync] {
        clicked();
        sync();
    });
}

void Bindings::GroupBox(ButtonControl& model, QGroupBox* widget) {
    Watch(model, [&model, widget] {
        const QString caption = ToQt(model.Caption());
        if (widget->title() != caption) widget->setTitle(caption);
    });
}

void Bindings::Check(CheckBoxControl& model, QCheckBox* widget, IndexAction clicked) {
    auto sync = [&model, widget] {
        static constexpr Qt::CheckState kStates[] = {Qt::Unchecked, Qt::Checked, Qt::PartiallyChecked};
        const int state = model.Check();
        widget->setCheckState(kStates[state >= 0 && state <= 2 ? state : 0]);
        widget->setEnabled(model.Enabled());
        widget->setVisible(model.Visible());
    };
    Watch(model, sync);
    QObject::connect(widget, &QAbstractButton::clicked, widget, [clicked, sync](bool checked) {
        clicked(checked ? 1 : 0);
        sync();
    });
}

void Bindings::Combo(ComboBoxControl& model, QComboBox* widget, IndexAction picked, TextAction edited) {
    Watch(model, [&model, widget] {
        QSignalBlocker quiet(widget);
        bool same = widget->count() == model.Count();
        for (int i = 0; same && i < model.Count(); ++i) same = widget->itemText(i) == ToQt(model.Item(i));
        if (!same) {
            widget->clear();
            for (const std::string& item : model.Items()) widget->addItem(ToQt(item));
        }
        widget->setCurrentIndex(model.CurSel());
        if (widget->isEditable()) {
            const QString text = ToQt(model.EditText());
            if (widget->currentText() != text) widget->setEditText(text);
        }
        widget->setEnabled(model.Enabled());
    });
    QObject::connect(widget, &QComboBox::activated, widget, picked);
    if (edited && widget->isEditable())
        QObject::connect(widget->lineEdit(), &QLineEdit::textEdited, widget,
                         [edited](const QString& text) { edited(FromQt(text)); });
}

void Bindings::List(ListBoxControl& model, QListWidget* widget, IndexAction selected) {
    Watch(model, [&model, widget] {
        QSignalBlocker quiet(widget);
        bool same = widget->count() == model.Count();
        for (int i = 0; same && i < model.Count(); ++i) same = widget->item(i)->text() == ToQt(model.Item(i));
        if (!same) {
            widget->clear();
            for (const std::string& item : model.Items()) widget->addItem(ToQt(item));
        }
        widget->setCurrentRow(model.CurSel());
        if (model.CurSel() < 0) widget->clearSelection();
        widget->setEnabled(model.Enabled());
    });
    QObject::connect(widget, &QListWidget::currentRowChanged, widget, selected);
}

void Bindings::Slider(TrackbarControl& model, QSlider* widget) {
    Watch(model, [&model, widget] {
        QSignalBlocker quiet(widget);
        widget->setRange(model.Min(), model.Max());
        widget->setValue(model.Pos());
        widget->setEnabled(model.Enabled());
    });
}

}  // namespace sked
