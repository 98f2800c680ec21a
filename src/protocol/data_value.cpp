#include "protocol/data_value.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

std::optional<double> ValueOf(const std::string& text) {
    if (text.empty() || text.find_first_not_of("0123456789+-.eE") != std::string::npos) return {};
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(value)) return {};
    return value;
}
