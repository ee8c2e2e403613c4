// What every reading shares of its input: text made safe to show, and the
// load's budget.
#include <string>

#include <gtest/gtest.h>

#include "input/budget.h"
#include "input/text.h"

namespace {

// Text from a file reaches terminals and windows: control characters and
// bytes that are not UTF-8 come out escaped, everything else as it was.
TEST(Printable, EscapesWhatATerminalWouldObey) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"plain \"text\" 123", "plain \"text\" 123"},
        {"\x1b[2J\x1b]0;title\x07", "\\x1b[2J\\x1b]0;title\\x07"},
        {"line\nfeed\r\ttab\x7f", "line\\x0afeed\\x0d\\x09tab\\x7f"},
        {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x99\x82", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x99\x82"},  // é € and an emoji stay
        {"\xc2\x9b" "31m", "\\xc2\\x9b31m"},                  // the C1 CSI, encoded as UTF-8
        {"\xff\xfe cut \xe2\x82", "\\xff\\xfe cut \\xe2\\x82"},  // not UTF-8, and a sequence cut short
        {"\xc0\xaf \xed\xa0\x80", "\\xc0\\xaf \\xed\\xa0\\x80"},  // overlong and surrogate forms
    };
    for (const auto& c : cases) EXPECT_EQ(tessel::reader::printable(c.in), c.out) << c.in;
}

// A load's budget takes what fits, refuses what does not (taking nothing),
// and remembers the first refusal for its one message.
TEST(Budget, TakesWhatFitsAndNamesTheFirstRefusal) {
    tessel::reader::load_budget budget(10 << 20);
    EXPECT_TRUE(budget.spend(6 << 20, "text"));
    EXPECT_FALSE(budget.spend(5 << 20, "triangles"));
    EXPECT_FALSE(budget.spend(5 << 20, "image pixels"));
    EXPECT_TRUE(budget.spend(4 << 20, "nodes"));
    EXPECT_EQ(budget.left(), 0);
    EXPECT_TRUE(budget.exceeded());
    EXPECT_EQ(budget.message(), "the scene needs more memory than a load may use here (10 MB; stopped at its triangles)");
    tessel::reader::set_load_budget(3 << 20);
    EXPECT_LE(tessel::reader::load_budget(0).limit(), 3 << 20);
    tessel::reader::set_load_budget(0);
    EXPECT_GT(tessel::reader::load_budget(0).limit(), 3 << 20);
}

}  // namespace
