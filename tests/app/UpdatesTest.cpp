#include "AppTestSupport.h"
#include "FormMain.h"
#include "OrvelTPU.h"
#include "Platform.h"
#include "QtTestSupport.h"
#include "TestHttpServer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <memory>

namespace quorix {

class UpdatesTest : public QObject {
    Q_OBJECT

    std::unique_ptr<test::TTempHome> FHome;
    std::unique_ptr<test::TMessageLog> FMessages;
    std::unique_ptr<QTemporaryDir> FTemp;
    int FChecks = 0;
    const QDateTime FNow = QDateTime(QDate(2026, 12, 9), QTime(12, 0));

    void WriteIni(const QString& text) {
        QDir().mkpath(FHome->Path(".config/Quorix Image Resizer"));
        QFile f(FHome->Path(".config/Quorix Image Resizer/Quorix Image Resizer.ini"));
        f.open(QIODevice::WriteOnly);
        f.write(text.toUtf8());
    }
    std::unique_ptr<TMainForm> Form() { return test::StartedForm(); }
    static QString Updates() { return Q(AppFolder()) + "Updates/"; }
    static std::string Meta(const std::string& name, const std::string& content) {
        return "<META NAME=\"" + name + "\" CONTENT=\"" + content + "\">\n";
    }
    // Points the window's checker at a local server offering version 9.0.
    static void Offer(TMainForm& form, test::TTestHttpServer& server, const std::string& version) {
        server.Route("/info", test::TTestHttpServer::Answer(
                                  Meta("OrvelProduct", "Quorix") + Meta("OrvelVersion", version) +
                                  Meta("OrvelDownload", server.Url("/q.bin")) + Meta("OrvelClientSideName", "q.bin")));
        server.Route("/q.bin", test::TTestHttpServer::Answer("binary"));
        form.WebUpdater.Transport = HttpTransfer;
        form.WebUpdater.ProductInfo.SetURL(server.Url("/info"));
    }

private slots:
    void init() {
        FHome = std::make_unique<test::TTempHome>();
        FMessages = std::make_unique<test::TMessageLog>();
        FTemp = std::make_unique<QTemporaryDir>();
        qputenv("TMPDIR", FTemp->path().toLocal8Bit());
        FChecks = 0;
        // No test reaches the network: the start-up check gets a transport that fails.
        SetDefaultHttpTransport([this](const THttpRequest&, const THttpSink&) {
            ++FChecks;
            return THttpOutcome::Failed;
        });
        SetNowSource([this] { return FNow; });
        QDir(Updates()).removeRecursively();
    }
    void cleanup() {
        SetDefaultHttpTransport({});
        SetNowSource({});
        QDir(Updates()).removeRecursively();
        qunsetenv("TMPDIR");
        FTemp.reset();
        FMessages.reset();
        FHome.reset();
    }

    void FirstStartChecks() {
        auto form = Form();
        QCOMPARE(FChecks, 1);
        QCOMPARE(form->LastUpdateCheck, FNow);
        // The start's own check failing says nothing; one asked for from the menu says why.
        QVERIFY2(!form->StatusText().contains("update"), qPrintable(form->StatusText()));
        form->mnuUpdatesClick();
        QCOMPARE(FChecks, 2);
        QCOMPARE(form->StatusText(), QString("Cannot search for updates. Please check your firewall settings or visit "
                                             "our web site to check for updates."));
        QCOMPARE(form->WebUpdater.ProductInfo.CurVersion, std::string("1.0.0.0"));
        QCOMPARE(form->WebUpdater.TagInfo.Version, std::string("OrvelVersion"));
    }

    void NoAutomaticCheckWithZeroDays() {
        WriteIni("[Updates]\nspnAutoUpdate=0\nLastCheck=0\n");
        auto form = Form();
        QCOMPARE(FChecks, 0);
        // No check said anything: the status bar holds the advisor's start-up hint.
        QCOMPARE(form->StatusText(), QString("Please select an image then drag the trackbar."));
        form->mnuUpdates->trigger();
        QCOMPARE(FChecks, 1);
        QCOMPARE(form->LastUpdateCheck, FNow);
    }

