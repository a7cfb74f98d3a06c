#include "DesktopEntries.h"

#include "OrvelTPU.h"
#include "Platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

namespace quorix {

const char* const AppIconName = "quorix-image-resizer";

namespace {

std::string ExecutablePath() {
    return AppFolder() + ExtractFileName(S(QCoreApplication::applicationFilePath()));
}

// A value of the Exec key: the path quoted, with the characters the
// desktop entry format reserves inside quotes escaped.
std::string QuotedExec(const std::string& path) {
    std::string quoted = "\"";
    for (char c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        quoted += c;
    }
    std::string escaped;  // the key file format escapes backslashes once more
    for (char c : quoted + "\"") escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return escaped;
}

bool WriteEntry(const QString& path, const std::string& text, bool executable) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write(QByteArray::fromStdString(text));
    if (!file.commit()) return false;
    if (executable)
        QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner | QFileDevice::ExeUser);
    return true;
}

// The shortcut's icon must be found through the theme even when the program
// was not installed: a copy of the program's own icon goes into the user's theme.
void EnsureUserIcon() {
    const QString name = QString(AppIconName) + ".svg";
    if (!QStandardPaths::locate(QStandardPaths::GenericDataLocation, "icons/hicolor/scalable/apps/" + name).isEmpty())
        return;
    const QString folder =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/icons/hicolor/scalable/apps/";
    QDir().mkpath(folder);
    QFile::copy(":/icons/" + name, folder + name);
    QFile::setPermissions(folder + name, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                                             QFileDevice::ReadOther);
}

}  // namespace

std::string DesktopEntryText(const std::string& name, const std::string& executable, const std::string& folder,
                             const std::vector<std::string>& mimeTypes) {
    std::string types;
    for (const std::string& type : mimeTypes) types += type + ";";
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Version=1.0\n"
           "Name=" + name + "\n"
           "Comment=Resize pictures in batches and save them as JPEG\n"
           "Exec=" + QuotedExec(executable) + " %F\n"
           "Path=" + folder + "\n"
           "MimeType=" + types + "\n"
           "Icon=" + AppIconName + "\n"
           "Terminal=false\n"
           "Categories=Graphics;Photography;\n";
}

void SetStartWithWindows(bool enable) {
    try {
        const std::string executable = ExecutablePath();
        const QString entry = Q(SpecialFolderPath(CSIDL_APPDATA) + "autostart/" +
                                NameWithoutExtension(ExtractFileName(executable)) + ".desktop");
        if (!enable) {
            QFile::remove(entry);
            return;
        }
        WriteEntry(entry,
                   "[Desktop Entry]\nType=Application\nName=" + S(QCoreApplication::applicationName()) + "\nExec=" +
                       QuotedExec(executable) + "\nIcon=" + AppIconName + "\nX-GNOME-Autostart-enabled=true\n",
                   false);
    } catch (...) {
        // Starting at log-in is a convenience: no failure is reported.
    }
}

void CreateDesktopShortcut(const std::string& name, bool onDesktop, const std::vector<std::string>& mimeTypes) {
    const std::string folder = onDesktop ? SpecialFolderPath(CSIDL_DESKTOPDIRECTORY)
                                         : S(QStandardPaths::writableLocation(QStandardPaths::ApplicationsLocation)) + "/";
    if (folder.size() <= 1) return;
    EnsureUserIcon();
    WriteEntry(Q(folder + name + ".desktop"), DesktopEntryText(name, ExecutablePath(), AppFolder(), mimeTypes), true);
}

}  // namespace quorix
