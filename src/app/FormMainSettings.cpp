// The settings file: every option read at start-up into its control, whose own
// change handling gives it effect, and written back once at exit.
#include "FormMain.h"

#include <algorithm>
#include <QGuiApplication>
#include <QScreen>

#include "OrvelDecSpin.h"
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
    AssignRadio(radXDecrease, ini.ReadBool("Resize", "radXDecrease", true));
    AssignRadio(radXIncrease, ini.ReadBool("Resize", "radXIncrease", false));
    AssignRadio(radSameHeight, ini.ReadBool("Resize", "radSameHeight", false));
    AssignRadio(radSameWidth, ini.ReadBool("Resize", "radSameWidth", false));
    AssignRadio(radSameSize, ini.ReadBool("Resize", "radSameSize", false));
    AssignRadio(radFitWithin, ini.ReadBool("Resize", "radFitWithin", false));
    chkOnlyShrink->setChecked(ini.ReadBool("Resize", "chkOnlyShrink", false));
    LastUpdateCheck = TextDate(Q(ini.ReadString("Updates", "LastCheck", "0")));
    spnAutoUpdate->setValue(ini.ReadInteger("Updates", "spnAutoUpdate", 4));
}

void TMainForm::LoadSettings(TOrvelIniFile& ini) {
    const std::string s = "Settings";
    trkQuality->setValue(ini.ReadInteger(s, "trkQuality", 70));
    spnHideHint->setValue(ini.ReadInteger(s, "spnHideHint", 3000));
    spnOpacity->setValue(ini.ReadInteger(s, "spnOpacity", 255));
    spnWidth->setValue(ini.ReadInteger(s, "spnWidth", 800));
    spnHeight->setValue(ini.ReadInteger(s, "spnHeight", 600));
    const int filter = ini.ReadInteger(s, "cmbResampleQ", 6);
    cmbResampleQ->setCurrentIndex(filter >= 0 && filter < cmbResampleQ->count() ? filter : -1);
    const int format = ini.ReadInteger(s, "cmbOutFormat", 0);
    cmbOutFormat->setCurrentIndex(format >= 0 && format < cmbOutFormat->count() ? format : 0);
    spnWH->setValue(ini.ReadInteger(s, "spnWH", 600));
    spnIncFactor->SetValue(ini.ReadFloat(s, "spnIncFactor", 1.5));
    spnDecFactor->SetValue(ini.ReadFloat(s, "spnDecFactor", 2.0));
    chkAddFltName->setChecked(ini.ReadBool(s, "chkAddFltName", false));
    chkKeepProfile->setChecked(ini.ReadBool(s, "chkKeepProfile", true));
    chkKeepMetadata->setChecked(ini.ReadBool(s, "chkKeepMetadata", true));
    chkRemoveGps->setChecked(ini.ReadBool(s, "chkRemoveGps", true));
    chkConvertSrgb->setChecked(ini.ReadBool(s, "chkConvertSrgb", false));
    chkKeepDate->setChecked(ini.ReadBool(s, "chkKeepDate", false));
    spnMaxKB->setValue(ini.ReadInteger(s, "spnMaxKB", 0));
    edtNameTemplate->setText(Q(ini.ReadString(s, "edtNameTemplate", "{name}")));
    spnCounterStart->setValue(std::clamp(ini.ReadInteger(s, "spnCounterStart", 1), 0, 999999999));
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
    chkProtect->setChecked(ini.ReadBool(s, "chkProtect", true));
    chkOverwrite->setChecked(ini.ReadBool(s, "chkOverwrite", true));
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
    ini.WriteBool("Resize", "radXDecrease", radXDecrease->isChecked());
    ini.WriteBool("Resize", "radXIncrease", radXIncrease->isChecked());
    ini.WriteBool("Resize", "radSameHeight", radSameHeight->isChecked());
    ini.WriteBool("Resize", "radSameWidth", radSameWidth->isChecked());
    ini.WriteBool("Resize", "radSameSize", radSameSize->isChecked());
    ini.WriteBool("Resize", "radFitWithin", radFitWithin->isChecked());
    ini.WriteBool("Resize", "chkOnlyShrink", chkOnlyShrink->isChecked());
    ini.WriteBool("WindowState", "Maximized", maximized);
    ini.WriteInteger("WindowState", "Last_used_tab", PageNumber());
    ini.WriteInteger("Updates", "spnAutoUpdate", spnAutoUpdate->value());
    ini.WriteString("Updates", "LastCheck", S(DateText(LastUpdateCheck)));
    const std::string s = "Settings";
    ini.WriteInteger(s, "trkQuality", trkQuality->value());
    ini.WriteInteger(s, "spnHideHint", spnHideHint->value());
    ini.WriteInteger(s, "spnOpacity", spnOpacity->value());
    ini.WriteInteger(s, "spnWidth", spnWidth->value());
    ini.WriteInteger(s, "spnHeight", spnHeight->value());
    ini.WriteInteger(s, "cmbResampleQ", cmbResampleQ->currentIndex());
    ini.WriteInteger(s, "cmbOutFormat", cmbOutFormat->currentIndex());
    ini.WriteInteger(s, "spnWH", spnWH->value());
    ini.WriteFloat(s, "spnIncFactor", spnIncFactor->Value());
    ini.WriteFloat(s, "spnDecFactor", spnDecFactor->Value());
    ini.WriteBool(s, "chkAddFltName", chkAddFltName->isChecked());
    ini.WriteBool(s, "chkKeepProfile", chkKeepProfile->isChecked());
    ini.WriteBool(s, "chkKeepMetadata", chkKeepMetadata->isChecked());
    ini.WriteBool(s, "chkRemoveGps", chkRemoveGps->isChecked());
    ini.WriteBool(s, "chkConvertSrgb", chkConvertSrgb->isChecked());
    ini.WriteBool(s, "chkKeepDate", chkKeepDate->isChecked());
    ini.WriteInteger(s, "spnMaxKB", spnMaxKB->value());
    ini.WriteString(s, "edtNameTemplate", S(edtNameTemplate->text()));
    ini.WriteInteger(s, "spnCounterStart", spnCounterStart->value());
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
    ini.WriteBool(s, "chkProtect", chkProtect->isChecked());
    ini.WriteBool(s, "chkOverwrite", chkOverwrite->isChecked());
    ini.WriteString(s, "LastPath", S(edtPath->text()));
    ini.EndUpdate();
}

}  // namespace quorix
