// The set-up files' numbers: a decimal point or comma, no sign, no exponent, counted in
// integer units so that bounds compare exactly.
#include "Conversions.h"

#include <gtest/gtest.h>

namespace vz {
namespace {

TEST(DecimalUnits, CountsInUnitsAndRefusesAnythingButPlainDigits) {
    using Error = DecimalUnits::Error;
    const struct {
        const char* text;
        int decimals;
        Error error;
        int64_t units;
    } cases[] = {
        {"0,5", 3, Error::None, 500},
        {"1.25", 3, Error::None, 1250},
        {".5", 1, Error::None, 5},
        {"5.", 1, Error::None, 50},
        {"0012", 0, Error::None, 12},
        {"1.0000", 3, Error::None, 1000}, // zeros past the precision change nothing
        {"2500.0", 0, Error::None, 2500},
        {"999999999.999", 3, Error::None, 999999999999},
        {"1.0005", 3, Error::TooManyDecimals, 0},
        {"2500.5", 0, Error::TooManyDecimals, 0},
        {"", 3, Error::NotANumber, 0},
        {".", 3, Error::NotANumber, 0},
        {"1,2.3", 3, Error::NotANumber, 0},
        {"-900", 0, Error::NotANumber, 0},
        {"+5", 0, Error::NotANumber, 0},
        {"1e3", 0, Error::NotANumber, 0},
        {" 5", 0, Error::NotANumber, 0},
        {"1234567890", 0, Error::NotANumber, 0},   // ten whole digits
        {"\xEF\xBC\x95", 0, Error::NotANumber, 0}, // a fullwidth 5
    };
    for (const auto& c : cases) {
        const DecimalUnits number = strToDecimalUnits(QString::fromUtf8(c.text), c.decimals);
        EXPECT_EQ(number.error, c.error) << c.text;
        EXPECT_EQ(number.ok(), c.error == Error::None) << c.text;
        if (number.ok()) {
            EXPECT_EQ(number.units, c.units) << c.text;
        }
    }
}

} // namespace
} // namespace vz
