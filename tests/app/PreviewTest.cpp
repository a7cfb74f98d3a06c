#include "AppTestSupport.h"
#include "FormMain.h"
#include "Jpeg.h"
#include "ResizeImage.h"
#include "OrvelFileListBox.h"
#include "OrvelSelectFolder.h"
#include "OrvelTPU.h"
#include "Platform.h"
#include "PhotoTags.h"
#include "QtTestSupport.h"
#include "TestPictures.h"

#include <QFile>

#include <lcms2.h>

#include <memory>
#include <sstream>

namespace quorix {

class PreviewTest : public QObject {
    Q_OBJECT

    std::unique_ptr<test::TTempHome> FHome;
    std::unique_ptr<test::TMessageLog> FMessages;
    std::unique_ptr<TMainForm> FForm;

    QString Pics() const { return FHome->Path("pics/"); }
    // big.jpg 1024x768, small.png 40x30, broken.jp (no decoder), text.jpg (not a JPEG).
    void MakePictures() {
        QDir().mkpath(Pics());
        test::WriteJpeg(S(Pics() + "big.jpg"), test::MakeGradient(1024, 768));
        TBitmap small = test::MakeGradient(40, 30);
        TPicture picture;
        test::WriteJpeg(S(Pics() + "small.jpg"), small);
        for (const char* name : {"broken.jp", "text.jpg"}) {
            QFile f(Pics() + name);
            f.open(QIODevice::WriteOnly);
            f.write("not a picture");
        }
    }
    // Clicks the named file. A click on the item already reported raises no
    // change event, so the handler is then called directly, as start-up does.
    void Pick(const QString& name) {
        const int reported = FForm->FileList->LastReported();
        int row = 0;
        while (FForm->FileList->item(row)->text() != name) ++row;
        FForm->FileList->SelectItemClick(row);
        if (row == reported) FForm->FileListChangeEx(row, row);
        QVERIFY(test::Settle(*FForm));
    }
    void ShowQualityPage() {
        FForm->PageControl->setCurrentWidget(FForm->tabQuality);
        QVERIFY(test::Settle(*FForm));
    }
    // The file a batch writes for the picture with the window's options: its
    // size, and the quality it was written at.
    std::pair<int, int> BatchFile(const QString& name) {
        const std::string out = S(FHome->Path("batch/"));
        QDir().mkpath(Q(out));
        TResizeOptions options = FForm->CurrentOptions();
        const TResizeResult result = ResizeImage(S(Pics() + name), out, options);
        const int size = static_cast<int>(FileSizeOf(result.OutputName));
        QFile::remove(Q(result.OutputName));
        return {size, result.Quality};
    }

private slots:
    void init() {
        // The start-up update check never reaches the network here.
        test::NoNetwork();
        FHome = std::make_unique<test::TTempHome>();
        FMessages = std::make_unique<test::TMessageLog>();
        MakePictures();
        FForm = test::StartedForm();
        FForm->resize(1000, 700);
        FForm->show();
        FForm->edtPath->setText(Pics());
    }
    void cleanup() {
        FForm.reset();
        FMessages.reset();
        FHome.reset();
    }

    void PathBoxColoursAndDelimiter() {
        FForm->edtPath->setText(FHome->Path("pics"));
        QCOMPARE(FForm->edtPath->text(), Pics());
        QCOMPARE(ValueOfColor(FForm->edtPath->palette().color(QPalette::Base)), 10469797u);
        QCOMPARE(FForm->FileList->Directory() + "/", Pics());
        FForm->edtPath->setText(FHome->Path("nowhere"));
        QCOMPARE(FForm->edtPath->text(), FHome->Path("nowhere/"));
        QCOMPARE(ValueOfColor(FForm->edtPath->palette().color(QPalette::Base)), 30975u);
        QCOMPARE(FForm->FileList->Directory() + "/", Pics());  // the list keeps its folder
    }

