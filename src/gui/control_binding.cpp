#include "gui/control_binding.h"

#include <type_traits>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalBlocker>
#include <QSlider>

#include "gui/paint_frames.h"
#include "gui/readout_field.h"

namespace sked {

QString ToQt(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

std::string FromQt(const QString& text) { return text.toStdString(); }

void Bindings::Watch(Control& model, Action sync, PaintFrames* perFrame) {
    sync();
    if (!perFrame) {
        subscriptions_.emplace_back(model, std::move(sync));
        return;
    }
    const int copy = perFrame->Add(std::move(sync));
    subscriptions_.emplace_back(model, [perFrame, copy] { perFrame->Request(copy); });
}

void Bindings::Edit(EditControl& model, QLineEdit* widget, TextAction edited, PaintFrames* perFrame) {
    Watch(model, [&model, widget] {
        const QString text = ToQt(model.Text());
        // Same text: left alone, so the operator's cursor stays where it is.
        if (widget->text() != text) widget->setText(text);
        widget->setReadOnly(model.ReadOnly());
        widget->setEnabled(model.Enabled());
    }, perFrame);
    if (edited)
        QObject::connect(widget, &QLineEdit::textEdited, widget,
                         [edited](const QString& text) { edited(FromQt(text)); });
}

void Bindings::Readout(EditControl& model, ReadoutField* widget, PaintFrames* perFrame) {
    Watch(model, [&model, widget] {
        widget->setText(ToQt(model.Text()));
        widget->setEnabled(model.Enabled());
    }, perFrame);
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
        // Setting the state it shows repaints the box all the same.
        if (const Qt::CheckState shown = kStates[state >= 0 && state <= 2 ? state : 0]; widget->checkState() != shown)
            widget->setCheckState(shown);
        widget->setEnabled(model.Enabled());
        widget->setVisible(model.Visible());
    };
    Watch(model, sync);
    QObject::connect(widget, &QAbstractButton::clicked, widget, [clicked, sync](bool checked) {
        clicked(checked ? 1 : 0);
        sync();
    });
}

namespace {

// Some milliseconds of measuring rows at a time.
constexpr int kRowsPerLayoutBatch = 500;

// Brings `widget`'s rows (a QListWidget or a QComboBox) to those of `model`,
// of which it shows revision `shown`: one row inserted or removed, or every
// row in one batch, so that a long list is copied once and then kept by rows.
template <class Model, class Widget>
void CopyRows(const Model& model, Widget* widget, RowsControl::Revision& shown) {
    const ListChange change = model.ChangeSince(shown);
    shown = model.CurrentRevision();
    if (change.kind == ListChange::kInserted) {
        widget->insertItem(change.row, ToQt(model.Item(change.row)));
    } else if (change.kind == ListChange::kRemoved) {
        if constexpr (std::is_same_v<Widget, QListWidget>) delete widget->takeItem(change.row);
        else widget->removeItem(change.row);
    }
    // A widget that somehow counts otherwise is refilled too.
    if (change.kind != ListChange::kRefilled && widget->count() == model.Count()) return;
    QStringList rows;
    rows.reserve(model.Count());
    for (const std::string& item : model.Items()) rows.append(ToQt(item));
    widget->clear();
    widget->addItems(rows);
}

}  // namespace

void Bindings::Combo(ComboBoxControl& model, QComboBox* widget, IndexAction picked, TextAction edited) {
    Watch(model, [&model, widget, shown = RowsControl::kNothingShown]() mutable {
        QSignalBlocker quiet(widget);
        CopyRows(model, widget, shown);
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
    // A year of entries is measured and placed a batch at a time between
    // turns of the loop, which goes on keeping the station's time meanwhile.
    widget->setLayoutMode(QListView::Batched);
    widget->setBatchSize(kRowsPerLayoutBatch);
    Watch(model, [&model, widget, shown = RowsControl::kNothingShown]() mutable {
        QSignalBlocker quiet(widget);
        CopyRows(model, widget, shown);
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
