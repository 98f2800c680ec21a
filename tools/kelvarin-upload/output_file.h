#pragma once

#include <string>

// The output file, written all or nothing: a temporary file in the same
// folder, flushed to disk, then put in FILE's place in one step. Names are
// UTF-8 on every platform. One implementation per platform.

// Before the port opens: empty when `path` may be written, else why not.
std::string CheckOutputFile(const std::string& path, bool force);

enum class WriteResult { Written, Exists, Failed };

// Writes `data` to `path`, replacing an existing file only when `replace`.
// On Exists or Failed, `path` is as it was and `error` says why. When the
// data was written in full but could not be put in place, the temporary file
// holding it is kept and `kept` names it: it may be the only copy of an
// upload. Otherwise `kept` is empty and no temporary file is left. Temporary
// files left by a killed run are removed first.
WriteResult WriteFileAtomically(const std::string& path, const std::string& data, bool replace,
                                std::string& error, std::string& kept);
