// The one reader of typed and sent amounts: what counts as an amount, its parts and value.
#include "market/DecimalAmount.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

struct AmountCase {
    const char* text;
    bool allowSign;
    bool read;
    const char* whole;
    const char* fraction;
    double value;
};

constexpr double kInf = std::numeric_limits<double>::infinity();

const AmountCase kAmounts[] = {
    {"12", false, true, "12", "", 12},
    {" 12.50 ", false, true, "12", "50", 12.5},
    {".5", false, true, "", "5", 0.5},
    {"12.", false, true, "12", "", 12},
    {"007.10", false, true, "007", "10", 7.1},
    {"0", false, true, "0", "", 0},
    {"-3", false, false, "", "", 0},
    {"+7", false, false, "", "", 0},
    {"-3", true, true, "3", "", -3},
    {"+7.25", true, true, "7", "25", 7.25},
    {"-.5", true, true, "", "5", -0.5},
    {"+-3", true, false, "", "", 0},
    {"-", true, false, "", "", 0},
    {"", false, false, "", "", 0},
    {"   ", false, false, "", "", 0},
    {".", false, false, "", "", 0},
    {"1 0", false, false, "", "", 0},
    {"1.2.3", false, false, "", "", 0},
    {"1e3", false, false, "", "", 0},
    {"0x10", false, false, "", "", 0},
    {"nan", true, false, "", "", 0},
    {"inf", true, false, "", "", 0},
    {"10元", false, false, "", "", 0},
    {"\t10", false, false, "", "", 0}, // only spaces are trimmed
    {"12,5", false, false, "", "", 0},
};

TEST(DecimalAmount, ReadsPlainDecimalsOnly)
{
    for (const AmountCase& c : kAmounts) {
        SCOPED_TRACE(std::string("\"") + c.text + "\" sign " + (c.allowSign ? "allowed" : "refused"));
        yfx::DecimalAmount amount;
        amount.value = -99;
        ASSERT_EQ(yfx::ReadDecimalAmount(c.text, amount, c.allowSign), c.read);
        if (!c.read) {
            EXPECT_EQ(amount.value, -99); // untouched
            continue;
        }
        EXPECT_EQ(amount.whole, c.whole);
        EXPECT_EQ(amount.fraction, c.fraction);
        EXPECT_DOUBLE_EQ(amount.value, c.value);
        EXPECT_EQ(amount.negative, c.value < 0);
    }
}

TEST(DecimalAmount, BeyondADoubleIsInfiniteOrZero)
{
    yfx::DecimalAmount amount;
    const std::string huge = "1" + std::string(400, '0');
    ASSERT_TRUE(yfx::ReadDecimalAmount(huge, amount));
    EXPECT_EQ(amount.value, kInf);
    EXPECT_EQ(amount.whole.size(), 401u);
    ASSERT_TRUE(yfx::ReadDecimalAmount("-" + huge, amount, true));
    EXPECT_EQ(amount.value, -kInf);
    const std::string tiny = "0." + std::string(400, '0') + "1";
    ASSERT_TRUE(yfx::ReadDecimalAmount(tiny, amount));
    EXPECT_EQ(amount.value, 0.0);
}

} // namespace
