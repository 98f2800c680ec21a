#pragma once

// The command line of kelvarin-upload, the same on every platform.
struct UploadOptions {
    int port = 0;
    long timeoutSeconds = 60;
    bool csv = false;
};

// Parses argv into `options`. Returns -1 to go on, otherwise the exit status
// to end with (0 after --help, 2 after a usage error, which it has reported).
// `portHelp` describes what a port number opens on this platform.
int ParseUploadOptions(int argc, char** argv, const char* portHelp, UploadOptions& options);
