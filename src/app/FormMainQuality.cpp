// The JPEG quality advisor: what a quality does to the current picture.
#include "FormMain.h"

#include "Cancel.h"

#include "Jpeg.h"
#include "ResizeImage.h"
#include "PhotoMetadata.h"
#include "SizeBudget.h"
#include "SrgbConversion.h"
#include "QuorixError.h"
#include "LatestWork.h"
#include "OrvelImage.h"
#include "OrvelTPU.h"
#include "Platform.h"

#include <algorithm>
#include <cmath>
#include <climits>
#include <sstream>

#include <unistd.h>

namespace quorix {

namespace {

const char* BarColour(TProgressBarState state) {
    switch (state) {
    case TProgressBarState::pbsError: return "#D42020";
    case TProgressBarState::pbsPaused: return "#E8C800";
    case TProgressBarState::pbsNormal: break;
    }
    return "#06B025";
}

// Rounds half to the even neighbour, as the advisor's percentages do.
long long RoundEven(long double value) { return std::llrint(value); }

}  // namespace

void SetBarState(QProgressBar* bar, TProgressBarState state) {
    bar->setProperty("barState", static_cast<int>(state));
    bar->setStyleSheet(QString("QProgressBar::chunk { background: %1; }").arg(BarColour(state)));
}

TProgressBarState BarState(const QProgressBar* bar) {
    return static_cast<TProgressBarState>(bar->property("barState").toInt());
}

int CompressAndMeasure(TJPEGImage& image, int quality) {
    std::stringstream stream;
    image.CompressionQuality = static_cast<uint8_t>(quality);
    image.Compress();
    image.SaveToStream(stream);
    stream.seekg(0);
    image.LoadFromStream(stream);
    return static_cast<int>(image.Data().size());
}

// The colours as a colour-managed viewer shows them: from the picture's
// profile to the screen's (sRGB for a screen without one).
QImage ShownColours(QImage image, const std::vector<uint8_t>& profile, const std::vector<uint8_t>& screen) {
    if (profile.empty() || image.format() != QImage::Format_BGR888) return image;
    ConvertRowsToSrgb(image.bits(), static_cast<size_t>(image.bytesPerLine()), image.width(), image.height(), profile, screen);
    return image;
}

std::vector<uint8_t> ScreenProfileOf(const std::string& file) { return TPhotoMetadata::Read(file).Profile(); }

TAdvisorInput LoadAdvisorInput(const std::string& file, const TDecodeLimits& limits, const std::vector<uint8_t>& screen) {
    TPicture picture;
    picture.LoadFromFile(file, limits);
    CheckCancelled();
    TAdvisorInput input;
    auto source = std::make_shared<TBitmap>();
    source->Assign(*picture.Graphic());
    input.Copy = std::make_unique<TBitmap>();
    input.Copy->Assign(*source);
    input.Profile = std::make_shared<const std::vector<uint8_t>>(ScreenProfileOf(file));
    input.Drawn = ShownColours(ToQImage(*source), *input.Profile, screen);
    input.Source = std::move(source);
    input.Graphic = picture.TakeGraphic();
    input.FileSize = static_cast<int32_t>(static_cast<uint32_t>(FileSizeOf(file)));
    return input;
}

// The file the batch would write for the picture: made by the job itself in
// a scratch folder, measured, read back as a viewer would, and removed.
TAdvisedOutput MakeAdvisedOutput(const std::string& file, TResizeOptions options) {
    TAdvisedOutput advised;
    char folder[] = "/tmp/quorix-advisor-XXXXXX";
    if (!::mkdtemp(folder)) throw EFileError("Cannot make a scratch folder for the advisor");
    options.NameTemplate = "advised";
    options.AddFilterName = false;
    options.Overwrite = true;
    options.KeepDate = false;
    const TResizeResult result = ResizeImage(file, std::string(folder) + "/", options);
    if (result.Outcome == TResizeOutcome::Written) {
        advised.Size = FileSizeOf(result.OutputName);
        advised.Quality = result.Quality;
        advised.LimitReached = std::find(result.Warnings.begin(), result.Warnings.end(),
                                         "WARNING! Size limit not reached: " + result.OutputName) == result.Warnings.end();
        advised.Profile = ScreenProfileOf(result.OutputName);
        TPicture picture;
        try {
            picture.LoadFromFile(result.OutputName);
            advised.Decoded = picture.TakeGraphic();
        } catch (const std::exception&) {
            // the size stands; a file no reader takes shows no picture
        }
    } else {
        advised.Failure = result.Log.empty() ? "Not written" : result.Log.front();
    }
    if (!result.OutputName.empty()) ::unlink(result.OutputName.c_str());
    ::rmdir(folder);
    return advised;
}

namespace {

// "WebP, 512x384, quality 70", "PNG, 512x384, every pixel kept", and what a size limit chose.
QString AdvisedText(const TAdvisedOutput& advised, const std::string& format, int maxKB) {
    const TOutputFormatInfo& info = FindOutputFormat(format);
    QString text = Q(info.Name);
    if (advised.Decoded) text += QString(", %1x%2").arg(advised.Decoded->Width()).arg(advised.Decoded->Height());
    if (!info.Lossy) return text + ", every pixel kept";
    if (maxKB <= 0) return text + ", quality " + Q(IntToText(advised.Quality));
    if (!advised.LimitReached) return text + ": " + Q(IntToText(maxKB)) + " KB not reached at quality " + Q(IntToText(advised.Quality));
    return text + ": quality " + Q(IntToText(advised.Quality)) + " fits " + Q(IntToText(maxKB)) + " KB";
}

}  // namespace

// The output the batch would write is made off the user-interface thread;
// steps of the slider that come meanwhile are merged, the newest shows, and
// until it does the figures shown are marked as stale.
void TMainForm::trkQualityChange() {
    lblQuality2->setText(Q(IntToText(trkQuality->value())));
    const std::string format = OutputFormatKey();
    const bool lossy = FindOutputFormat(format).Lossy;
    trkQuality->setEnabled(lossy);  // a lossless format has no quality to choose
    lblQualityTicks->setEnabled(lossy);
    if (!imgQualInput->HasGraphic() || FAdvisorFile.empty()) {
        SetStatusText("Please select an image then drag the trackbar.");
        return;
    }
    TResizeOptions options;
    try {
        options = CurrentOutputs().front().Options;
    } catch (const std::exception&) {
        options = CurrentOptions();  // a recipe that cannot be read: the pages' options
    }
    options.Quality = trkQuality->value();
    const int maxKB = lossy ? options.MaxKB : 0;
    const std::string file = FAdvisorFile;
    const std::shared_ptr<const std::vector<uint8_t>> screen = FScreenProfile;
    ShowAdvisorStale(true);
    FAdvisorCompress->Post([this, file, options, screen, maxKB]() -> TLatestWork::TApply {
        auto advised = std::make_shared<TAdvisedOutput>(MakeAdvisedOutput(file, options));
        const QImage drawn = advised->Decoded ? ShownColours(ToQImage(*advised->Decoded), advised->Profile, *screen) : QImage();
        const QString text = advised->Failure.empty() ? AdvisedText(*advised, options.Format, maxKB) : Q(advised->Failure);
        return [this, advised, drawn, text] {
            ShowCompressed(std::move(advised->Decoded), drawn, advised->Size, text);
            ShowAdvisorStale(false);
        };
    });
}

// Figures of a picture, format or quality no longer chosen are greyed, with a busy sign.
void TMainForm::ShowAdvisorStale(bool stale) {
    for (QWidget* w : {static_cast<QWidget*>(lblFileSizeOut), static_cast<QWidget*>(proBar2),
                       static_cast<QWidget*>(lblLimitQuality), static_cast<QWidget*>(imgCompressed)})
        w->setEnabled(!stale);
    if (stale) lblLimitQuality->setText("Working...");
}

void TMainForm::ShowCompressed(std::unique_ptr<TGraphic> compressed, const QImage& drawn, int size, const QString& limitText) {
    if (compressed) imgCompressed->SetPrepared(std::move(compressed), drawn);
    else imgCompressed->Picture().SetGraphic(nullptr);
    lblLimitQuality->setText(limitText);
    lblFileSizeOut->setText("Resulted file size: " + Q(FormatFileSize(size, LocaleNumberFormat())));
    if (size <= 0) return;  // nothing was written: the bars stay
    const long long percent = RoundEven(PercentOf(size, InputFileSize));
    int width = static_cast<int>(RoundEven(static_cast<long double>(proBar1->width()) * percent / 100));
    SetBarState(proBar2, InputFileSize < size ? TProgressBarState::pbsError : TProgressBarState::pbsNormal);
    const int limit = pnlQuality->width() - proBar2->x() - 5;
    if (limit < width) width = limit;
    proBar2->resize(width, proBar2->height());
}

void TMainForm::chkCenterClick() {
    imgQualInput->SetCenter(chkCenter->isChecked());
    imgCompressed->SetCenter(chkCenter->isChecked());
}

}  // namespace quorix
