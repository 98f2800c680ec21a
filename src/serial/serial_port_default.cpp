#include "serial/serial_port.h"

// Kept apart so that programs and tests that bring their own platform do not
// need a backend linked in.
CSerialPort::CSerialPort() : CSerialPort(DefaultCommPlatform()) {}
