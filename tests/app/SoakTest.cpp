// A long batch over good and bad pictures of every listed format, with the
// output folder turning unwritable half-way: the batch goes on to its end.
#include "Bmp.h"
#include "AppTestSupport.h"
#include "FormMain.h"
#include "Jpeg.h"
#include "OrvelFileListBox.h"
#include "OrvelTPU.h"
#include "Platform.h"
#include "QtTestSupport.h"
#include "TestPictures.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <memory>
#include <random>
#include <set>

namespace quorix {

class SoakTest : public QObject {
    Q_OBJECT

    std::unique_ptr<test::TTempHome> FHome;
    std::unique_ptr<test::TMessageLog> FMessages;
    std::set<QString> FBad;           // every bad picture's name
    std::set<QString> FUnreadable;    // refused by permission (not when running as root)

    QString Pics() const { return FHome->Path("soak/"); }

    void WriteBytes(const QString& name, const std::vector<uint8_t>& bytes) {
        test::WriteFileBytes(S(Pics() + name), bytes);
    }
    // 300 pictures; every tenth one is bad in one of four ways.
    void MakePictures() {
        QDir().mkpath(Pics());
        const char* const extensions[] = {"jpg", "jpeg", "png", "gif", "bmp"};
        std::mt19937 random(7);
        for (int i = 0; i < 300; ++i) {
            const QString name = QString("p%1.%2").arg(i, 3, 10, QChar('0')).arg(extensions[i % 5]);
            const std::string path = S(Pics() + name);
            const int w = 24 + i % 17, h = 16 + i % 11;
            TBitmap picture = test::MakeNoise(w, h, static_cast<uint32_t>(i));
            if (i % 5 <= 1) {
                test::WriteJpeg(path, picture, 80);
            } else if (i % 5 == 2) {
                test::TPngLayout png;
                png.Width = w;
                png.Height = h;
                for (int y = 0; y < h; ++y) png.Rows.insert(png.Rows.end(), picture.ScanLine(y), picture.ScanLine(y) + w * 3);
                test::WritePng(path, png);
            } else if (i % 5 == 3) {
                test::TGifLayout gif;
                gif.ScreenWidth = gif.Width = w;
                gif.ScreenHeight = gif.Height = h;
                gif.GlobalRgb = {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};
                for (int p = 0; p < w * h; ++p) gif.Indices.push_back(static_cast<uint8_t>(random() % 4));
                test::WriteGif(path, gif);
            } else {
                TBmpImage bmp;
                bmp.Assign(picture);
                bmp.SaveToFile(path);
            }
            if (i % 10 != 9) continue;
            FBad.insert(name);
            std::vector<uint8_t> bytes = test::ReadFileBytes(path);
            switch ((i / 10) % 4) {
            case 0: bytes.resize(bytes.size() / 2); break;  // truncated
            case 1:                                         // corrupt after the first bytes
                for (size_t b = 8; b < bytes.size(); ++b) bytes[b] = static_cast<uint8_t>(random());
                break;
            case 2: bytes = test::JpegAnnouncing(30000, 30000, true); break;  // beyond the limit
            case 3:
                if (geteuid() != 0) FUnreadable.insert(name);
                else FBad.erase(name);  // root reads everything: a good picture then
                break;
            }
            test::WriteFileBytes(path, bytes);
            if ((i / 10) % 4 == 3) QFile::setPermissions(Pics() + name, {});
        }
    }
    // Unwritable: read-only for a user; root writes anywhere, so there the
    // folder is moved away and a file takes its name.
    void SpoilOutput() {
        const QString output = Pics() + "Output";
        if (geteuid() != 0) {
            QFile::setPermissions(output, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
            return;
        }
        QDir().rename(output, output + ".before");
        QFile blocker(output);
        blocker.open(QIODevice::WriteOnly);
    }
    QString WrittenFolder() const {
        return geteuid() != 0 ? Pics() + "Output/" : Pics() + "Output.before/";
    }

private slots:
    void init() {
        test::NoNetwork();
        FHome = std::make_unique<test::TTempHome>();
        FMessages = std::make_unique<test::TMessageLog>();
        MakePictures();
    }
    void cleanup() {
        QFile::setPermissions(Pics() + "Output", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        for (const QString& name : FUnreadable) QFile::setPermissions(Pics() + name, QFileDevice::ReadOwner);
        FMessages.reset();
        FHome.reset();
    }

    void BatchSurvivesBadPicturesAndAnUnwritableOutput_data() {
        QTest::addColumn<int>("workers");
        QTest::newRow("1") << 1;
        QTest::newRow("3") << 3;
    }
    void BatchSurvivesBadPicturesAndAnUnwritableOutput() {
        QFETCH(int, workers);
        auto started = test::StartedForm();
        TMainForm& form = *started;
        form.edtPath->setText(Pics());
        QCOMPARE(form.FileList->count(), 300);
        form.FileList->SelectAllItems();
        int ticks = 0;
        qint64 longest = 0, last = 0;
        QElapsedTimer clock;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&] {
            ++ticks;
            longest = std::max(longest, clock.elapsed() - last);
            last = clock.elapsed();
        });
        clock.start();
        timer.start(0);
        bool spoiled = false;
        connect(form.FileList, &TOrvelFileList::ChangeEx, [&](int current, int) {
            if (current == 150 && !spoiled) {
                spoiled = true;
                SpoilOutput();
            }
        });
        form.BatchWorkers = workers;
        form.actStartExecute();
        QVERIFY(test::Settle(form));
        timer.stop();

        QVERIFY(spoiled);
        QVERIFY(form.StatusText().startsWith("Batch job done in "));
        // Messages are handled between pictures: a loop that froze for the batch would show one long gap.
        const qint64 total = clock.elapsed();
        QVERIFY2(ticks > 1 && longest * 2 < total,
                 qPrintable(QString("%1 ticks, longest gap %2 ms of %3 ms").arg(ticks).arg(longest).arg(total)));
        const QStringList log = form.LogText().split('\n');
        const QString written = WrittenFolder();
        int good = 0, failedSaves = 0;
        for (int i = 0; i < 300; ++i) {
            const QString name = form.FileList->item(i)->text();
            const QString source = Pics() + name;
            const QString output = Q(NameWithoutExtension(S(name))) + ".jpg";
            if (FBad.count(name)) {
                const bool reported = std::any_of(log.begin(), log.end(), [&](const QString& line) {
                    return line.startsWith("ERROR!") && line.contains(source);
                });
                QVERIFY2(reported, qPrintable("no error line for " + name));
                QVERIFY(!QFile::exists(written + output));
                continue;
            }
            const bool saved = log.contains("File resized and saved as: " + Pics() + "Output/" + output);
            const bool failed = log.contains("Cannot save file as: " + Pics() + "Output/" + output);
            // The list shows a picture once it is written; the pictures in
            // flight beside it at that moment may be written before the
            // folder is spoiled, or not.
            const bool either = i > 150 && i <= 150 + workers;
            QVERIFY2(saved != failed && (either || saved == (i <= 150)), qPrintable(name));
            good += saved;
            failedSaves += failed;
        }
        QVERIFY(good > 120 && failedSaves > 120);
        QCOMPARE(static_cast<int>(FMessages->Messages.size()), 1);  // one error box for the batch, a line per failure
        // Every output file is a whole JPEG; no temporary file is left behind.
        const QStringList files = QDir(written).entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(files.size(), good);
        for (const QString& file : files) {
            QVERIFY2(file.endsWith(".jpg"), qPrintable(file));
            const std::vector<uint8_t> bytes = test::ReadFileBytes(S(written + file));
            QVERIFY(bytes.size() > 4 && bytes[bytes.size() - 2] == 0xFF && bytes.back() == 0xD9);
            TJPEGImage jpeg;
            jpeg.LoadFromBytes(bytes);
            QVERIFY(jpeg.Bitmap().Width() > 0);
        }
    }
};

}  // namespace quorix

QUORIX_QT_TEST_MAIN(quorix::SoakTest)
#include "SoakTest.moc"
