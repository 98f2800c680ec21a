#pragma once

// Many USB serial adapters (FTDI's among them) hold received bytes for up
// to 16 ms before passing them on; at one frame per acknowledgement that
// adds up over a whole upload. Their drivers drop the delay in low-latency
// mode. Both calls are best effort: a device that has no such mode (a pty,
// most built-in ports) or refuses it is used as it is.

// Asks for low latency on the open terminal `fd`; true when it was off and
// is now on, so that it is to be turned off again on close.
bool RequestLowLatency(int fd);
// Turns low latency off again, before the device is closed.
void RestoreLowLatency(int fd);
