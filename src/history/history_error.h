#pragma once

#include <stdexcept>
#include <string>

// A history that cannot be opened, read or written; the text names the file
// and the cause, ready for the user.
class HistoryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
