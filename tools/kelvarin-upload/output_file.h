#pragma once

#include <string>

// The output file, written all or nothing: a temporary file in the same
// folder, flushed to disk, then put in FILE's place in one step. One
// implementation per platform.

// Before the port opens: empty when `path` may be written, else why not.
std::string CheckOutputFile(const std::string& path, bool force);

enum class WriteResult { Written, Exists, Failed };

// Writes `data` to `path`, replacing an existing file only when `replace`.
// On Exists or Failed, `path` is as it was and no temporary file is left;
// `error` says why. Temporary files left by a killed run are removed first.
WriteResult WriteFileAtomically(const std::string& path, const std::string& data, bool replace,
                                std::string& error);