    void PickingAPictureOnTheResizerPage() {
        Pick("big.jpg");
        QCOMPARE(FForm->StatusText(), "Current image: " + Pics() + "big.jpg");
        QCOMPARE(FForm->lblImageSize->text(), QString("Image size: 1024x768"));
        QCOMPARE(FForm->MainPreview().Width(), 1024);
        const QRect shown = FForm->imgMainPrev->PictureRect();  // fitted, proportions kept, centred
        QVERIFY(shown.width() <= FForm->imgMainPrev->width() && shown.height() <= FForm->imgMainPrev->height());
        QVERIFY(shown.width() == FForm->imgMainPrev->width() || shown.height() == FForm->imgMainPrev->height());
        QVERIFY(qAbs(shown.width() * 768 - shown.height() * 1024) <= 1024);
        QVERIFY(qAbs(shown.center().x() - FForm->imgMainPrev->rect().center().x()) <= 1);
        // What is drawn is the picture (decoded at a reduced size where that covers the box).
        const QImage drawn = FForm->imgMainPrev->grab().toImage();
        const TBitmap source = test::LoadAs24(S(Pics() + "big.jpg"));
        for (const auto& [fx, fy] : {std::pair{0.25, 0.25}, {0.5, 0.5}, {0.8, 0.7}}) {
            const QColor c = drawn.pixelColor(shown.x() + int(fx * shown.width()), shown.y() + int(fy * shown.height()));
            const std::vector<int> bgr = test::Bgr(source, int(fx * 1024), int(fy * 768));
            QVERIFY2(qAbs(c.blue() - bgr[0]) < 24 && qAbs(c.green() - bgr[1]) < 24 && qAbs(c.red() - bgr[2]) < 24,
                     qPrintable(QString("at %1,%2").arg(fx).arg(fy)));
        }
    }

    // A picture chosen from anywhere shows: named on the command line (or
    // dropped) in another folder, and the first item of a folder typed anew,
    // at the row the old folder's shown picture had.
    void PicturesChosenFromAnywhereShow() {
        QDir().mkpath(FHome->Path("other"));
        test::WriteJpeg(S(FHome->Path("other/a.jpg")), test::MakeGradient(60, 40));
        test::WriteJpeg(S(FHome->Path("other/b.jpg")), test::MakeGradient(80, 50));
        Pick("big.jpg");  // row 0 of the first folder
        FForm->OpenPaths({S(FHome->Path("other/b.jpg"))});
        QVERIFY(test::Settle(*FForm));
        QCOMPARE(FForm->StatusText(), "Current image: " + FHome->Path("other/b.jpg"));
        QCOMPARE(FForm->MainPreview().Width(), 80);
        QCOMPARE(FForm->lblImageSize->text(), QString("Image size: 80x50"));
        FForm->edtPath->setText(Pics());
        QVERIFY(test::Settle(*FForm));
        FForm->edtPath->setText(FHome->Path("other"));
        QVERIFY(test::Settle(*FForm));
        FForm->FileList->SelectItemClick(0);  // the first click, on the row big.jpg had
        QVERIFY(test::Settle(*FForm));
        QCOMPARE(FForm->StatusText(), "Current image: " + FHome->Path("other/a.jpg"));
        QCOMPARE(FForm->MainPreview().Width(), 60);
    }

    void PickingErrorsAndUnselectedItems_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("no decoder for .jp") << "broken.jp";
        QTest::newRow("damaged JPEG") << "text.jpg";
    }
    void PickingErrorsAndUnselectedItems() {
        QFETCH(QString, name);
        FForm->FileList->SetMask("*.*");
        Pick("big.jpg");
        Pick(name);
        QCOMPARE(FForm->StatusText(), "Error loading image: " + Pics() + name);
        QCOMPARE(FForm->MainPreview().Width(), 1024);  // the old picture stays
        QVERIFY(FMessages->Messages.empty());
        // Ctrl-click deselecting the current item changes nothing.
        FForm->FileList->item(FForm->FileList->ItemIndex())->setSelected(false);
        FForm->FileListChangeEx(0, 0);
        QVERIFY(test::Settle(*FForm));
        QCOMPARE(FForm->StatusText(), "Error loading image: " + Pics() + name);
    }

