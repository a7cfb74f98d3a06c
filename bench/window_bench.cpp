// The window's batch against quorix-resize on the same pictures, and the
// longest time the user-interface thread went without handling events: during
// the batch, while the advisor page opens on a big picture, and while its
// quality slider is dragged.
//
//   build/bench/window_bench build/quorix-resize [PICTURES] [--slider-only | --batch-only]
//
// Runs offscreen unless QT_QPA_PLATFORM says otherwise.
#include "FormMain.h"
#include "OrvelFileListBox.h"
#include "OrvelTPU.h"
#include "Jpeg.h"
#include "PhotoLike.h"
#include "Platform.h"
#include "WebUpdate.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>

using namespace quorix;

namespace {

// The longest gap between two turns of the event loop while it watches.
class TStallMonitor {
public:
    TStallMonitor() {
        FTimer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&FTimer, &QTimer::timeout, [this] { FLongest = std::max(FLongest, FGap.restart()); });
    }
    void Start() {
        FLongest = 0;
        FGap.start();
        FTimer.start(1);
    }
    qint64 Stop() {
        FTimer.stop();
        return std::max(FLongest, FGap.elapsed());
    }

private:
    QTimer FTimer;
    QElapsedTimer FGap;
    qint64 FLongest = 0;
};

void RunEventsUntil(const std::function<bool()>& done) {
    while (!done()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(200);
    }
}

void WritePictures(const QString& folder, int count) {
    QDir().mkpath(folder);
    for (int i = 0; i < count; ++i) {
        TJPEGImage jpeg;
        jpeg.CompressionQuality = 90;
        jpeg.Assign(bench::MakePhotoLike(4000, 3000, static_cast<uint32_t>(i + 1)));
        jpeg.SaveToFile(S(folder + QString("/photo%1.jpg").arg(i, 3, 10, QChar('0'))));
    }
}

double CliSeconds(const QString& cli, const QString& folder) {
    QStringList files;
    for (const QString& name : QDir(folder).entryList({"*.jpg"}, QDir::Files)) files << folder + "/" + name;
    QDir(folder + "/Output").removeRecursively();
    QElapsedTimer clock;
    clock.start();
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(cli, files);
    process.waitForFinished(-1);
    return clock.elapsed() / 1000.0;
}

struct TWindowRun {
    double Seconds;
    qint64 Stall;
};

TWindowRun WindowBatch(TMainForm& form, const QString& folder) {
    QDir(folder + "/Output").removeRecursively();
    form.edtPath->setText(folder);
    form.actSellAllExecute();
    RunEventsUntil([&] { return !form.Busy(); });
    TStallMonitor monitor;
    QElapsedTimer clock;
    monitor.Start();
    clock.start();
    form.actStartExecute();
    RunEventsUntil([&] { return !form.JobRunning(); });
    const double seconds = clock.elapsed() / 1000.0;
    return {seconds, monitor.Stop()};
}

// Opens the advisor on an 81-megapixel picture, then drags the slider from
// 70 down to 30, a step every 20 ms, and waits for the last step's result.
void SliderOnABigPicture(TMainForm& form, const QString& folder) {
    std::printf("writing an 81-megapixel picture...\n");
    QDir().mkpath(folder);
    {
        TJPEGImage jpeg;
        jpeg.CompressionQuality = 90;
        jpeg.Assign(bench::MakePhotoLike(11040, 7360, 99));
        jpeg.SaveToFile(S(folder + "/big.jpg"));
    }
    form.edtPath->setText(folder);
    form.FileList->SetCurrentName("big.jpg");
    form.FileList->SelectItem(form.FileList->ItemIndex());
    RunEventsUntil([&] { return !form.Busy(); });

    TStallMonitor monitor;
    QElapsedTimer clock;
    monitor.Start();
    clock.start();
    form.PageControl->setCurrentWidget(form.tabQuality);
    RunEventsUntil([&] { return !form.Busy(); });
    std::printf("advisor page on 81 MP: result after %lld ms, longest stall %lld ms\n", clock.elapsed(), monitor.Stop());

    int position = 70;
    QTimer drag;
    QObject::connect(&drag, &QTimer::timeout, [&] {
        form.trkQuality->setValue(--position);
        if (position == 30) drag.stop();
    });
    monitor.Start();
    drag.start(20);
    RunEventsUntil([&] { return position == 30; });
    clock.start();
    RunEventsUntil([&] { return !form.Busy(); });
    std::printf("slider dragged 70 -> 30 in 40 steps: last result %lld ms after the last step, longest stall %lld ms\n",
                clock.elapsed(), monitor.Stop());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: window_bench QUORIX-RESIZE [PICTURES] [--slider-only | --batch-only]\n");
        return 2;
    }
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toLocal8Bit());
    QApplication application(argc, argv);
    SetDefaultHttpTransport([](const THttpRequest&, const THttpSink&) { return THttpOutcome::Failed; });
    const QString cli = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    const int count = argc > 2 && argv[2][0] != '-' ? std::atoi(argv[2]) : 40;
    const bool sliderOnly = std::strcmp(argv[argc - 1], "--slider-only") == 0;
    const bool batchOnly = std::strcmp(argv[argc - 1], "--batch-only") == 0;

    TMainForm form;
    form.LateInitialize();
    form.resize(1000, 700);
    form.show();
    if (!sliderOnly) {
        const QString folder = home.path() + "/pics";
        std::printf("writing %d pictures of 4000x3000...\n", count);
        WritePictures(folder, count);
        // Taken in turns, so that the machine's drift touches both alike.
        double cliSeconds = 1e9;
        TWindowRun best{1e9, 0};
        qint64 worstStall = 0;
        for (int run = 0; run < 3; ++run) {
            cliSeconds = std::min(cliSeconds, CliSeconds(cli, folder));
            const TWindowRun window = WindowBatch(form, folder);
            best.Seconds = std::min(best.Seconds, window.Seconds);
            worstStall = std::max(worstStall, window.Stall);
        }
        std::printf("%d pictures 12 MP, halved: quorix-resize %.2f s, window %.2f s (%.2f x), "
                    "longest stall in the window's batches %lld ms\n",
                    count, cliSeconds, best.Seconds, best.Seconds / cliSeconds, worstStall);
    }
    if (!batchOnly) SliderOnABigPicture(form, home.path() + "/big");
    return 0;
}