    void Schedule_data() {
        QTest::addColumn<double>("daysAgo");
        QTest::addColumn<int>("interval");
        QTest::addColumn<bool>("due");
        QTest::newRow("3.9 of 4 days") << 3.9 << 4 << false;
        QTest::newRow("4 of 4 days") << 4.0 << 4 << true;
        QTest::newRow("10 of 4 days") << 10.0 << 4 << true;
        QTest::newRow("a year, never") << 365.0 << 0 << false;
    }
    void Schedule() {
        QFETCH(double, daysAgo);
        QFETCH(int, interval);
        QFETCH(bool, due);
        WriteIni("[Updates]\nspnAutoUpdate=0\n");
        auto form = Form();
        form->spnAutoUpdate->setValue(interval);
        const QDateTime last = FNow.addMSecs(-static_cast<qint64>(daysAgo * 86400000.0));
        form->LastUpdateCheck = last;
        form->SetStatusText("Ready...");
        form->CheckForUpdates(false);
        QCOMPARE(FChecks, due ? 1 : 0);
        QCOMPARE(form->LastUpdateCheck, due ? FNow : last);
        QCOMPARE(form->StatusText(), QString("Ready..."));  // a check nobody asked for fails quietly
    }

    void StatusTextsOfTheOutcomes() {
        WriteIni("[Updates]\nspnAutoUpdate=0\n");
        auto form = Form();
        test::TTestHttpServer server;
        Offer(*form, server, "1.0.0.0");
        form->CheckForUpdates(true);
        QCOMPARE(form->StatusText(), QString("Updating: no updates available at this time."));
        Offer(*form, server, "9.0");
        form->CheckForUpdates(true);
        QCOMPARE(form->StatusText(), QString("A new version was found: 9.0   |   Your current version is: 1.0.0.0"));
        const std::string question = "Update has been downloaded to \r\n     " + S(Updates()) +
                                     "\r\nDon't forget to close this program, before running the update!\r\n\r\n"
                                     "Do you want to open this folder for you?";
        QCOMPARE(FMessages->Questions, std::vector<std::string>{question});
        // Downloaded into a folder of its own, then copied into Updates/.
        const QStringList folders = QDir(FTemp->path()).entryList({"quorix-update-*"}, QDir::Dirs);
        QCOMPARE(folders.size(), 1);
        QVERIFY(QFile::exists(FTemp->path() + "/" + folders[0] + "/q.bin"));
        QVERIFY(QFile::exists(Updates() + "q.bin"));
    }

    // While the server is silent the window's own timers keep running; closing
    // the window ends the check without waiting for the server.
    void ASilentServerDoesNotFreezeTheWindow() {
        WriteIni("[Updates]\nspnAutoUpdate=0\n");
        auto form = Form();
        test::TTestHttpServer server;
        Offer(*form, server, "9.0");
        server.Route("/info", test::TTestHttpServer::Answer("late"), test::TTestHttpServer::HoldBody);
        QElapsedTimer clock;
        clock.start();
        qint64 last = 0, longest = 0;
        int ticks = 0;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            longest = std::max(longest, clock.elapsed() - last);
            last = clock.elapsed();
            if (++ticks == 60) form->close();
        });
        timer.start(10);
        form->CheckForUpdates(true);
        QCOMPARE(ticks, 60);
        QCOMPARE(server.HeldBodiesSent(), 0);  // closing did not wait for the server
        QVERIFY(!form->WebUpdater.Active());
        // A window frozen for the wait would show one gap of most of it.
        QVERIFY2(longest * 2 < clock.elapsed(), qPrintable(QString("longest gap %1 ms of %2 ms").arg(longest).arg(clock.elapsed())));
        server.Release();
    }

    void SecondDownloadGoesStraightIntoUpdates() {
        WriteIni("[Updates]\nspnAutoUpdate=0\n");
        auto form = Form();
        test::TTestHttpServer server;
        Offer(*form, server, "9.0");
        QFile stale(FTemp->path() + "/q.bin");
        stale.open(QIODevice::WriteOnly);
        stale.write("stale");
        stale.close();
        std::string opened;
        SetShellOpenHandler([&](const std::string& target) { opened = target; return true; });
        FMessages->Answer = true;
        form->CheckForUpdates(true);
        SetShellOpenHandler({});
        QFile copy(Updates() + "q.bin");
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), QByteArray("binary"));
        QFile temp(FTemp->path() + "/q.bin");
        QVERIFY2(temp.open(QIODevice::ReadOnly), qPrintable(temp.errorString() + " " + FTemp->path()));
        QCOMPARE(temp.readAll(), QByteArray("stale"));  // the temporary file is left alone
        QCOMPARE(Q(opened), Updates());
    }
};

}  // namespace quorix

QUORIX_QT_TEST_MAIN(quorix::UpdatesTest)
#include "UpdatesTest.moc"
