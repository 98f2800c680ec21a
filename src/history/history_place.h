#pragma once

#include <filesystem>
#include <string>

// Where the history is kept. One implementation per platform for what the
// system decides (history_place_posix.cpp, history_place_win32.cpp).

// The path given with --db, else $KELVARIN_HISTORY, else the user's data
// folder's kelvarin/history.sqlite3 (Kelvarin\history.sqlite3 on Windows);
// empty when recording is off (KELVARIN_HISTORY=off, or no data folder).
std::string HistoryPath(const std::string& dbOption);

// The user's data folder for Kelvarin: $XDG_DATA_HOME/kelvarin, else
// ~/.local/share/kelvarin; %LOCALAPPDATA%\Kelvarin. Empty without one.
std::string KelvarinDataFolder();

// Whether `folder` is on a network file system, where SQLite's shared
// memory (WAL) does not work.
bool OnNetworkFileSystem(const std::string& folder);

// The value of an environment variable as UTF-8; empty when unset.
std::string EnvironmentText(const char* name);

// The system's text for the error number SQLite keeps of its last failed
// call (sqlite3_system_errno): an errno value on POSIX, a GetLastError code
// on Windows.
std::string SystemErrorText(int code);

// Paths are UTF-8 texts in the programs; these convert both ways, wide on
// Windows.
std::filesystem::path PathOf(const std::string& utf8);
std::string Utf8Of(const std::filesystem::path& path);
