// How the running program names itself to the desktop: its class and
// application id match the installed desktop entry, so the task bar shows
// the entry's name and icon, and the window carries the icon itself.
#pragma once

#include <QString>

#include <functional>

inline constexpr const char* kAppName = "kestra-panel";  // X11 WM_CLASS, the entry's StartupWMClass

// Call once the QApplication exists.
void SetUpAppIdentity();

// The README the About tab links to: installed beside the program, else the
// source tree's; a file URL.
QString ReadmeUrl();

// What the window system this start would use lacks, in words for the user,
// or empty when it is there: without it Qt aborts with a core dump. env
// reads an environment variable. Checked before the QApplication is made.
QString MissingDisplay(const std::function<QString(const char*)>& env);
