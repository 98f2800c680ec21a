#pragma once

#include <sys/types.h>

#include <string>

// The temporary files beside FILE, ".FILE.kelvarin-upload-TOKEN.tmp". Each
// is locked (flock) by its writer from its creation until it is in place or
// kept, so one nobody holds was left by a killed run, whatever PID namespace
// or NFS client that run was on.

std::string Folder(const std::string& path);

// A new temporary file for `path` with `mode`, open for writing and locked,
// or fd -1 with errno set.
struct TempFile {
    int fd = -1;
    std::string name;
};
TempFile CreateTempFile(const std::string& path, mode_t mode);

// A fresh temporary name for `path`, which nothing has yet.
std::string TempName(const std::string& path);

// The name a completed upload is kept under when it cannot be put in place:
// "FILE.kelvarin-upload-TOKEN", beside FILE, which no later run removes.
std::string KeptName(const std::string& temp);

// Removes the temporary files for `path` that this user owns and no writer
// holds.
void RemoveStaleTemporaries(const std::string& path);
