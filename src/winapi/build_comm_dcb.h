#pragma once

#include <cstdint>
#include <string>

#include "winapi/comm_types.h"

// BuildCommDCB on platforms without it: reads a settings text such as
// "baud=9600 parity=N data=8 stop=1" into the line-settings record. As on
// Windows, flow control goes off unless the text asks for it. False, with
// the record unchanged, for a text it cannot read.
bool BuildCommDcb(const std::string& text, CommSettings& settings);

// The baud rates a line can be set to.
bool IsStandardBaud(std::uint32_t baud);
