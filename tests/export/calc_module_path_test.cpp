#include "export/calc_module_path.h"

#include <gtest/gtest.h>

// Only absolute candidates: anything else would load a module planted in the
// folder the user started the program from.
TEST(CalcModulePath, BesideTheProgramThenThePrivateFolderAndNothingRelative) {
    const struct {
        std::string dir;
        std::vector<std::string> want;
    } cases[] = {
        {"/usr/bin/",
         {"/usr/bin/libkelvarin_calc.so", "/usr/bin/../lib/kelvarin/libkelvarin_calc.so"}},
        {"", {}},
        {"bin/", {}},
        {"/usr/bin", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(CalcModuleCandidates(c.dir), c.want) << c.dir;
}
