#include <gtest/gtest.h>

#include <string>

#include "export/export_to_excel.h"
#include "export/header_text.h"

namespace {

TEST(ColumnLetter, NamesTheFirst26ColumnsThenStaysAtZ) {
    EXPECT_EQ("A", ColumnLetter(0));
    EXPECT_EQ("B", ColumnLetter(1));
    EXPECT_EQ("D", ColumnLetter(3));
    EXPECT_EQ("Z", ColumnLetter(25));
    EXPECT_EQ("Z", ColumnLetter(26));
    EXPECT_EQ("Z", ColumnLetter(1000));
}

TEST(HeaderText, KeepsAtMost255CharactersAndNeverSplitsOne) {
    EXPECT_EQ("PASS", CutHeaderText("PASS"));
    EXPECT_EQ("", CutHeaderText(""));
    EXPECT_EQ(std::string(255, 'a'), CutHeaderText(std::string(256, 'a')));

    // Chinese characters are three bytes each but one character.
    std::string han;
    for (int i = 0; i < 300; ++i) han += "数";
    std::string cut = CutHeaderText(han);
    EXPECT_EQ(255u * 3, cut.size());

    // A character outside the basic plane fills two of the 255 places; one
    // that would straddle the limit is left out whole.
    std::string text = std::string(254, 'a') + "\xF0\x9F\x94\xA7" + "b";
    EXPECT_EQ(std::string(254, 'a'), CutHeaderText(text));
    text = std::string(253, 'a') + "\xF0\x9F\x94\xA7" + "b";
    EXPECT_EQ(std::string(253, 'a') + "\xF0\x9F\x94\xA7", CutHeaderText(text));

    // A sequence cut short by the end of the text is kept as it is.
    EXPECT_EQ("ab\xE6\x95", CutHeaderText("ab\xE6\x95"));
}

}  // namespace
