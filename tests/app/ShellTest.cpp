#include "Graphic.h"
#include "DesktopEntries.h"
#include "AppTestSupport.h"
#include "AppHints.h"
#include "OrvelFileListBox.h"
#include "FormMain.h"
#include "OrvelTPU.h"
#include "Platform.h"
#include "QtTestSupport.h"

#include <QEnterEvent>
#include <QFile>
#include <QProcess>
#include <QLineEdit>
#include <QToolTip>

#include <memory>

namespace quorix {

class ShellTest : public QObject {
    Q_OBJECT

    std::unique_ptr<test::TTempHome> FHome;
    std::unique_ptr<test::TMessageLog> FMessages;
    std::vector<std::string> FOpened;

    std::unique_ptr<TMainForm> Form() { return test::StartedForm(); }
    QString Shortcut() const { return FHome->Path("Desktop/Quorix Image Resizer.desktop"); }
    QString Autostart() const {
        return FHome->Path(".config/autostart/") + QFileInfo(QCoreApplication::applicationFilePath()).fileName() +
               ".desktop";
    }
    static QString Read(const QString& path) {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        return QString::fromUtf8(f.readAll());
    }
    static void Hover(QWidget* widget) {
        QEnterEvent event(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
        QApplication::sendEvent(widget, &event);
    }

private slots:
    void init() {
        test::NoNetwork();
        FHome = std::make_unique<test::TTempHome>();
        FMessages = std::make_unique<test::TMessageLog>();
        FOpened.clear();
        SetShellOpenHandler([this](const std::string& target) {
            FOpened.push_back(target);
            return false;
        });
    }
    void cleanup() {
        SetShellOpenHandler({});
        TNotifyIcon::SetTrayAvailableOverride(-1);
        FMessages.reset();
        FHome.reset();
    }

    void AutostartEntry() {
        auto form = Form();
        QVERIFY(!QFile::exists(Autostart()));
        form->chkAutoStartUp->click();
        QVERIFY(Read(Autostart()).contains("Exec=\"" + QCoreApplication::applicationFilePath() + "\"\n"));
        form->chkAutoStartUp->click();
        QVERIFY(!QFile::exists(Autostart()));
        SetStartWithWindows(false);  // nothing to remove: silent
        QVERIFY(FMessages->Messages.empty());
    }

    void StoredAutostartIsWrittenAgainAtStart() {
        QDir().mkpath(FHome->Path(".config/Quorix Image Resizer"));
        QFile ini(FHome->Path(".config/Quorix Image Resizer/Quorix Image Resizer.ini"));
        ini.open(QIODevice::WriteOnly);
        ini.write("[Settings]\nchkAutoStartUp=1\n");
        ini.close();
        auto form = Form();
        QVERIFY(QFile::exists(Autostart()));
    }

    void DesktopShortcutOnFirstStartOnly() {
        {
            auto form = Form();
            QVERIFY(FirstRun);
            QVERIFY(QFile::exists(Shortcut()));
        }
        QFile::remove(Shortcut());
        auto form = Form();
        QVERIFY(!FirstRun);
        QVERIFY(!QFile::exists(Shortcut()));
        form->btnDesktopShortcut->click();
        QFile(Shortcut()).open(QIODevice::Append);  // a second press replaces whatever is there
        form->btnDesktopShortcut->click();
        QCOMPARE(QDir(FHome->Path("Desktop")).entryList({"*.desktop"}).size(), 1);
        QVERIFY(QFileInfo(Shortcut()).isExecutable());
        const QString text = Read(Shortcut());
        QVERIFY(text.contains("Exec=\"" + QCoreApplication::applicationFilePath() + "\" %F\n"));  // files dropped on it open
        QVERIFY(text.contains("Icon=quorix-image-resizer\n"));
        QProcess validate;
        validate.start("desktop-file-validate", {Shortcut()});
        QVERIFY(validate.waitForFinished(10000));
        QCOMPARE(QString::fromUtf8(validate.readAllStandardOutput() + validate.readAllStandardError()), QString());
        QCOMPARE(validate.exitCode(), 0);
    }

    void DesktopEntryQuotesItsPath() {
        const std::string text = DesktopEntryText("Q", "/opt/my apps/say \"hi\"$", "/opt/my apps/", PictureMimeTypes());
        QVERIFY(Q(text).contains(R"(Exec="/opt/my apps/say \\"hi\\"\\$")"));
    }

    void HintModes() {
        auto form = Form();
        form->radHintsStatBar->setChecked(true);
        form->SetStatusText("Ready...");
        QCOMPARE(form->StatusText(), QString("Ready..."));  // the mode shows with the next hint change
        Hover(form->btnBrowse);
        QCOMPARE(form->StatusText(), QString("Locate the folder that contains the pictures you want to process"));
        QVERIFY(form->AppHints->ShowHint);
        Hover(form->Panel1);
        QCOMPARE(form->StatusText(), QString());
        form->radHintsOff->setChecked(true);
        form->SetStatusText("Working...");
        Hover(form->btnBrowse);
        QCOMPARE(form->StatusText(), QString("Working..."));
        QVERIFY(!form->AppHints->ShowHint);
        QHelpEvent tip(QEvent::ToolTip, QPoint(1, 1), form->btnBrowse->mapToGlobal(QPoint(1, 1)));
        QApplication::sendEvent(form->btnBrowse, &tip);
        QVERIFY(!QToolTip::isVisible());
        form->radHintsTooltips->setChecked(true);
        Hover(form->btnStart);
        QCOMPARE(form->StatusText(), QString("Working..."));
        QVERIFY(form->AppHints->ShowHint);
        QApplication::sendEvent(form->btnBrowse, &tip);
        QTRY_VERIFY(QToolTip::isVisible());
        QCOMPARE(QToolTip::text(), QString("Locate the folder that contains the pictures you want to process"));
        form->spnHideHint->setValue(5000);
        QCOMPARE(form->AppHints->HintHidePause, 5000);
    }

    // Over an inner part of a control (a list item, a spin edit's text) the
    // status bar shows the control's hint; a lone CR breaks no line.
    void HintsOfInnerPartsAndTheirLines() {
        auto form = Form();
        form->radHintsStatBar->setChecked(true);
        Hover(form->FileList->viewport());
        QCOMPARE(form->StatusText(), QString("Press the \"Delete\" key to delete the selected file from disk."));
        QWidget* text = form->spnWidth->findChild<QLineEdit*>();
        QVERIFY(text);
        Hover(text);
        QCOMPARE(form->StatusText(), QString("Output width (in pixels)"));
        QCOMPARE(TApplicationHints::HintLines(form->btnStart->toolTip()).count('\n'), 3);  // four lines
    }

    void Opacity() {
        auto form = Form();
        form->spnOpacity->setValue(50);
        QCOMPARE(form->spnOpacity->value(), 100);
        QVERIFY(qAbs(form->windowOpacity() - 100 / 255.0) < 0.01);
        form->spnOpacity->setValue(255);
        QCOMPARE(form->windowOpacity(), 1.0);
        // Typed: the value counts when typing is done, not at its first digit.
        form->show();
        form->spnOpacity->setFocus();
        form->spnOpacity->selectAll();
        QTest::keyClicks(form->spnOpacity, "200");
        QCOMPARE(form->spnOpacity->value(), 255);  // while typing "2" and "20", nothing snaps
        form->spnOpacity->clearFocus();
        QCOMPARE(form->spnOpacity->value(), 200);
    }

    void TrayPaths() {
        TNotifyIcon::SetTrayAvailableOverride(1);
        auto form = Form();
        QVERIFY(form->chkTrayIcon->isChecked());
        QVERIFY(form->TrayIcon->MinimizeToTray);
        form->showMinimized();
        QCoreApplication::processEvents();
        QVERIFY(form->TrayIcon->IconVisible());
        QVERIFY(!form->isVisible());
        form->TrayIcon->MouseMessage(TTrayMouse::LeftDown);
        form->TrayIcon->MouseMessage(TTrayMouse::LeftUp);
        QVERIFY(!form->TrayIcon->IconVisible());
        QVERIFY(form->isVisible() && !form->isMinimized());
        form->showMinimized();
        QCoreApplication::processEvents();
        QVERIFY(form->TrayIcon->IconVisible());
        form->mnuExit->trigger();  // Exit from the icon's menu
        QVERIFY(!form->TrayIcon->IconVisible());
        QVERIFY(!form->isVisible());
        QVERIFY(SettingsSaved);
        form->chkTrayIcon->click();
        QVERIFY(!form->TrayIcon->MinimizeToTray);
    }

    void WebPages() {
        auto form = Form();
        form->mnuOnlineHelp->trigger();
        form->btnManual->click();
        form->mnuProgramPage->trigger();
        form->mnuCompanyPage->trigger();
        QVERIFY(FMessages->Messages.empty());
        form->btnSupport->click();
        QCOMPARE(FOpened, (std::vector<std::string>{"https://quorix.example/manual/", "https://quorix.example/manual/",
                                                    "https://quorix.example/", "https://quorix.example/software/",
                                                    "https://quorix.example/support/"}));
        QCOMPARE(FMessages->Messages.size(), size_t(1));  // shown though no browser opened
        QVERIFY(FMessages->Messages[0].second.rfind("Please create your own account on our forum", 0) == 0);
        QCOMPARE(form->inetHomePage->Link(), QString("https://quorix.example/"));
        QVERIFY(form->inetHomePage->Underlined());
    }
};

}  // namespace quorix

QUORIX_QT_TEST_MAIN(quorix::ShellTest)
#include "ShellTest.moc"
