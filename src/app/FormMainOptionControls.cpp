// The job's options and the window's controls, row by row of the option
// table: each row names the controls that show it; a control shows the
// row's value as text (yes/no, a number, a name), whatever its kind.
#include "FormMain.h"

#include "OptionTable.h"
#include "OrvelDecSpin.h"
#include "Platform.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>

namespace quorix {

namespace {

// A control's value as the row's text.
std::string ControlText(const QWidget* control) {
    if (const auto* box = qobject_cast<const QCheckBox*>(control)) return box->isChecked() ? "yes" : "no";
    if (const auto* spin = qobject_cast<const QSpinBox*>(control)) return std::to_string(spin->value());
    if (const auto* slider = qobject_cast<const QSlider*>(control)) return std::to_string(slider->value());
    if (const auto* edit = qobject_cast<const QLineEdit*>(control)) return S(edit->text());
    if (const auto* combo = qobject_cast<const QComboBox*>(control)) return S(combo->currentData().toString());
    return {};
}

void ShowText(QWidget* control, const std::string& text) {
    if (auto* box = qobject_cast<QCheckBox*>(control)) box->setChecked(text == "yes");
    else if (auto* spin = qobject_cast<QSpinBox*>(control)) spin->setValue(std::stoi(text));
    else if (auto* slider = qobject_cast<QSlider*>(control)) slider->setValue(std::stoi(text));
    else if (auto* edit = qobject_cast<QLineEdit*>(control)) edit->setText(Q(text));
    else if (auto* combo = qobject_cast<QComboBox*>(control)) {
        if (combo->findData(Q(text)) < 0 && !text.empty()) combo->addItem(Q(text), Q(text));  // a value of a hand's making
        combo->setCurrentIndex(combo->findData(Q(text)));
    }
}

// The mode each of the mode row's buttons stands for, in the row's order.
const char* const ModeNames[] = {"decrease", "increase", "same-size", "fit", "same-width", "same-height", "fill"};

// Setting a radio button false clears it alone, not its group's choice.
void SetRadio(QRadioButton* button, bool value) {
    if (value || !button->isChecked()) return button->setChecked(value);
    const bool exclusive = button->autoExclusive();
    button->setAutoExclusive(false);
    button->setChecked(false);
    button->setAutoExclusive(exclusive);
}

}  // namespace

QWidget* TMainForm::OptionControl(const std::string& name) const {
    return findChild<QWidget*>(Q(name));
}

TResizeOptions TMainForm::CurrentOptions() const {
    TOptionEntry entry;
    for (const TOptionRow& row : OptionTable()) {
        if (row.Controls.empty()) continue;
        if (row.Key == "mode") {
            entry.Options.Mode = TResizeMode::None;
            // The first button set, in the rows' order of buttons.
            for (size_t i = 0; i < row.Controls.size(); ++i)
                if (static_cast<QRadioButton*>(OptionControl(row.Controls[i]))->isChecked()) {
                    row.Set(entry, ModeNames[i], row.Key);
                    break;
                }
        } else if (row.Key == "factor") {  // the window keeps both factors
            entry.Options.DecFactor = spnDecFactor->Value();
            entry.Options.IncFactor = spnIncFactor->Value();
        } else if (row.Key == "size") {
            row.Set(entry, ControlText(spnWidth) + "x" + ControlText(spnHeight), row.Key);
        } else {
            row.Set(entry, ControlText(OptionControl(row.Controls.front())), row.Key);
        }
    }
    return entry.Options;
}

void TMainForm::ShowOptions(const TResizeOptions& options) {
    for (const TOptionRow& row : OptionTable()) {
        if (row.Controls.empty()) continue;
        if (row.Key == "mode") {
            const std::string mode = row.Get(options);
            for (size_t i = 0; i < row.Controls.size(); ++i)
                SetRadio(static_cast<QRadioButton*>(OptionControl(row.Controls[i])), mode == ModeNames[i]);
        } else if (row.Key == "factor") {
            spnDecFactor->SetValue(options.DecFactor);
            spnIncFactor->SetValue(options.IncFactor);
        } else if (row.Key == "depth") {  // a check box for 16
            chkKeepDepth->setChecked(options.Depth == 16);
        } else if (row.Key == "size") {
            spnWidth->setValue(options.Width);
            spnHeight->setValue(options.Height);
        } else {
            ShowText(OptionControl(row.Controls.front()), row.Get(options));
        }
    }
}

// Every change of a control that shows an option, and of the outputs chosen,
// calls changed: the advisor follows what the batch would write.
void TMainForm::WatchOptionControls(const std::function<void()>& changed) {
    std::vector<QWidget*> controls{cmbOutputs};
    for (const TOptionRow& row : OptionTable())
        for (const std::string& name : row.Controls) controls.push_back(OptionControl(name));
    for (QWidget* control : controls) {
        if (auto* button = qobject_cast<QAbstractButton*>(control)) connect(button, &QAbstractButton::toggled, this, changed);
        else if (auto* spin = qobject_cast<QSpinBox*>(control)) connect(spin, QOverload<int>::of(&QSpinBox::valueChanged), this, changed);
        else if (auto* combo = qobject_cast<QComboBox*>(control)) connect(combo, QOverload<int>::of(&QComboBox::currentIndexChanged), this, changed);
        else if (auto* edit = qobject_cast<QLineEdit*>(control)) connect(edit, &QLineEdit::editingFinished, this, changed);
        else if (auto* factor = qobject_cast<TOrvelDecSpin*>(control)) connect(factor, &TOrvelDecSpin::valueTextChanged, this, changed);
    }
}

// A yes/no row's caption is its check box's.
void TMainForm::CaptionOptionControls() {
    for (const TOptionRow& row : OptionTable())
        if (!row.Controls.empty())
            if (auto* box = qobject_cast<QCheckBox*>(OptionControl(row.Controls.front()))) box->setText(Q(row.Caption));
}

}  // namespace quorix
