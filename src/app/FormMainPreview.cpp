// The explorer's folder and the current picture.
#include "FormMain.h"

#include <QLocale>
#include "FormMainJob.h"

#include <QDir>

#include "OrvelFileListBox.h"
#include "OrvelImage.h"
#include "OrvelSelectFolder.h"
#include "OrvelTPU.h"
#include "LatestWork.h"
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
    FListDelay->stop();
    if (!FolderExists(S(edtPath->text()))) return;
    // A tree is listed once the user has stopped typing (or pressed Enter):
    // "/" on the way to "/home/me/photos" is never walked.
    if (FileList->Recursive && edtPath->hasFocus()) return FListDelay->start();
    ListTypedFolder();
}

void TMainForm::ListTypedFolder() {
    FListDelay->stop();
    if (!FolderExists(S(edtPath->text()))) return;
    const QString before = FileList->Directory();
    FileList->ApplyFilePath(edtPath->text());
    if (FileList->Directory() != before) ShowCurrentOrNothing();
}

void TMainForm::ListingProgress(qulonglong entries) {
    SetStatusText("Reading sub-folders: " + QLocale().toString(entries) + " entries read... (Esc or Stop ends it)");
}

void TMainForm::ListingDone(bool stopped) {
    const QString count = QLocale().toString(FileList->count());
    SetStatusText(stopped ? "Reading stopped: " + count + " pictures listed" : count + " pictures listed");
    ShowCurrentOrNothing();
}

// After another folder is listed the preview and the advisor show its current
// picture, or nothing: never a picture of the folder before.
void TMainForm::ShowCurrentOrNothing() {
    if (FileExists(FileList->FilePath())) {
        FileListChangeEx(FileList->ItemIndex(), FileList->ItemIndex());
        return;
    }
    FPreviewDelay->stop();
    FPreviewWork->Cancel();
    FAdvisorLoad->Cancel();
    FAdvisorCompress->Cancel();
    FAdvisorFile.clear();
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

// While a batch runs the list moves on with every picture written: the
// preview follows a few times a second, not at the batch's pace, so that it
// does not take the cores from the batch.
void TMainForm::FileListChangeEx(int, int) {
    if (FJob && !FJob->Single) {
        if (!FPreviewDelay->isActive()) FPreviewDelay->start();
        return;
    }
    ShowCurrentPicture(false);
}

// The picture is decoded and drawn off the user-interface thread; what
// arrives is shown if the user has not asked for another picture meanwhile.
// quiet: a batch's picture, which leaves the status bar to the batch.
void TMainForm::ShowCurrentPicture(bool quiet) {
    const std::string file = FileList->FilePath();
    if (!FileExists(file)) return;
    if (!quiet) SetStatusText(Q(file));
    // The preview and the advisor obey the guard too: a huge picture is
    // refused from its header instead of using up the memory.
    TDecodeLimits limits;
    limits.Protect = chkProtect->isChecked();
    const QString name = FileList->FileName();
    auto status = [this, quiet](const QString& text) {
        if (!quiet) SetStatusText(text);
    };
    auto failed = [status, name](const QString& text) -> TLatestWork::TApply {
        return [status, text, name] { status(text + name); };
    };
    if (PageControl->currentWidget() == tabQuality) {
        const std::shared_ptr<const std::vector<uint8_t>> screen = FScreenProfile;
        FAdvisorLoad->Post([this, file, limits, failed, status, screen]() -> TLatestWork::TApply {
            try {
                auto loaded = std::make_shared<TAdvisorInput>(LoadAdvisorInput(file, limits, *screen));
                return [this, loaded, file, status] {
                    FAdvisorFile = file;
                    ShowAdvisorInput(*loaded);
                    status("Current image: " + Q(file));
                };
            } catch (const EHugeImage&) {
                return failed("WARNING! Huge image: ");
            } catch (const std::exception&) {
                return failed("Error loading image: ");
            }
        });
        return;
    }
    const QSize box = imgMainPrev->size();
    const std::shared_ptr<const std::vector<uint8_t>> screen = FScreenProfile;
    FPreviewWork->Post([this, file, limits, box, failed, status, screen]() -> TLatestWork::TApply {
        try {
            TPicture picture;
            picture.LoadFromFile(file, limits);
            const QImage drawn = ShownColours(DrawnImage(*picture.Graphic(), box, true), ScreenProfileOf(file), *screen);
            auto graphic = std::make_shared<std::unique_ptr<TGraphic>>(picture.TakeGraphic());
            return [this, graphic, drawn, file, status] {
                imgMainPrev->SetPrepared(std::move(*graphic), drawn);
                lblImageSize->setText(ImageSizeText(MainPreview()));
                status("Current image: " + Q(file));
            };
        } catch (const EHugeImage&) {
            return failed("WARNING! Huge image: ");
        } catch (const std::exception&) {
            return failed("Error loading image: ");
        }
    });
}

void TMainForm::ShowAdvisorInput(TAdvisorInput& input) {
    InputFileSize = input.FileSize;
    imgQualInput->SetPrepared(std::move(input.Graphic), input.Drawn);
    lblOrigSize->setText("Original file size: " + Q(FormatFileSize(InputFileSize, LocaleNumberFormat())));
    lblImageSize->setText(ImageSizeText(MainPreview()));
    imgCompressed->SetPrepared(std::move(input.Copy), input.Drawn);
    trkQualityChange();  // the resulting size and bar are this picture's
}

void TMainForm::PageControlChange() {
    if (PageControl->currentWidget() == tabQuality) FileListChangeEx(FileList->ItemIndex(), FileList->ItemIndex());
}

void TMainForm::btnResultClick() {
    ShellOpen(OutputFolder());
}

void TMainForm::btnOutFolderClick() {
    std::string folder = S(edtOutFolder->text());
    if (BrowseForFolder("Browse for the output folder", folder, boAllowCreate)) {
        edtOutFolder->setText(Q(folder));
        radOutFolder->setChecked(true);
    }
}

}  // namespace quorix
