#pragma once

#include <string>
#include <vector>

// Where the spreadsheet module may be, in the order to try, for a program in
// programDir (ending in '/'): beside the program (a build tree, an unpacked
// copy), then the private library folder of an installed tree
// (<prefix>/bin/kelvarin finds <prefix>/lib/kelvarin/). Only absolute paths:
// a bare or relative name would let the current folder supply the module.
std::vector<std::string> CalcModuleCandidates(const std::string& programDir);
