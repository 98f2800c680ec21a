#include "export/header_text.h"

namespace {

// Length in bytes of the UTF-8 sequence that starts with `lead`; stray
// continuation bytes and invalid leads count as one byte.
std::size_t SequenceLength(unsigned char lead) {
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
    if (lead >= 0xC2) return 2;
    return 1;
}

}  // namespace

std::string CutHeaderText(const std::string& text, std::size_t maxUnits) {
    std::size_t units = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t length = SequenceLength(static_cast<unsigned char>(text[pos]));
        if (pos + length > text.size()) length = text.size() - pos;
        // Characters beyond the basic plane take two UTF-16 units.
        std::size_t need = length == 4 ? 2 : 1;
        if (units + need > maxUnits) break;
        units += need;
        pos += length;
    }
    return text.substr(0, pos);
}
