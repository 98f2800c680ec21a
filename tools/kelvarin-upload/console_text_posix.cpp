#include "console_text.h"

ProgramArguments::ProgramArguments(int argc, char** argv) : m_texts(argv, argv + argc) {
    PointAtTexts();
}

void PrepareStandardOutput() {}

bool WriteText(std::FILE* stream, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    return std::fflush(stream) == 0 && !std::ferror(stream);
}
