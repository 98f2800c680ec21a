#pragma once

#include <string>

// The office's named pipe as its runtime makes it: a socket in /tmp (or
// /var/tmp where /tmp cannot be written) whose name holds the user's id.
std::string OfficePipePath(const std::string& pipeName);

enum class PipeHolder { Nobody, ThisUser, Other };

// Who holds the pipe's name: only a socket of this user's is an office of
// ours. The folder is sticky, so an entry found ours cannot be swapped
// underneath by another user.
PipeHolder WhoHoldsPipe(const std::string& pipeName);

// Lets only this user reach the office listening on the pipe; the office
// makes it as its umask has it.
void RestrictPipe(const std::string& pipeName);
