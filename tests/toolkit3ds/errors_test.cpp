#include "toolkit3ds/errors.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

// What PrintErrors3ds writes, captured through a temporary stream.
std::string PrintedErrors() {
    std::FILE* stream = std::tmpfile();
    EXPECT_NE(stream, nullptr);
    PrintErrors3ds(stream);
    std::rewind(stream);
    std::string text(4096, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), stream));
    std::fclose(stream);
    return text;
}

std::string Line(int32_t code) {
    return std::string(ErrorMessage3ds(code)) + "\n";
}

class Errors : public ::testing::Test {
protected:
    void SetUp() override { ClearErrors3ds(); }
    void TearDown() override { ClearErrors3ds(); }
};

TEST_F(Errors, PrintsNewestFirstIgnoringCodeZeroAndKeepsTheList) {
    RaiseError3ds(NO_TOOLKIT_ERRORS);
    EXPECT_FALSE(ErrorPending3ds);
    RaiseError3ds(ERR_NO_MEM);
    RaiseError3ds(ERR_WRITING_DATABASE);
    std::string expected = "ERR_WRITING_DATABASE: Error occured while writing database\n"
                           "ERR_NO_MEM: Not enough memory to complete operation\n";
    // Codes without a text, near and far from the known ones.
    for (int32_t code : {20, -1, INT32_MIN}) {
        RaiseError3ds(code);
        expected = "Unknown error code was encountered\n" + expected;
    }
    EXPECT_EQ(PrintedErrors(), expected);
    // Printing changes nothing.
    EXPECT_EQ(PrintedErrors(), expected);
    EXPECT_TRUE(ErrorPending3ds);
}

TEST_F(Errors, RecordsNineteenThenOnlyTheOverflowEntryUntilCleared) {
    std::string expected;
    for (int32_t code = 1; code <= 19; ++code) {
        RaiseError3ds(code);
        expected = Line(code) + expected;
    }
    EXPECT_EQ(ErrorOverflow3ds().code, 0);
    RaiseError3ds(ERR_INVALID_DATA);
    EXPECT_EQ(PrintedErrors(), expected);
    EXPECT_EQ(ErrorOverflow3ds().code, ERR_INVALID_DATA);
    RaiseError3ds(ERR_INVALID_ARG);
    EXPECT_EQ(PrintedErrors(), expected);
    EXPECT_STREQ(ErrorOverflow3ds().message,
                 "N_ERRORS: More errors were reported then could be recorded.");

    ClearErrors3ds();
    EXPECT_FALSE(ErrorPending3ds);
    EXPECT_EQ(PrintedErrors(), "");
    EXPECT_EQ(ErrorOverflow3ds().code, 0);
    RaiseError3ds(ERR_TOO_MANY_FILES);
    EXPECT_EQ(PrintedErrors(),
              "ERR_TOO_MANY_FILES: The toolkit has reached its maximum open file limit of 252 "
              "files.\n");
}

} // namespace
