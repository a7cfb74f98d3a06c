// The JPEG quality advisor: what a quality does to the current picture.
#include "FormMain.h"

#include "Cancel.h"

#include "Jpeg.h"
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

std::unique_ptr<TGraphic> CompressInFormat(const TBitmap& source, const std::string& key, int quality, int& size) {
    CheckCancelled();  // each of a size limit's tries; the codecs look again between rows
    if (key == "jpg") {
        auto jpeg = std::make_unique<TJPEGImage>();
        jpeg->PixelFormat = TJPEGPixelFormat::jf24Bit;
        jpeg->Assign(source);
        size = CompressAndMeasure(*jpeg, quality);
        return jpeg;
    }
    // The other formats: written, measured, and read back as a viewer would.
    const TOutputFormatInfo& format = FindOutputFormat(key);
    std::unique_ptr<TGraphic> encoder = format.Create(quality);
    encoder->Assign(source);
    std::stringstream stream;
    encoder->SaveToStream(stream);
    size = static_cast<int>(std::min<std::streamoff>(stream.tellp(), INT32_MAX));
    const TFileFormat* reader = FileFormats().Find(format.Extension.substr(1));
    if (!reader) throw EInvalidGraphic("No reader for " + format.Name);
    std::unique_ptr<TGraphic> decoded = reader->Create();
    CheckCancelled();
    stream.seekg(0);
    decoded->LoadFromStream(stream);
    return decoded;
}

// What the size limit would pick for this picture: the same search the batch makes.
QString LimitQualityText(const TBitmap& source, const std::string& format, int quality, int maxKB) {
    const TBudgetResult fitted = FitToBudget(quality, int64_t{maxKB} * 1024, [&](int q) {
        int size = 0;
        CompressInFormat(source, format, q, size);
        return std::vector<uint8_t>(static_cast<size_t>(size));
    });
    if (!fitted.Reached) return "Size limit not reached at quality " + Q(IntToText(LowestQuality));
    return "Quality within the size limit: " + Q(IntToText(fitted.Quality));
}

// The quality is tried off the user-interface thread; steps of the slider that
// come while one is tried are merged, and the newest position's result shows.
void TMainForm::trkQualityChange() {
    lblQuality2->setText(Q(IntToText(trkQuality->value())));
    if (!imgQualInput->HasGraphic() || !FQualitySource) {
        SetStatusText("Please select an image then drag the trackbar.");
        return;
    }
    const std::shared_ptr<const TBitmap> source = FQualitySource;
    const std::shared_ptr<const std::vector<uint8_t>> profile = FQualityProfile, screen = FScreenProfile;
    const int quality = trkQuality->value();
    const std::string format = OutputFormatKey();
    const int maxKB = FindOutputFormat(format).Lossy ? spnMaxKB->value() : 0;
    FAdvisorCompress->Post([this, source, profile, screen, quality, format, maxKB]() -> TLatestWork::TApply {
        int size = 0;
        auto result = std::make_shared<std::unique_ptr<TGraphic>>(CompressInFormat(*source, format, quality, size));
        if (size == 0) return nullptr;
        const QImage drawn = ShownColours(ToQImage(**result), profile ? *profile : std::vector<uint8_t>(), *screen);
        const QString limit = maxKB > 0 ? LimitQualityText(*source, format, quality, maxKB) : QString();
        return [this, result, drawn, size, limit] { ShowCompressed(std::move(*result), drawn, size, limit); };
    });
}

void TMainForm::ShowCompressed(std::unique_ptr<TGraphic> compressed, const QImage& drawn, int size, const QString& limitText) {
    imgCompressed->SetPrepared(std::move(compressed), drawn);
    lblLimitQuality->setText(limitText);
    lblFileSizeOut->setText("Resulted file size: " + Q(FormatFileSize(size, LocaleNumberFormat())));
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
