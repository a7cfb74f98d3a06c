// The explorer's folder and the current picture.
#include "FormMain.h"

#include <QDir>

#include "OrvelFileListBox.h"
#include "OrvelImage.h"
#include "OrvelSelectFolder.h"
#include "OrvelTPU.h"
#include "PATHEdit.h"
#include "Platform.h"

namespace quorix {

namespace {

constexpr uint32_t clFolderFound = 10469797;  // light green
constexpr uint32_t clFolderMissing = 30975;   // orange

void SetBackground(QWidget* widget, uint32_t value) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Base, ColorFromValue(value));
    widget->setPalette(palette);
}

QString ImageSizeText(const TPicture& picture) {
    return "Image size: " + Q(IntToText(picture.Width())) + "x" + Q(IntToText(picture.Height()));
}

}  // namespace

TPicture& TMainForm::MainPreview() { return imgMainPrev->Picture(); }

void TMainForm::edtPath2Change() {
    // A relative folder is made absolute at once: listing it changes the
    // current folder, after which the same text would name another one.
    const QString typed = edtPath->text();
    if (!typed.isEmpty() && !QDir::isAbsolutePath(typed) && FolderExists(S(typed))) {
        edtPath->setText(QDir::current().absoluteFilePath(typed));
        return;  // the change of text comes back here
    }
    SetBackground(edtPath, FolderExists(S(edtPath->text())) ? clFolderFound : clFolderMissing);
    const QString withDelimiter = Q(EnsureTrailingDelimiter(S(edtPath->text())));
    if (withDelimiter != edtPath->text()) {
        // The caret stays where the user types, before the added delimiter.
        const int caret = edtPath->cursorPosition();
        edtPath->setText(withDelimiter);
        edtPath->setCursorPosition(caret);
    }
    if (!FolderExists(S(edtPath->text()))) return;
    const QString before = FileList->Directory();
    FileList->ApplyFilePath(edtPath->text());
    if (FileList->Directory() != before) ShowCurrentOrNothing();
}

// After another folder is listed the preview and the advisor show its current
// picture, or nothing: never a picture of the folder before.
void TMainForm::ShowCurrentOrNothing() {
    if (FileExists(FileList->FilePath())) {
        FileListChangeEx(FileList->ItemIndex(), FileList->ItemIndex());
        return;
    }
    MainPreview().SetGraphic(nullptr);
    imgQualInput->Picture().SetGraphic(nullptr);
    imgCompressed->Picture().SetGraphic(nullptr);
    lblImageSize->clear();
    lblOrigSize->clear();
    lblFileSizeOut->clear();
    InputFileSize = 0;
}

void TMainForm::btnBrowseClick() {
    std::string folder = S(edtPath->text());
    if (BrowseForFolder("Browse for images", folder, boAllowCreate)) edtPath->setText(Q(folder));
}

void TMainForm::FileListChangeEx(int, int) {
    try {
        const std::string file = FileList->FilePath();
        if (!FileExists(file)) return;
        SetStatusText(Q(file));
        // The preview and the advisor obey the guard too: a huge picture is
        // refused from its header instead of freezing the window.
        TDecodeLimits limits;
        limits.Protect = chkProtect->isChecked();
        if (PageControl->currentWidget() == tabQuality) {
            imgQualInput->Picture().LoadFromFile(file, limits);
            InputFileSize = static_cast<int32_t>(static_cast<uint32_t>(FileSizeOf(file)));
            lblOrigSize->setText("Original file size: " + Q(FormatFileSize(InputFileSize, LocaleNumberFormat())));
            lblImageSize->setText(ImageSizeText(MainPreview()));
            auto copy = std::make_unique<TBitmap>();
            copy->Assign(*imgQualInput->Picture().Graphic());
            imgCompressed->Picture().SetGraphic(std::move(copy));
            trkQualityChange();  // the resulting size and bar are this picture's
        } else {
            MainPreview().LoadFromFile(file, limits);
            lblImageSize->setText(ImageSizeText(MainPreview()));
        }
        SetStatusText("Current image: " + Q(file));
    } catch (const EHugeImage&) {
        SetStatusText("WARNING! Huge image: " + FileList->FileName());
    } catch (const std::exception&) {
        SetStatusText("Error loading image: " + FileList->FileName());
    }
}

void TMainForm::PageControlChange() {
    if (PageControl->currentWidget() == tabQuality) FileListChangeEx(FileList->ItemIndex(), FileList->ItemIndex());
}

void TMainForm::btnResultClick() {
    ShellOpen(EnsureTrailingDelimiter(S(edtPath->text())) + "Output" + PathDelim);
}

}  // namespace quorix
