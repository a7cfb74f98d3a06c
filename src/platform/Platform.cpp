#include "Platform.h"

#include "OrvelMessages.h"

#include <QApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QMessageBox>
#include <QGuiApplication>
#include <QSpacerItem>
#include <QFontMetrics>
#include <QGridLayout>
#include <QUrl>
#include <QProcess>
#include <QFileInfo>

#ifndef QUORIX_VERSION
#define QUORIX_VERSION ""
#endif

namespace quorix {

namespace {

int& Beeps() {
    static int beeps = 0;
    return beeps;
}

std::function<uint32_t()>& TickSource() {
    static std::function<uint32_t()> source;
    return source;
}

TShellOpenHandler& ShellHandler() {
    static TShellOpenHandler handler;
    return handler;
}

QString TitleOf(TMessageKind kind) {
    switch (kind) {
    case TMessageKind::Error: return "Error";
    case TMessageKind::Warning: return "Warning";
    case TMessageKind::Information: return "Information";
    case TMessageKind::Plain: break;
    }
    return QApplication::applicationName();
}

QMessageBox::Icon IconOf(TMessageKind kind) {
    switch (kind) {
    case TMessageKind::Error: return QMessageBox::Critical;
    case TMessageKind::Warning: return QMessageBox::Warning;
    case TMessageKind::Information: return QMessageBox::Information;
    case TMessageKind::Plain: break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

// The program's texts break lines with CR LF; the dialogs want LF.
QString DialogText(const std::string& text) {
    QString shown = Q(text);
    shown.replace("\r\n", "\n").replace('\r', '\n');
    return shown;
}

// A box at least as wide as its whole title ("Warning — Quorix Image
// Resizer") with the title bar's buttons: a narrow box had it cut off.
void FitTitle(QMessageBox& box) {
    QString title = box.windowTitle();
    if (!QGuiApplication::applicationDisplayName().isEmpty()) title += " — " + QGuiApplication::applicationDisplayName();
    QFont font = box.font();
    font.setBold(true);
    const int width = QFontMetrics(font).horizontalAdvance(title) + 160;
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                      grid->columnCount());
}

void InstallDialogSinks() {
    SetMessageSink([](TMessageKind kind, const std::string& text) {
        QMessageBox box(IconOf(kind), TitleOf(kind), DialogText(text), QMessageBox::Ok, QApplication::activeWindow());
        FitTitle(box);
        box.exec();
    });
    SetQuestionSink([](const std::string& caption, const std::string& text) {
        QMessageBox box(QMessageBox::Question, Q(caption), DialogText(text), QMessageBox::Yes | QMessageBox::No,
                        QApplication::activeWindow());
        box.setDefaultButton(QMessageBox::No);
        FitTitle(box);
        return box.exec() == QMessageBox::Yes;
    });
}

void ShowBusyCursor() {
    QApplication::setOverrideCursor(Qt::BusyCursor);  // the window still answers meanwhile
}

void RestoreCursor() {
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
}

void BeepDone() {
    ++Beeps();
    QApplication::beep();
}

void MessageBeepExclamation() {
    ++Beeps();
    QApplication::beep();
}

int BeepCount() { return Beeps(); }

std::function<QDateTime()>& NowSource() {
    static std::function<QDateTime()> source;
    return source;
}

QDateTime Now() { return NowSource() ? NowSource()() : QDateTime::currentDateTime(); }

void SetNowSource(std::function<QDateTime()> source) { NowSource() = std::move(source); }

double DateTimeValue(const QDateTime& moment) {
    if (!moment.isValid()) return 0;
    static const QDate epoch(1899, 12, 30);
    return static_cast<double>(epoch.daysTo(moment.date())) + moment.time().msecsSinceStartOfDay() / 86400000.0;
}

uint32_t TickCount() {
    if (TickSource()) return TickSource()();
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return static_cast<uint32_t>(clock.elapsed());
}

void SetTickSource(std::function<uint32_t()> source) { TickSource() = std::move(source); }

int RecycleFile(bool allowUndo, bool askFirst, const std::string& path) {
    if (askFirst && !AskYesNo("Confirmation", "Are you sure you want to delete this file?\r\n" + path)) return 0;
    QFile file(Q(path));
    if (allowUndo ? file.moveToTrash() : file.remove()) return 0;
    return file.error() == QFileDevice::NoError ? 1 : static_cast<int>(file.error());
}

bool ShellOpen(const std::string& target) {
    if (ShellHandler()) return ShellHandler()(target);
    QUrl url = QUrl::fromUserInput(Q(target));
    return QDesktopServices::openUrl(url);
}

void SetShellOpenHandler(TShellOpenHandler handler) { ShellHandler() = std::move(handler); }

bool ShellExecuteFile(const std::string& file, const std::string& parameters) {
    const QFileInfo info(Q(file));
    if (!info.isFile()) return false;
    if (info.isExecutable()) return QProcess::startDetached(info.absoluteFilePath(), QProcess::splitCommand(Q(parameters)));
    return ShellOpen(file);
}

QIcon AppIcon() {
    static const QIcon icon(":/icons/quorix-image-resizer.svg");
    return icon;
}

std::string GetAppVersion() {
    std::string version = QUORIX_VERSION;
    return version.empty() ? "Cannot obtain version info!" : version;
}

TNumberFormat LocaleNumberFormat() {
    QLocale locale = QLocale::system();
    TNumberFormat format;
    format.ThousandSeparator = locale.groupSeparator().isEmpty() ? U',' : locale.groupSeparator().toUcs4().value(0);
    format.DecimalSeparator = locale.decimalPoint().isEmpty() ? U'.' : locale.decimalPoint().toUcs4().value(0);
    return format;
}

char LocaleDecimalSeparator() {
    QString point = QLocale::system().decimalPoint();
    return point.size() == 1 && point[0].unicode() < 128 ? static_cast<char>(point[0].unicode()) : '.';
}

}  // namespace quorix