    void QualityPageLoadsItsOwnPicture() {
        Pick("big.jpg");
        ShowQualityPage();  // switching there loads the current picture at once
        QCOMPARE(FForm->imgQualInput->Picture().Width(), 1024);
        Pick("small.jpg");
        const int64_t size = FileSizeOf(S(Pics() + "small.jpg"));
        QCOMPARE(FForm->InputFileSize, static_cast<int32_t>(size));
        QCOMPARE(FForm->lblOrigSize->text(), "Original file size: " + Q(FormatFileSize(size, LocaleNumberFormat())));
        QCOMPARE(FForm->imgQualInput->Picture().Width(), 40);
        QCOMPARE(FForm->imgCompressed->Picture().Width(), 20);  // the output: halved, as the page says
        QCOMPARE(FForm->MainPreview().Width(), 1024);  // the resizer's picture is not touched
        QCOMPARE(FForm->lblImageSize->text(), QString("Image size: 1024x768"));
        QCOMPARE(FForm->StatusText(), "Current image: " + Pics() + "small.jpg");
        FForm->PageControl->setCurrentIndex(0);
        QCOMPARE(FForm->MainPreview().Width(), 1024);
    }

    void BrowseFillsThePathBox_data() {
        QTest::addColumn<bool>("ok");
        QTest::newRow("OK") << true;
        QTest::newRow("Cancel") << false;
    }
    void BrowseFillsThePathBox() {
        QFETCH(bool, ok);
        const QString other = FHome->Path("other");
        QDir().mkpath(other);
        test::WriteJpeg(S(other + "/o.jpg"), test::MakeGradient(8, 8));
        QString caption;
        SetDialogRunner([&](TOrvelSelectDir& dialog) {
            caption = dialog.windowTitle();
            dialog.SetDirectory(S(other));
            return ok ? int(QDialog::Accepted) : int(QDialog::Rejected);
        });
        FForm->btnBrowse->click();
        SetDialogRunner({});
        QCOMPARE(caption, QString("Browse for images"));
        QCOMPARE(FForm->edtPath->text(), ok ? other + "/" : Pics());
        QCOMPARE(FForm->FileList->item(0)->text(), ok ? QString("o.jpg") : QString("big.jpg"));
    }

    void ShowResultOpensTheOutputFolder() {
        std::string opened;
        SetShellOpenHandler([&](const std::string& target) { opened = target; return false; });
        FForm->btnResult->click();
        SetShellOpenHandler({});
        QCOMPARE(Q(opened), Pics() + "Output/");
        QVERIFY(FMessages->Messages.empty());
    }

    void AdvisorBars_data() {
        QTest::addColumn<double>("fileToCompressed");  // InputFileSize as a multiple of the compressed size
        QTest::addColumn<int>("width");
        QTest::addColumn<bool>("red");
        QTest::newRow("a quarter") << 4.0 << 56 << false;
        QTest::newRow("12.5 % rounds to even") << 8.0 << 27 << false;
        QTest::newRow("twice the file, limited") << 0.5 << -1 << true;
        QTest::newRow("equal size") << 1.0 << 225 << false;
    }
    void AdvisorBars() {
        QFETCH(double, fileToCompressed);
        QFETCH(int, width);
        QFETCH(bool, red);
        Pick("big.jpg");
        ShowQualityPage();
        FForm->trkQuality->setValue(60);
        QVERIFY(test::Settle(*FForm));
        const int size = BatchFile("big.jpg").first;
        FForm->InputFileSize = static_cast<int32_t>(size * fileToCompressed);
        FForm->trkQuality->setValue(61);
        FForm->trkQuality->setValue(60);
        QVERIFY(test::Settle(*FForm));
        QVERIFY(FMessages->Messages.empty());
        QCOMPARE(FForm->lblQuality2->text(), QString("60"));
        QCOMPARE(FForm->lblFileSizeOut->text(), "Resulted file size: " + Q(FormatFileSize(size, LocaleNumberFormat())));
        const int limit = FForm->pnlQuality->width() - FForm->proBar2->x() - 5;
        QCOMPARE(limit, 345);
        QCOMPARE(FForm->proBar2->width(), width < 0 ? limit : width);
        QCOMPARE(BarState(FForm->proBar2), red ? TProgressBarState::pbsError : TProgressBarState::pbsNormal);
        QCOMPARE(BarState(FForm->proBar1), TProgressBarState::pbsPaused);
        // The lower picture is the compressed data, decoded when drawn.
        auto* jpeg = dynamic_cast<TJPEGImage*>(FForm->imgCompressed->Picture().Graphic());
        QVERIFY(jpeg);
        QCOMPARE(static_cast<int>(jpeg->Data().size()), size);
        QCOMPARE(jpeg->Width(), 512);  // halved, as the batch writes it
    }

