#include <string>

#include "export/export_to_excel.h"

std::string ColumnLetter(int column) {
    // Only 26 columns have names of their own; later ones share "Z".
    if (column < 0) column = 0;
    if (column > 25) column = 25;
    return std::string(1, static_cast<char>('A' + column));
}
