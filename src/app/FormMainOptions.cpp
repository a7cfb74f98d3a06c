// The resize options panel: which editors each mode shows, the distortion
// warning and the two aspect buttons.
#include "FormMain.h"

#include "OrvelFileListBox.h"

#include "AppErrors.h"
#include "AppUrls.h"
#include "OrvelDecSpin.h"
#include "Platform.h"
#include "TargetSize.h"

#include <QEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QMouseEvent>

namespace quorix {

void TMainForm::ResizeTypeChanged() {
    // The box's size shows for fitting too; only a fixed size may distort.
    grpOutRatio->setVisible(radSameSize->isChecked() || radFitWithin->isChecked() || radFillBox->isChecked());
    lblAspect->setVisible(radSameSize->isChecked());
    spnWH->setVisible(radSameWidth->isChecked() || radSameHeight->isChecked());
    auto* grid = static_cast<QGridLayout*>(grpImgSize->layout());
    if (radSameWidth->isChecked())
        grid->addWidget(spnWH, 5, 1, Qt::AlignRight);
    else if (radSameHeight->isChecked())
        grid->addWidget(spnWH, 6, 1, Qt::AlignRight);
    cmbCropFocus->setEnabled(radFillBox->isChecked());
}

void TMainForm::lblAspectClick() { ShellOpen(QUORIX_HELP_URL); }

// The divisors are the decimal constants slightly off 16/9 and 4/3 that the
// buttons always used, so their halves round the way users know.
void TMainForm::btn169Click() {
    spnHeight->setValue(RoundToInt(static_cast<long double>(spnWidth->value()) / 1.777777777777778L));
}

void TMainForm::btn43Click() {
    spnHeight->setValue(RoundToInt(static_cast<long double>(spnWidth->value()) / 1.333333333333333L));
}

void TMainForm::spnDecFactorClick() {
    if (!(spnDecFactor->Value() >= 1.0)) spnDecFactor->SetValue(1.0);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lblAspect && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        Guarded([this] { lblAspectClick(); })();
        return true;
    }
    if (watched == Panel2 && event->type() == QEvent::Resize) FormResize();
    if (watched == StatBar && event->type() == QEvent::MouseButtonRelease) Guarded([this] { StatusBarClick(); })();
    if ((watched == edtPath || watched == FileList) && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && FileList->Listing()) {
        FileList->StopListing();
        return true;
    }
    if (watched == trkQuality && event->type() == QEvent::FocusIn) Guarded([this] { trkQualityChange(); })();
    // A letter typed into the filter box drops its list instead of silently
    // picking the filter that starts with it.
    if (watched == cmbResampleQ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool letter = !key->text().isEmpty() && key->text()[0].isPrint() && !key->text()[0].isSpace() &&
                            !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
        if (letter) {
            cmbResampleQ->showPopup();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

}  // namespace quorix
