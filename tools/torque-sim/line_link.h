#pragma once

#include <atomic>
#include <string>

#include "sim_session.h"

namespace torque_sim {

struct LinkOptions {
    // Send no faster than a 9600-baud line (10 bits a character) and answer
    // no sooner than the host's bytes could have crossed it.
    bool pace = false;
    // Return after the first upload that completed.
    bool once = false;
    // Set from elsewhere to end the loop.
    const std::atomic<bool>* stop = nullptr;
};

enum class LinkEnd { Stopped, Completed, HungUp, LineFailed };

// Creates a pseudo-terminal in raw mode; returns the master descriptor and
// the path of its other end, or -1 with `error` set.
int OpenPseudoTerminal(std::string& slavePath, int& slaveKeepAlive, std::string& error);
// Opens and configures a real serial device at 9600 8N1, raw.
int OpenSerialDevice(const std::string& path, std::string& error);

// Plays `session` over the descriptor until it ends as told by the result.
LinkEnd ServeLine(int fd, Session& session, const LinkOptions& options);

}  // namespace torque_sim
