#pragma once
#include <string>

#include "upload_options.h"

// What a run does before the port opens, the same on every platform:
// --version, --list-ports, the output file's check and catching interrupts.
// Returns the exit status when the run ends here, -1 to go on and upload.
int StartRun(const UploadOptions& options, std::string (*listPorts)());
