#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

// The command line and the console of the command-line programs, whose
// texts are UTF-8 on every platform. One implementation per platform.

// The program's arguments, argv[0] first, in UTF-8, as main's pair. Windows
// gives them from its wide command line, as its argv holds only what the
// ANSI code page can: a lone surrogate arrives as bytes that are not UTF-8,
// refused where a name must be.
class ProgramArguments {
public:
    ProgramArguments(int argc, char** argv);
    int Count() const { return static_cast<int>(m_texts.size()); }
    char** Values() { return m_values.data(); }

private:
    void PointAtTexts() {
        for (std::string& text : m_texts) m_values.push_back(text.data());
        m_values.push_back(nullptr);
    }

    std::vector<std::string> m_texts;
    std::vector<char*> m_values;
};

// Before anything is written: standard output takes the results' bytes as
// they are (CSV rows end in CR LF already).
void PrepareStandardOutput();

// Writes `text` to `stream` (stdout or stderr) and flushes it: UTF-16 to a
// Windows console, whose code page may not be UTF-8; the bytes to anything
// else. False, with errno set where the C library sets it, when not all of
// it got there.
bool WriteText(std::FILE* stream, std::string_view text);
