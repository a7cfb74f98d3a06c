#include "OrvelImage.h"

#include "Jpeg.h"

#include <QPainter>

namespace quorix {

QImage ToQImage(const TGraphic& graphic) {
    TBitmap bitmap;
    bitmap.Assign(graphic);
    if (bitmap.PixelFormat() != TPixelFormat::pf24bit) bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    QImage image(bitmap.Width(), bitmap.Height(), QImage::Format_BGR888);
    for (int y = 0; y < bitmap.Height(); ++y)
        std::copy_n(bitmap.ScanLine(y), static_cast<size_t>(bitmap.Width()) * 3, image.scanLine(y));
    return image;
}

TImage::TImage(QWidget* parent) : QWidget(parent) {
    FPicture.OnChange = [this] { PictureChanged(); };
}

void TImage::PictureChanged() {
    FImage = QImage();
    FScaled = QImage();
    update();
}

void TImage::SetCenter(bool center) {
    FCenter = center;
    update();
}

void TImage::SetProportional(bool proportional) {
    FProportional = proportional;
    FScaled = QImage();
    update();
}

namespace {

// A JPEG shown smaller than it is decodes at the largest reduction the
// decoder offers that still covers the box: an eighth of the work or less.
QImage ReducedJpeg(const TJPEGImage& jpeg, const QSize& box) {
    TJPEGImage copy;
    copy.LoadFromBytes(jpeg.Data());
    copy.Smoothing = jpeg.Smoothing;
    const TJPEGScale scales[] = {TJPEGScale::jsEighth, TJPEGScale::jsQuarter, TJPEGScale::jsHalf};
    const int divisors[] = {8, 4, 2};
    for (int i = 0; i < 3; ++i) {
        if (jpeg.Width() / divisors[i] >= box.width() && jpeg.Height() / divisors[i] >= box.height()) {
            copy.Scale = scales[i];
            return ToQImage(copy);
        }
    }
    return ToQImage(jpeg);
}

}  // namespace

const QImage& TImage::Image() const {
    if (!HasGraphic()) return FImage;
    const QSize box = PictureRect().size();
    // A reduced decode is made again when the control has grown past it.
    if (!FImage.isNull() && (FImage.width() >= box.width() || FImage.width() >= FPicture.Width())) return FImage;
    const auto* jpeg = dynamic_cast<const TJPEGImage*>(FPicture.Graphic());
    FImage = FProportional && jpeg && !jpeg->Data().empty() ? ReducedJpeg(*jpeg, box) : ToQImage(*FPicture.Graphic());
    FScaled = QImage();
    return FImage;
}

QRect TImage::PictureRect() const {
    if (!HasGraphic()) return QRect();
    QSize size(FPicture.Width(), FPicture.Height());
    if (FProportional) size.scale(this->size(), Qt::KeepAspectRatio);
    if (!FCenter) return QRect(QPoint(0, 0), size);
    return QRect((width() - size.width()) / 2, (height() - size.height()) / 2, size.width(), size.height());
}

void TImage::paintEvent(QPaintEvent*) {
    const QImage& image = Image();
    if (image.isNull()) return;
    QPainter painter(this);
    const QRect target = PictureRect();
    if (!FProportional) {
        painter.drawImage(target.topLeft(), image);
        return;
    }
    if (FScaled.size() != target.size())
        FScaled = image.scaled(target.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    painter.drawImage(target.topLeft(), FScaled);
}

}  // namespace quorix
