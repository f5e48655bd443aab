#include "gui/schedule_editor_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QTextEdit>
#include <QVBoxLayout>

#include "platform/text_format.h"

namespace sked {

namespace {

// The Filename combo tells the editor when its list is about to open (the
// list is refilled then) and when it closes.
class EditorCombo : public QComboBox {
public:
    std::function<void()> opening;
    std::function<void()> closed;
    void showPopup() override {
        if (opening) opening();
        QComboBox::showPopup();
    }
    void hidePopup() override {
        QComboBox::hidePopup();
        if (closed) closed();
    }
};

// The list's heading, over its columns: date, time, name (from column 22),
// size (right-aligned to column 69) and duration (to column 79).
QString ListHeading() {
    return ToQt(Format("%-12s%-10s%-40s  %5s %9s", "Date", "Time", "Filename", "Size", "Dur"));
}

// The text as the pane shows it: line ends without their carriage returns.
QString PaneText(const std::string& text) {
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] != '\r' || (i + 1 < text.size() && text[i + 1] != '\n' && text[i + 1] != '\r')) shown += text[i];
    return ToQt(shown);
}

QPushButton* Button() { return new QPushButton; }

}  // namespace

ScheduleEditorDialog::ScheduleEditorDialog(StationSettings& settings, const Clock& clock, MessageBoxService& boxes,
                                           QWidget* parent)
    : QDialog(parent), editor_(settings, clock, boxes) {
    setObjectName("scheduleEditor");
    // Courier-like: the list's columns line up by character count.
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    EditorWindow& m = editor_.window();
    m.durField.SetReadOnly(true);
    m.statusField.SetReadOnly(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(BuildListHalf(), 3);
    layout->addWidget(BuildTextHalf(), 2);

    editor_.ShowTitle();
    setWindowTitle(ToQt(m.title));
    qApp->installEventFilter(this);
}

ScheduleEditorDialog::~ScheduleEditorDialog() { qApp->removeEventFilter(this); }

QWidget* ScheduleEditorDialog::BuildListHalf() {
    EditorWindow& m = editor_.window();
    auto* half = new QWidget;
    auto* layout = new QVBoxLayout(half);
    layout->setContentsMargins(0, 0, 0, 0);

    auto* heading = new QLabel(ListHeading());
    heading->setIndent(4);
    layout->addWidget(heading);
    w_.list = new QListWidget;
    w_.list->setMinimumWidth(QFontMetrics(font()).horizontalAdvance(QString(84, 'x')));
    bindings_.List(m.scheduleList, w_.list, [&m](int row) { m.scheduleList.SetCurSel(row); });
    connect(w_.list, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { editor_.DoubleClick(w_.list->row(item)); });
    layout->addWidget(w_.list, 1);

    w_.status = new QLabel;
    w_.status->setWordWrap(true);
    bindings_.Watch(m.statusField, [this, &m] {
        w_.status->setText(ToQt(m.statusField.Text()));
        w_.status->setVisible(!m.statusField.Text().empty());
    });
    layout->addWidget(w_.status);

    auto* fields = new QGridLayout;
    fields->addWidget(new QLabel("Date"), 0, 0);
    fields->addWidget(new QLabel("Repeat"), 0, 1);
    fields->addWidget(new QLabel("Time"), 0, 2);
    fields->addWidget(new QLabel("Filename"), 0, 3);
    w_.date = new QLineEdit;
    w_.date->setPlaceholderText("MM/DD/YYYY");
    bindings_.Edit(m.dateField, w_.date, [&m](const std::string& text) { m.dateField.SetText(text); });
    w_.repeat = new QLineEdit;
    w_.repeat->setPlaceholderText("daily, Mon..Fri, every 30m");
    bindings_.Edit(m.repeatField, w_.repeat, [&m](const std::string& text) { m.repeatField.SetText(text); });
    w_.time = new QLineEdit;
    w_.time->setPlaceholderText("HH:MM:SS");
    bindings_.Edit(m.timeField, w_.time, [&m](const std::string& text) { m.timeField.SetText(text); });
    auto* combo = new EditorCombo;
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setMaxVisibleItems(20);
    combo->opening = [this, &m] {
        editor_.chooser().ComboDropDown();
        m.fileCombo.ShowDropDown(true);
    };
    combo->closed = [&m] { m.fileCombo.ShowDropDown(false); };
    w_.fileCombo = combo;
    bindings_.Combo(
        m.fileCombo, combo, [this](int index) { editor_.chooser().ComboSelected(index); },
        [&m](const std::string& text) { m.fileCombo.SetEditText(text); });
    fields->addWidget(w_.date, 1, 0);
    fields->addWidget(w_.repeat, 1, 1);
    fields->addWidget(w_.time, 1, 2);
    fields->addWidget(combo, 1, 3);
    fields->setColumnStretch(3, 1);
    layout->addLayout(fields);

    auto* buttons = new QHBoxLayout;
    w_.insert = Button();
    bindings_.Button(m.insertButton, w_.insert, [this] { editor_.Insert(); });
    w_.replace = Button();
    bindings_.Button(m.replaceButton, w_.replace, [this] { editor_.Replace(); });
    w_.remove = Button();
    bindings_.Button(m.deleteButton, w_.remove, [this] { editor_.Delete(); });
    w_.autoTime = new QPushButton("Auto Time");
    w_.autoTime->setCheckable(true);
    bindings_.Watch(m.autoTimeCheck, [this, &m] {
        QSignalBlocker quiet(w_.autoTime);
        w_.autoTime->setChecked(m.autoTimeCheck.Check() == 1);
    });
    connect(w_.autoTime, &QPushButton::clicked, this, [this, &m] {
        editor_.AutoTimeClicked();
        QSignalBlocker quiet(w_.autoTime);
        w_.autoTime->setChecked(m.autoTimeCheck.Check() == 1);
    });
    w_.save = Button();
    bindings_.Button(m.saveButton, w_.save, [this] { editor_.Save(); });
    w_.saveExit = Button();
    w_.saveExit->setDefault(true);
    bindings_.Button(m.saveExitButton, w_.saveExit, [this] { accept(); });
    w_.cancel = Button();
    bindings_.Button(m.cancelButton, w_.cancel, [this] { reject(); });
    for (QPushButton* b : {w_.insert, w_.replace, w_.remove, w_.autoTime}) buttons->addWidget(b);
    buttons->addStretch(1);
    for (QPushButton* b : {w_.save, w_.saveExit, w_.cancel}) buttons->addWidget(b);
    layout->addLayout(buttons);

    auto* files = new QHBoxLayout;
    files->addWidget(new QLabel("Filter"));
    w_.filter = new QLineEdit;
    bindings_.Edit(m.filterField, w_.filter, [&m](const std::string& text) { m.filterField.SetText(text); });
    connect(w_.filter, &QLineEdit::editingFinished, this, [this] { editor_.FillFileList(); });
    files->addWidget(w_.filter, 1);
    w_.sortByDate = new QCheckBox("Sort-By-Date");
    bindings_.Check(m.sortByDateCheck, w_.sortByDate, [this, &m](int state) {
        m.sortByDateCheck.SetCheck(state);
        editor_.FillFileList();
    });
    files->addWidget(w_.sortByDate);
    files->addStretch(2);
    layout->addLayout(files);
    return half;
}

QWidget* ScheduleEditorDialog::BuildTextHalf() {
    EditorWindow& m = editor_.window();
    FileChooser& chooser = editor_.chooser();
    auto* half = new QWidget;
    auto* layout = new QVBoxLayout(half);
    layout->setContentsMargins(0, 0, 0, 0);

    auto* row = new QHBoxLayout;
    w_.edit = new QCheckBox("Edit");
    bindings_.Check(m.editCheck, w_.edit, [&m, &chooser](int state) {
        m.editCheck.SetCheck(state);
        chooser.CmEdit();
    });
    w_.fileName = new QLineEdit;
    bindings_.Edit(m.fileNameField, w_.fileName, [&m](const std::string& text) { m.fileNameField.SetText(text); });
    w_.editSave = Button();
    bindings_.Button(m.editSaveButton, w_.editSave, [&chooser] { chooser.CmEditSave(); });
    w_.dur = new QLineEdit;
    w_.dur->setAlignment(Qt::AlignRight);
    w_.dur->setMaximumWidth(QFontMetrics(font()).horizontalAdvance(QString(10, 'x')));
    bindings_.Edit(m.durField, w_.dur);
    w_.clear = Button();
    bindings_.Button(m.clearButton, w_.clear, [&chooser] { chooser.Clear(); });
    row->addWidget(w_.edit);
    row->addWidget(w_.fileName, 1);
    row->addWidget(w_.editSave);
    row->addWidget(new QLabel("Dur"));
    row->addWidget(w_.dur);
    row->addWidget(w_.clear);
    layout->addLayout(row);

    auto* sliderRow = new QHBoxLayout;
    w_.slider = new QSlider(Qt::Horizontal);
    bindings_.Slider(m.marginSlider, w_.slider);
    connect(w_.slider, &QSlider::sliderReleased, this,
            [this, &chooser] { chooser.SliderReleased(w_.slider->value()); });
    w_.margin = Button();
    bindings_.Button(m.marginButton, w_.margin, [this, &m, &chooser] {
        m.marginSlider.SetPos(w_.slider->value());
        chooser.ApplyMargin();
    });
    sliderRow->addWidget(w_.slider, 1);
    sliderRow->addWidget(w_.margin);
    layout->addLayout(sliderRow);

    // The 80-column ruler, lined up with the text.
    w_.text = new QTextEdit;
    const int textIndent = w_.text->frameWidth() + static_cast<int>(w_.text->document()->documentMargin());
    for (const char* ruler : {kRulerTens, kRulerUnits}) {
        auto* label = new QLabel(ruler);
        label->setIndent(textIndent);
        layout->addWidget(label);
    }
    w_.text->setAcceptRichText(false);
    w_.text->setLineWrapMode(QTextEdit::FixedColumnWidth);
    w_.text->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout->addWidget(w_.text, 1);
    BindTextPane();
    return half;
}

void ScheduleEditorDialog::BindTextPane() {
    EditorWindow& m = editor_.window();
    bindings_.Watch(m.textPane, [this, &m] {
        QSignalBlocker quiet(w_.text);
        const QString text = PaneText(m.textPane.Text());
        if (w_.text->toPlainText() != text) w_.text->setPlainText(text);
        w_.text->setReadOnly(m.textPane.ReadOnly());
        // The pane wraps where a save will break the lines.
        w_.text->setLineWrapColumnOrWidth(editor_.chooser().WrapColumns());
    });
    connect(w_.text, &QTextEdit::textChanged, this, [this, &m] { m.textPane.SetText(FromQt(w_.text->toPlainText())); });
}

void ScheduleEditorDialog::showEvent(QShowEvent* event) {
    editor_.Shown();
    if (isMinimized()) showNormal();
    QDialog::showEvent(event);
}

void ScheduleEditorDialog::accept() {
    if (editor_.SaveAndExit()) QDialog::accept();
}

void ScheduleEditorDialog::reject() {
    editor_.CancelEditing();
    QDialog::reject();
}

bool ScheduleEditorDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
    auto* target = static_cast<QWidget*>(watched);
    if (target->window() != this) return false;  // the combo's list and other windows have their own keys
    using Key = ScheduleEditor::Key;
    using Focus = ScheduleEditor::Focus;
    Key key = Key::kOther;
    switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter: key = Key::kEnter; break;
        case Qt::Key_Escape: key = Key::kEscape; break;
        case Qt::Key_Down: key = Key::kDown; break;
        default: return false;
    }
    const Focus focus = target == w_.text || w_.text->isAncestorOf(target) ? Focus::kTextPane
                        : target == w_.fileName                             ? Focus::kFileName
                                                                            : Focus::kOther;
    // Down is also the way through the list and the text.
    if (key == Key::kDown && (focus == Focus::kTextPane || target == w_.list)) return false;
    if (!editor_.PreTranslateKey(key, focus)) return false;
    if (key == Key::kDown) w_.fileCombo->showPopup();
    return true;
}

ScheduleEditorDialog* ShowScheduleEditor(QWidget* parent, StationSettings& settings, const Clock& clock,
                                         MessageBoxService& boxes) {
    static QPointer<ScheduleEditorDialog> editor;
    if (!editor) editor = new ScheduleEditorDialog(settings, clock, boxes, parent);
    editor->show();
    editor->raise();
    editor->activateWindow();
    return editor;
}

void ShowScheduleEditorAlone(StationSettings& settings, const Clock& clock, MessageBoxService& boxes) {
    // Closed, it ends the program: nothing else runs in editor-only operation.
    auto* editor = new ScheduleEditorDialog(settings, clock, boxes);
    editor->setAttribute(Qt::WA_DeleteOnClose, true);
    editor->show();
}

}  // namespace sked
