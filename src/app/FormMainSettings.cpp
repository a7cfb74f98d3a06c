// The settings file: every option read at start-up into its control, whose own
// change handling gives it effect, and written back once at exit.
#include "FormMain.h"

#include <algorithm>
#include <QGuiApplication>
#include <QScreen>

#include "OrvelDecSpin.h"
#include "OptionTable.h"
#include "OrvelIniFile.h"
#include "OrvelTPU.h"
#include "Platform.h"

#include <QLocale>

namespace quorix {

namespace {

TOrvelIniFile SettingsFile() {
    TOrvelIniFile ini = TOrvelIniFile::CreateEx(AppTitle);
    ini.SetDecimalSeparator(LocaleDecimalSeparator());
    return ini;
}

// Assigning true selects a button and clears the others of its group;
// assigning false clears only that button.
void AssignRadio(QRadioButton* button, bool value) {
    if (value) {
        button->setChecked(true);
        return;
    }
    if (!button->isChecked()) return;
    const bool exclusive = button->autoExclusive();
    button->setAutoExclusive(false);
    button->setChecked(false);
    button->setAutoExclusive(exclusive);
}

// The locale's short date with all four digits of the year: "12/9/26" read
// back as 1926 made the automatic check run at every start.
QString ShortDateFormatFullYear() {
    QString format = QLocale::system().dateFormat(QLocale::ShortFormat);
    if (!format.contains("yyyy")) format.replace("yy", "yyyy");
    return format;
}

// The file keeps the date only.
QString DateText(const QDateTime& moment) {
    return moment.isValid() ? QLocale::system().toString(moment.date(), ShortDateFormatFullYear()) : QString("0");
}

// A two-digit year (an older file) is the year nearest today.
QDate NearestCentury(QDate date) {
    if (!date.isValid()) return date;
    const int today = Now().date().year();
    while (date.year() < today - 50) date = date.addYears(100);
    return date;
}

QDateTime TextDate(const QString& text) {
    const QLocale locale = QLocale::system();
    QDate date = locale.toDate(text, ShortDateFormatFullYear());
    if (!date.isValid()) date = NearestCentury(locale.toDate(text, QLocale::ShortFormat));
    return date.isValid() ? date.startOfDay() : QDateTime();  // anything that does not parse is "no check yet"
}

}  // namespace

void TMainForm::LoadWindowState(TOrvelIniFile& ini) {
    SetPageNumber(ini.ReadInteger("WindowState", "Last_used_tab", 1));
    PageControlChange();
    if (ini.ValueExists("WindowState", "Left")) {
        move(ini.ReadInteger("WindowState", "Left", 50), ini.ReadInteger("WindowState", "Top", 50));
        // A stored size no screen can show (a hand-edited or damaged file) is cut to the screen.
        QSize size(ini.ReadInteger("WindowState", "Width", 890), ini.ReadInteger("WindowState", "Height", 790));
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            size = size.boundedTo(screen->virtualSize().expandedTo(minimumSize()));
        resize(size);
    }
    if (ini.ReadBool("WindowState", "Maximized", false)) setWindowState(windowState() | Qt::WindowMaximized);
    LastUpdateCheck = TextDate(Q(ini.ReadString("Updates", "LastCheck", "0")));
    spnAutoUpdate->setValue(ini.ReadInteger("Updates", "spnAutoUpdate", 4));
}

void TMainForm::LoadSettings(TOrvelIniFile& ini) {
    const std::string s = "Settings";
    ShowOptions(LoadOptions(ini));
    FRecipes = LoadRecipes(ini);
    ShowRecipeChoice(ini.ReadString(s, "Outputs", ""));
    spnHideHint->setValue(ini.ReadInteger(s, "spnHideHint", 3000));
    spnOpacity->setValue(ini.ReadInteger(s, "spnOpacity", 255));
    edtOutFolder->setText(Q(ini.ReadString(s, "edtOutFolder", "")));
    chkRecurse->setChecked(ini.ReadBool(s, "chkRecurse", false));
    (ini.ReadBool(s, "radOutFolder", false) ? radOutFolder : radOutBeside)->setChecked(true);
    chkTrayIcon->setChecked(ini.ReadBool(s, "chkTrayIcon", true));
    chkPreview->setChecked(ini.ReadBool(s, "chkPreview", true));
    chkSkins->setChecked(ini.ReadBool(s, "chkSkins", true));
    chkSounds->setChecked(ini.ReadBool(s, "chkSounds", false));
    AssignRadio(radHintsOff, ini.ReadBool(s, "radHintsOff", false));
    AssignRadio(radHintsTooltips, ini.ReadBool(s, "radHintsTooltips", true));
    AssignRadio(radHintsStatBar, ini.ReadBool(s, "radHintsStatBar", false));
    chkAutoStartUp->setChecked(ini.ReadBool(s, "chkAutoStartUp", false));
    const std::string lastPath = AppFolder();
    edtPath->setText(Q(ini.ReadString(s, "LastPath", lastPath)));
}

void TMainForm::LoadINIFile() {
    TOrvelIniFile ini = SettingsFile();
    LoadWindowState(ini);
    LoadSettings(ini);
    // The slider's own position may equal the stored one, so no change ran the advisor.
    trkQualityChange();
}

void TMainForm::SaveINIFile() {
    TOrvelIniFile ini = SettingsFile();
    ini.BeginUpdate();
    const bool maximized = isMaximized();
    if (!maximized) {
        ini.WriteInteger("WindowState", "Left", x());
        ini.WriteInteger("WindowState", "Top", y());
        // The size restored is the window's own, without the frame: saving the
        // frame's made the window grow by the title bar at every start.
        ini.WriteInteger("WindowState", "Width", width());
        ini.WriteInteger("WindowState", "Height", height());
    }
    SaveOptions(ini, CurrentOptions());
    SaveRecipes(ini, FRecipes);
    ini.WriteBool("WindowState", "Maximized", maximized);
    ini.WriteInteger("WindowState", "Last_used_tab", PageNumber());
    ini.WriteInteger("Updates", "spnAutoUpdate", spnAutoUpdate->value());
    ini.WriteString("Updates", "LastCheck", S(DateText(LastUpdateCheck)));
    const std::string s = "Settings";
    const int outputs = cmbOutputs->currentIndex();
    ini.WriteString(s, "Outputs", outputs > 0 ? FRecipes[static_cast<size_t>(outputs - 1)].Name : "");
    ini.WriteInteger(s, "spnHideHint", spnHideHint->value());
    ini.WriteInteger(s, "spnOpacity", spnOpacity->value());
    ini.WriteString(s, "edtOutFolder", S(edtOutFolder->text()));
    ini.WriteBool(s, "chkRecurse", chkRecurse->isChecked());
    ini.WriteBool(s, "radOutFolder", radOutFolder->isChecked());
    ini.WriteBool(s, "chkPreview", chkPreview->isChecked());
    ini.WriteBool(s, "chkTrayIcon", chkTrayIcon->isChecked());
    ini.WriteBool(s, "chkSkins", chkSkins->isChecked());
    ini.WriteBool(s, "chkSounds", chkSounds->isChecked());
    ini.WriteBool(s, "radHintsOff", radHintsOff->isChecked());
    ini.WriteBool(s, "radHintsTooltips", radHintsTooltips->isChecked());
    ini.WriteBool(s, "radHintsStatBar", radHintsStatBar->isChecked());
    ini.WriteBool(s, "chkAutoStartUp", chkAutoStartUp->isChecked());
    ini.WriteString(s, "LastPath", S(edtPath->text()));
    ini.EndUpdate();
}

}  // namespace quorix
