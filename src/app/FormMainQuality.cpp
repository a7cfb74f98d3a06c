// The JPEG quality advisor: what a quality does to the current picture.
#include "FormMain.h"

#include "Jpeg.h"
#include "OrvelImage.h"
#include "OrvelTPU.h"
#include "Platform.h"

#include <cmath>
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

void TMainForm::trkQualityChange() {
    lblQuality2->setText(Q(IntToText(trkQuality->value())));
    if (!imgQualInput->HasGraphic()) {
        SetStatusText("Please select an image then drag the trackbar.");
        return;
    }
    auto jpeg = std::make_unique<TJPEGImage>();
    jpeg->PixelFormat = TJPEGPixelFormat::jf24Bit;
    {
        TBitmap bitmap;
        bitmap.Assign(*imgQualInput->Picture().Graphic());
        jpeg->Assign(bitmap);
    }
    const int size = CompressAndMeasure(*jpeg, trkQuality->value());
    if (size == 0) return;
    imgCompressed->Picture().SetGraphic(std::move(jpeg));
    lblFileSizeOut->setText("Resulted file size: " + Q(FormatFileSize(size, LocaleNumberFormat())));
    lblFileSizeOut->repaint();
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
