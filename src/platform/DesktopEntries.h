// Desktop entries the program writes: the log-in autostart entry and the
// shortcut on the desktop or in the applications menu.
#pragma once

#include <string>
#include <vector>

namespace quorix {

// The icon's theme name; the entries name it.
extern const char* const AppIconName;  // "quorix-image-resizer"

// Writes or removes $XDG_CONFIG_HOME/autostart/<program name>.desktop; silent on every failure.
void SetStartWithWindows(bool enable);
// Writes <desktop folder>/<name>.desktop, or the same in the applications
// menu, starting the running executable; a second call replaces it.
void CreateDesktopShortcut(const std::string& name, bool onDesktop, const std::vector<std::string>& mimeTypes);

// The text of a desktop entry that starts a program.
std::string DesktopEntryText(const std::string& name, const std::string& executable, const std::string& folder,
                             const std::vector<std::string>& mimeTypes);

}  // namespace quorix
