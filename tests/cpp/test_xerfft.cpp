// The engine's error records, one line each on standard output.
#include <gtest/gtest.h>

#include <string>

#include "fft/checks/xerfft.hpp"

using orbelix::fftpack::xerfft;

namespace {

std::string record(const char *name, int code) {
    testing::internal::CaptureStdout();
    xerfft(name, code);
    return testing::internal::GetCapturedStdout();
}

}  // namespace

TEST(Xerfft, RecordsOfEveryCode) {
    EXPECT_EQ(record("CFFT1B", 4), " ** On entry to CFFT1B parameter number   4 had an illegal value\n");
    EXPECT_EQ(record("CFFTMF", 10), " ** On entry to CFFTMF parameter number  10 had an illegal value\n");
    EXPECT_EQ(record("CFFTMF", -1),
              " ** On entry to CFFTMF parameters LOT, JUMP, N and INC are inconsistent\n");
    EXPECT_EQ(record("CFFT2F", -2), " ** On entry to CFFT2F parameter L is greater than LDIM\n");
    EXPECT_EQ(record("CFFT2F", -3), " ** On entry to CFFT2F parameter M is greater than MDIM\n");
    EXPECT_EQ(record("CFFT2I", -5), " ** Within CFFT2I input error returned by lower level routine\n");
    EXPECT_EQ(record("RFFT2F", -6), " ** On entry to RFFT2F parameter LDIM is less than 2*(L/2+1)\n");
}

TEST(Xerfft, NameIsCutToSixCharactersAndSilentCodesWriteNothing) {
    EXPECT_EQ(record("CFFT1FXYZ", 8), " ** On entry to CFFT1F parameter number   8 had an illegal value\n");
    EXPECT_EQ(record("CFFT1F", 0), "");
    EXPECT_EQ(record("CFFT1F", -4), "");
    EXPECT_EQ(record("CFFT1F", -7), "");
}
