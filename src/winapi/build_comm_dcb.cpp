#include "winapi/build_comm_dcb.h"

#include <cstdlib>
#include <sstream>

bool IsStandardBaud(std::uint32_t baud) {
    for (std::uint32_t standard : {1200u, 2400u, 4800u, 9600u, 19200u, 38400u, 57600u, 115200u})
        if (baud == standard) return true;
    return false;
}

bool BuildCommDcb(const std::string& text, CommSettings& settings) {
    CommSettings built = settings;
    built.fOutxCtsFlow = 0;
    built.fOutxDsrFlow = 0;
    built.fOutX = 0;
    built.fInX = 0;
    std::istringstream words(text);
    std::string word;
    while (words >> word) {
        const auto equals = word.find('=');
        if (equals == std::string::npos) return false;
        const std::string key = word.substr(0, equals);
        const std::string value = word.substr(equals + 1);
        char* end = nullptr;
        const unsigned long number = std::strtoul(value.c_str(), &end, 10);
        const bool numeric = !value.empty() && *end == '\0';
        if (key == "baud" && numeric && number <= 0xFFFFFFFFul &&
            IsStandardBaud(static_cast<std::uint32_t>(number))) {
            built.BaudRate = static_cast<std::uint32_t>(number);
        } else if (key == "parity" && value.size() == 1) {
            switch (value[0] | 0x20) {
                case 'n':
                    built.Parity = kNoParity;
                    break;
                case 'o':
                    built.Parity = kOddParity;
                    break;
                case 'e':
                    built.Parity = kEvenParity;
                    break;
                case 'm':
                    built.Parity = kMarkParity;
                    break;
                case 's':
                    built.Parity = kSpaceParity;
                    break;
                default:
                    return false;
            }
            built.fParity = built.Parity != kNoParity;
        } else if (key == "data" && numeric && number >= 5 && number <= 8) {
            built.ByteSize = static_cast<std::uint8_t>(number);
        } else if (key == "stop" && (value == "1" || value == "2")) {
            built.StopBits = value == "1" ? kOneStopBit : kTwoStopBits;
        } else {
            return false;
        }
    }
    settings = built;
    return true;
}
