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

namespace {

QSize DrawnSize(const QSize& picture, const QSize& control, bool proportional) {
    return proportional ? picture.scaled(control, Qt::KeepAspectRatio) : picture;
}

}  // namespace

QImage DrawnImage(const TGraphic& graphic, const QSize& control, bool proportional) {
    const QSize size = DrawnSize(QSize(graphic.Width(), graphic.Height()), control, proportional);
    const auto* jpeg = dynamic_cast<const TJPEGImage*>(&graphic);
    QImage image = proportional && jpeg && !jpeg->Data().empty() ? ReducedJpeg(*jpeg, size) : ToQImage(graphic);
    // Scaled here once, not each time the control paints.
    if (proportional && !size.isEmpty() && image.size() != size)
        image = image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image;
}

void TImage::SetPrepared(std::unique_ptr<TGraphic> graphic, const QImage& drawn) {
    FPicture.SetGraphic(std::move(graphic));
    FImage = drawn;
}

const QImage& TImage::Image() const {
    if (!HasGraphic()) return FImage;
    const QSize box = PictureRect().size();
    // Made again when the control has grown past the drawing.
    if (!FImage.isNull() && (FImage.width() >= box.width() || FImage.width() >= FPicture.Width())) return FImage;
    FImage = DrawnImage(*FPicture.Graphic(), size(), FProportional);
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
