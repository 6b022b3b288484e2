#include "toolkit3ds/errors.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// What PrintErrors3ds writes, captured through a temporary stream.
std::string PrintedErrors() {
    std::FILE* stream = std::tmpfile();
    EXPECT_NE(stream, nullptr);
    PrintErrors3ds(stream);
    std::rewind(stream);
    std::string text;
    for (int c = std::fgetc(stream); c != EOF; c = std::fgetc(stream)) {
        text.push_back(static_cast<char>(c));
    }
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

TEST_F(Errors, CodeZeroIsIgnored) {
    RaiseError3ds(NO_TOOLKIT_ERRORS);
    EXPECT_FALSE(ErrorPending3ds);
    EXPECT_EQ(ErrorList3ds()[0].code, 0);
    EXPECT_EQ(PrintedErrors(), "");
}

TEST_F(Errors, PrintsNewestFirstAndKeepsTheList) {
    RaiseError3ds(ERR_NO_MEM);
    RaiseError3ds(ERR_OPENING_FILE);
    RaiseError3ds(ERR_WRITING_DATABASE);
    const std::string expected = "ERR_WRITING_DATABASE: Error occured while writing database\n"
                                 "ERR_OPENING_FILE: Could not open requested file\n"
                                 "ERR_NO_MEM: Not enough memory to complete operation\n";
    EXPECT_EQ(PrintedErrors(), expected);
    // Printing changes nothing: the same lines again, the flag still set.
    EXPECT_EQ(PrintedErrors(), expected);
    EXPECT_TRUE(ErrorPending3ds);
    // Entries refer to the constant texts, not to copies.
    EXPECT_EQ(ErrorList3ds()[1].message, ErrorMessage3ds(ERR_OPENING_FILE));
}

TEST_F(Errors, RecordsNineteenThenOnlyTheOverflowEntry) {
    std::string expected;
    for (int32_t code = 1; code <= 19; ++code) {
        RaiseError3ds(code);
        expected = Line(code) + expected;
    }
    EXPECT_EQ(PrintedErrors(), expected);
    EXPECT_EQ(ErrorList3ds()[19].code, 0);
    EXPECT_EQ(ErrorOverflow3ds().code, 0);

    RaiseError3ds(ERR_INVALID_DATA);
    EXPECT_TRUE(ErrorPending3ds);
    EXPECT_EQ(PrintedErrors(), expected);
    EXPECT_EQ(ErrorOverflow3ds().code, ERR_INVALID_DATA);

    RaiseError3ds(ERR_INVALID_ARG);
    EXPECT_EQ(PrintedErrors(), expected);
    EXPECT_EQ(ErrorOverflow3ds().code, N_ERRORS);
    EXPECT_STREQ(ErrorOverflow3ds().message,
                 "N_ERRORS: More errors were reported then could be recorded.");
}

TEST_F(Errors, ClearEmptiesEverythingAndTheListIsReused) {
    for (int i = 0; i < 21; ++i) {
        RaiseError3ds(ERR_READING_FILE);
    }
    ClearErrors3ds();
    EXPECT_FALSE(ErrorPending3ds);
    EXPECT_EQ(PrintedErrors(), "");
    EXPECT_EQ(ErrorOverflow3ds().code, 0);

    RaiseError3ds(ERR_TOO_MANY_FILES);
    EXPECT_EQ(ErrorList3ds()[0].code, ERR_TOO_MANY_FILES);
    EXPECT_EQ(ErrorList3ds()[1].code, 0);
    EXPECT_EQ(PrintedErrors(),
              "ERR_TOO_MANY_FILES: The toolkit has reached its maximum open file limit of 252 "
              "files.\n");
}

TEST_F(Errors, CodesWithoutTextPrintAsUnknown) {
    for (int32_t code : {20, 21, -1, 23, INT32_MIN}) {
        RaiseError3ds(code);
    }
    std::string expected;
    for (int i = 0; i < 5; ++i) {
        expected += "Unknown error code was encountered\n";
    }
    EXPECT_EQ(PrintedErrors(), expected);
    EXPECT_EQ(ErrorList3ds()[1].code, 21);
}

} // namespace
