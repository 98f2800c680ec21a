#pragma once

#include <sys/types.h>

// The calls that FAT, exFAT and many FUSE and network file systems refuse,
// each called through here so that the tests can refuse them anywhere. Each
// returns what the system call of its name does.
struct OutputFileCalls {
    int (*openUnnamed)(const char* folder, mode_t mode);  // open(O_TMPFILE)
    int (*link)(const char* from, const char* to, int flags);
    int (*renameNoReplace)(const char* from, const char* to);  // renameat2
    int (*rename)(const char* from, const char* to);
};

extern OutputFileCalls g_outputFileCalls;
