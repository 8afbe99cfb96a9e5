// Starting programs the three ways the system does: by bare name through the
// program search (WinExec, ShellExecuteEx "open") and by full path
// (CreateProcess). Started programs inherit the environment and the current
// directory, get no arguments, and are neither waited for nor kept: a
// watcher thread reaps them so that no zombie is left behind.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace nv::platform {

// "Recovery_RAVIX.exe" -> the program file to run: the running program's own
// directory first, then each directory of PATH. nullopt when none is found.
std::optional<std::string> FindProgram(std::string_view name);

// Starts a program file by full path. False when it cannot be started.
bool StartDetached(const std::string& path);

// WinExec(name, show): a value above 31 means started; 2 file not found.
unsigned WinExec(std::string_view name, int show);
// ShellExecuteEx with verb "open": false when the program cannot be started.
bool ShellExecuteOpen(std::string_view name);
// CreateProcess with an application path and no command line.
bool CreateProcess(std::string_view application_path);

}  // namespace nv::platform