    // The advisor compresses in the chosen output format: the size shown is
    // that format's file, the lower picture that file read back.
    void AdvisorUsesTheOutputFormat_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("reader");
        QTest::newRow("WebP") << 2 << "webp" << "TWebPImage";
        QTest::newRow("JPEG XL") << 4 << "jxl" << "TJpegXlImage";
        QTest::newRow("PNG, lossless") << 1 << "png" << "TPngImage";
    }
    void AdvisorUsesTheOutputFormat() {
        QFETCH(int, index);
        QFETCH(QString, key);
        QFETCH(QString, reader);
        Pick("big.jpg");
        ShowQualityPage();
        FForm->cmbOutFormat->setCurrentIndex(index);
        QVERIFY(test::Settle(*FForm));
        QCOMPARE(Q(FForm->OutputFormatKey()), key);
        const int size = BatchFile("big.jpg").first;
        QCOMPARE(FForm->lblFileSizeOut->text(), "Resulted file size: " + Q(FormatFileSize(size, LocaleNumberFormat())));
        QCOMPARE(QString(FForm->imgCompressed->Picture().Graphic()->ClassName()), reader);
        QCOMPARE(FForm->imgCompressed->Picture().Width(), 512);
        const bool lossy = key != "png";
        QCOMPARE(FForm->trkQuality->isEnabled(), lossy);  // quality means nothing to PNG
        QVERIFY2(FForm->lblLimitQuality->text().startsWith(Q(FindOutputFormat(S(key)).Name) + ", 512x384"),
                 qPrintable(FForm->lblLimitQuality->text()));
    }

    // The advisor shows the file the batch writes: fitted into a box, in WebP,
    // with a size limit it names the quality the batch takes; while it works
    // the old figures are greyed.
    void TheAdvisorShowsTheBatchsFile() {
        Pick("big.jpg");
        ShowQualityPage();
        FForm->radFitWithin->setChecked(true);
        FForm->spnWidth->setValue(400);
        FForm->spnHeight->setValue(300);
        FForm->cmbOutFormat->setCurrentIndex(FForm->cmbOutFormat->findData("webp"));
        QVERIFY(test::Settle(*FForm));
        const auto [size, quality] = BatchFile("big.jpg");
        QCOMPARE(FForm->lblFileSizeOut->text(), "Resulted file size: " + Q(FormatFileSize(size, LocaleNumberFormat())));
        QCOMPARE(FForm->imgCompressed->Picture().Width(), 400);
        QCOMPARE(FForm->lblLimitQuality->text(), QString("WebP, 400x300, quality %1").arg(quality));
        const int maxKB = std::max(1, size / 1024 * 2 / 3);  // below what the slider's quality gives
        FForm->spnMaxKB->setValue(maxKB);
        QVERIFY(!FForm->lblFileSizeOut->isEnabled());  // stale until the new file is made
        QCOMPARE(FForm->lblLimitQuality->text(), QString("Working..."));
        QVERIFY(test::Settle(*FForm));
        QVERIFY(FForm->lblFileSizeOut->isEnabled());
        const auto [limited, chosen] = BatchFile("big.jpg");
        QVERIFY2(chosen < quality, qPrintable(QString("%1 of %2 KB").arg(chosen).arg(maxKB)));
        QCOMPARE(FForm->lblFileSizeOut->text(), "Resulted file size: " + Q(FormatFileSize(limited, LocaleNumberFormat())));
        const QString fits = QString("WebP, 400x300: quality %1 fits %2 KB").arg(chosen).arg(maxKB);
        const QString not_ = QString("WebP, 400x300: %1 KB not reached at quality %2").arg(maxKB).arg(chosen);
        QVERIFY2(FForm->lblLimitQuality->text() == (limited <= maxKB * 1024 ? fits : not_), qPrintable(FForm->lblLimitQuality->text()));
    }

    // A picture with a wide-gamut profile is drawn as a colour-managed viewer
    // shows it: converted for the screen, not its numbers shown as sRGB.
    void PreviewIsColourManaged() {
        const std::vector<uint8_t>& icc = test::WideGamutProfile();
        cmsHPROFILE wide = cmsOpenProfileFromMem(icc.data(), static_cast<cmsUInt32Number>(icc.size()));
        test::WriteJpeg(S(Pics() + "wide.jpg"), test::MakeBitmap24(40, 30, 40, 60, 200), 100);
        test::EmbedProfile(S(Pics() + "wide.jpg"), icc);
        FForm->actRefreshExecute();
        Pick("wide.jpg");
        const TBitmap stored = test::LoadAs24(S(Pics() + "wide.jpg"));
        uint8_t want[3];
        cmsHPROFILE srgb = cmsCreate_sRGBProfile();
        cmsHTRANSFORM transform = cmsCreateTransform(wide, TYPE_BGR_8, srgb, TYPE_BGR_8, INTENT_PERCEPTUAL, 0);
        cmsDoTransform(transform, stored.ScanLine(15) + 60, want, 1);
        cmsDeleteTransform(transform);
        cmsCloseProfile(srgb);
        cmsCloseProfile(wide);
        const QRect shown = FForm->imgMainPrev->PictureRect();
        const QColor c = FForm->imgMainPrev->grab().toImage().pixelColor(shown.center());
        QVERIFY2(qAbs(c.red() - want[2]) <= 3 && qAbs(c.green() - want[1]) <= 3 && qAbs(c.blue() - want[0]) <= 3,
                 qPrintable(QString("shown %1,%2,%3").arg(c.red()).arg(c.green()).arg(c.blue())));
        QVERIFY(qAbs(c.red() - stored.ScanLine(15)[62]) > 10);  // not the stored numbers
    }

    void AdvisorWithoutAPicture() {
        FForm->trkQuality->setValue(42);
        QCOMPARE(FForm->lblQuality2->text(), QString("42"));
        QCOMPARE(FForm->StatusText(), QString("Please select an image then drag the trackbar."));
        QVERIFY(FForm->imgCompressed->Picture().Graphic() == nullptr);
    }

    void AdvisorWithANonPositiveFileSize() {
        Pick("small.jpg");
        ShowQualityPage();
        FForm->InputFileSize = 1000000;
        FForm->trkQuality->setValue(80);
        QVERIFY(test::Settle(*FForm));
        const int widthBefore = FForm->proBar2->width();
        FForm->InputFileSize = 0;
        FForm->trkQuality->setValue(81);
        QVERIFY(test::Settle(*FForm));
        QCOMPARE(FMessages->Messages.size(), size_t(1));
        QCOMPARE(FForm->lblQuality2->text(), QString("81"));
        QCOMPARE(FForm->lblFileSizeOut->text(),
                 "Resulted file size: " + Q(FormatFileSize(BatchFile("small.jpg").first, LocaleNumberFormat())));
        QCOMPARE(FForm->proBar2->width(), widthBefore);
    }

    void CenterImage() {
        Pick("small.jpg");
        ShowQualityPage();
        QVERIFY(FForm->imgQualInput->PictureRect().x() > 0);
        FForm->chkCenter->click();
        QCOMPARE(FForm->imgQualInput->PictureRect(), QRect(0, 0, 40, 30));
        QCOMPARE(FForm->imgCompressed->PictureRect(), QRect(0, 0, 20, 15));  // the halved output
        FForm->chkCenter->click();
        QVERIFY(FForm->imgCompressed->Center());
    }
};

}  // namespace quorix

QUORIX_QT_TEST_MAIN(quorix::PreviewTest)
#include "PreviewTest.moc"
