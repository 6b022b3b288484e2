#include "toolkit3ds/file_io.h"

#include "tests/support/toolkit_state.h"
#include "tests/support/tree_outline.h"
#include "toolkit3ds/errors.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

class FileIo : public ToolkitTest {
protected:
    // The bytes that write() puts into a fresh file.
    template <typename Write> static Bytes Written(Write write) {
        File3ds* file = OpenFile3ds("out.bin", "w");
        SetCurrentFile3ds(file);
        write();
        EXPECT_FALSE(ErrorPending3ds);
        CloseFile3ds(file);
        return ReadFileBytes("out.bin");
    }

    // A file holding bytes, opened for reading and made current.
    static File3ds* Reader(const Bytes& bytes, const char* name = "in.bin") {
        WriteFileBytes(name, bytes);
        File3ds* file = OpenFile3ds(name, "r");
        SetCurrentFile3ds(file);
        return file;
    }
};

// Reading them back is the database reader's and the chunk data's round trip.
TEST_F(FileIo, PrimitivesStringsAndCompositesAreWrittenLittleEndian) {
    const uint8_t array[] = {1, 2, 3};
    const KeyHeader3ds keys[] = {{.time = 16, .splineFlags = 0, .tension = 9.0f},
                                 {5, 0x1F, 1.0f, 2.0f, -2.5f, 0.5f, -1.0f},
                                 {.time = 1, .splineFlags = 0x14, .bias = 1.0f, .easeFrom = 2.0f}};
    EXPECT_EQ(Written([&] {
                  WriteChunkHeader3ds(0x4D4D, 0x1234);
                  WriteFloat3ds(1.0f);
                  WriteFloat3ds(-0.0f);
                  WriteByte3ds(-2);
                  WriteUByte3ds(0x81);
                  WriteShort3ds(-2);
                  WriteUShort3ds(0xA1B2);
                  WriteLong3ds(-2);
                  WriteULong3ds(0x01020304);
                  WriteByteArray3ds(3, array);
                  WriteString3ds("");
                  WriteString3ds("ab");
                  WriteFixedString3ds("abc", 11);
                  WriteString3ds(std::string_view("x\0y", 3));
                  WriteFixedString3ds("abcd", 4);
                  WriteFixedString3ds("abcde", 4);
                  WritePoint3ds({1.0f, -2.5f, 0.0f});
                  WriteTexVert3ds({0.5f, 2.0f});
                  WriteFace3ds({0xFFFF, 2, 0x0102, 7});
                  WriteTrackHeader3ds({0x40, 0xDEADBEEF, 0, 3});
                  for (const KeyHeader3ds& key : keys) {
                      WriteKeyHeader3ds(key);
                  }
              }),
              Hex("4D4D 34120000"                   // chunk header 0x4D4D, length 0x1234
                  "0000803F 00000080"               // 1.0f, -0.0f
                  "FE 81 FEFF B2A1"                 // byte -2, ubyte 0x81, short -2, ushort 0xA1B2
                  "FEFFFFFF 04030201"               // long -2, ulong 0x01020304
                  "010203"                          // byte array
                  "00 616200"                       // "", "ab"
                  "61626300 00000000 000000"        // "abc" in 11 bytes
                  "7800"                            // "x\0y" ends at its zero byte
                  "61626364 6162636465"             // "abcd" fills 4 bytes, "abcde" overruns
                  "0000803F 000020C0 00000000"      // point 1, -2.5, 0
                  "0000003F 00000040"               // texture vertex 0.5, 2
                  "FFFF 0200 0201 0700"             // face 0xFFFF, 2, 0x102, flags 7
                  "4000 EFBEADDE 00000000 03000000" // track flags 0x40, 0xDEADBEEF, 0, 3 keys
                  "10000000 0000"                   // key: time 16, no flags, no floats
                  "05000000 1F00 0000803F 00000040 000020C0 0000003F 000080BF"
                  "01000000 1400 0000803F 00000040")); // bias and ease from only
}

TEST_F(FileIo, ReadsPastTheEndOrTheLimitFailKeepingDefaults) {
    // A face cut inside its second index: the fields from there keep 1, 2 and flags 0.
    Reader({0x05, 0x00, 0x06});
    EXPECT_EQ(ReadFace3ds(), (Face3ds{5, 1, 2, 0}));
    EXPECT_EQ(TakeErrors3ds(), Codes({ERR_READING_FILE}));
    // A key header that ends inside its second float.
    Reader(Hex("07000000 0300 0000803F 00"), "key.bin");
    EXPECT_EQ(ReadKeyHeader3ds(), (KeyHeader3ds{7, 3, 1.0f, 0, 0, 0, 0}));
    EXPECT_EQ(TakeErrors3ds(), Codes({ERR_READING_FILE}));
    // A huge limit costs nothing up front; the end of the file stops the read.
    Reader({'a', 'b'}, "string.bin");
    EXPECT_EQ(ReadString3ds(100000000), "");
    EXPECT_EQ(TakeErrors3ds(), Codes({ERR_READING_FILE}));

    // A fixed field is consumed whole, and must hold its zero byte.
    Reader({'C', 'a', 'm', 0, 'x', 'y', 0x42, 'a', 'b', 'c', 'd', 'e'}, "fixed.bin");
    EXPECT_EQ(ReadFixedString3ds(5), "Cam");
    EXPECT_EQ(ReadUByte3ds(), 0x42);
    EXPECT_EQ(ReadFixedString3ds(3), "");
    EXPECT_EQ(RaisedErrors(), Codes({ERR_READING_FILE}));
}

// Held bytes are patched in memory; a header already sent to the stream is patched by seeking.
TEST_F(FileIo, HeldOutputPatchesLengthsInMemoryOrOnDisk) {
    File3ds* file = OpenFile3ds("held.bin", "w");
    SetCurrentFile3ds(file);
    HoldOutput3ds(file);
    WriteChunkHeader3ds(0x4D4D, 0);
    const Bytes filler(kHeldOutputSize3ds, 0x55); // more than the held output takes
    WriteByteArray3ds(kHeldOutputSize3ds, filler.data());
    const int32_t inner = GetFilePosition3ds();
    WriteChunkHeader3ds(0x0002, 0);
    WriteULong3ds(3);
    PatchChunkLength3ds(inner, GetFilePosition3ds());
    PatchChunkLength3ds(0, GetFilePosition3ds());
    // A length that would be negative is refused, not wrapped.
    PatchChunkLength3ds(4, 2);
    PatchChunkLength3ds(-1, 2);
    WriteUByte3ds(0xEE);
    ReleaseOutput3ds(file);
    CloseFile3ds(file);
    EXPECT_EQ(RaisedErrors(), Codes({ERR_WRITING_FILE, ERR_WRITING_FILE}));

    const Bytes bytes = ReadFileBytes("held.bin");
    ASSERT_EQ(bytes.size(), 6 + kHeldOutputSize3ds + 11);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 6), Hex("4D4D 10001000")); // 6 + 1 MiB + 10
    EXPECT_EQ(Bytes(bytes.begin() + inner, bytes.end()), Hex("0200 0A000000 03000000 EE"));
}

TEST_F(FileIo, WithoutACurrentFileNothingCrashes) {
    WriteUByte3ds(1);
    EXPECT_EQ(ReadULong3ds(), 0u);
    WriteString3ds("abc");
    PatchChunkLength3ds(0, 6);
    EXPECT_EQ(GetFilePosition3ds(), -1);
    SetFilePosition3ds(3);
    EXPECT_EQ(RaisedErrors(),
              Codes({ERR_WRITING_FILE, ERR_READING_FILE, ERR_WRITING_FILE, ERR_WRITING_FILE}));

    // A record the table does not hold never becomes current.
    ClearErrors3ds();
    File3ds stray;
    SetCurrentFile3ds(&stray);
    EXPECT_EQ(GetCurrentFile3ds(), nullptr);
    EXPECT_EQ(RaisedErrors(), Codes({ERR_INVALID_ARG}));
}

// A write that overflows the buffer fails at once; bytes the buffer still holds
// reach the device only at the close, which must report them lost.
TEST_F(FileIo, FullDeviceFailsTheOverflowingWriteAndTheClose) {
    if (!std::filesystem::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    for (const uint32_t count : {4u, kFileBufferSize3ds + 1}) {
        SCOPED_TRACE(count);
        File3ds* file = OpenFile3ds("/dev/full", "w");
        ASSERT_NE(file, nullptr);
        SetCurrentFile3ds(file);
        for (uint32_t i = 0; i < count; ++i) {
            EXPECT_FALSE(ErrorPending3ds) << i;
            WriteUByte3ds(0xAB);
        }
        Codes expected = count > kFileBufferSize3ds ? Codes{ERR_WRITING_FILE} : Codes{};
        EXPECT_EQ(RaisedErrors(), expected);
        CloseFile3ds(file);
        expected.push_back(ERR_CLOSING_FILE);
        EXPECT_EQ(TakeErrors3ds(), expected);
        EXPECT_EQ(GetFileByIndex3ds(0), nullptr);
        EXPECT_EQ(GetCurrentFile3ds(), nullptr);
    }
}

TEST_F(FileIo, OpensByTheFirstReadOrWriteInTheMode) {
    WriteFileBytes("in.bin", {1, 2, 3});
    File3ds* writer = OpenFile3ds("in.bin", "w");
    ASSERT_NE(writer, nullptr);
    EXPECT_EQ(writer->mode, kModeWrite3ds);
    EXPECT_EQ(writer->index, 0);
    EXPECT_EQ(GetCurrentFile3ds(), nullptr);
    EXPECT_TRUE(ReadFileBytes("in.bin").empty());
    CloseFile3ds(writer);

    EXPECT_EQ(OpenFile3ds("a.bin", "rw"), nullptr); // reads, and there is no a.bin
    EXPECT_EQ(TakeErrors3ds(), Codes({ERR_OPENING_FILE}));
    EXPECT_EQ(OpenFile3ds("in.bin", "rw")->mode, kModeRead3ds);
    EXPECT_EQ(OpenFile3ds("b.bin", "wr")->mode, kModeWrite3ds);
    EXPECT_EQ(OpenFile3ds("c.bin", std::string(30, 'x').append("w").c_str())->mode, kModeWrite3ds);
    EXPECT_FALSE(ErrorPending3ds);

    const auto failedOpen = [](const char* name, const char* mode) {
        ClearErrors3ds();
        EXPECT_EQ(OpenFile3ds(name, mode), nullptr);
        return RaisedErrors();
    };
    EXPECT_EQ(failedOpen("d.bin", "a"), Codes({ERR_INIT_FAILED}));
    EXPECT_EQ(failedOpen("d.bin", std::string(32, 'w').c_str()),
              Codes({ERR_STRING_TOO_LONG, ERR_INIT_FAILED}));
    EXPECT_EQ(failedOpen(nullptr, "w"), Codes({ERR_INVALID_ARG}));
    // A pending error makes every open fail.
    ClearErrors3ds();
    RaiseError3ds(ERR_NO_MEM);
    EXPECT_EQ(OpenFile3ds("e.bin", "w"), nullptr);
    EXPECT_EQ(RaisedErrors(), Codes({ERR_NO_MEM, ERR_INIT_FAILED}));

    // Failed opens leave no record (it would take the first free slot) and no file behind.
    EXPECT_EQ(GetFileByIndex3ds(3), nullptr);
    EXPECT_EQ(ListDirectory("."), (std::vector<std::string>{"b.bin", "c.bin", "in.bin"}));
}

TEST_F(FileIo, FileTableReusesSlotsKeepsTheCurrentFileAndHolds252) {
    File3ds* first = OpenFile3ds("first.bin", "w");
    File3ds* second = OpenFile3ds("second.bin", "w");
    EXPECT_EQ(OpenFile3ds("second.bin", "w"), second);
    EXPECT_EQ(GetFileByIndex3ds(2), nullptr);
    EXPECT_EQ(FindOpenFile3ds("second.bin"), second);
    EXPECT_EQ(FindOpenFile3ds("SECOND.bin"), nullptr);

    SetCurrentFile3ds(second);
    CloseFile3ds(first);
    SelectFileByIndex3ds(0);
    SelectFileByIndex3ds(kNoFileIndex3ds);
    EXPECT_EQ(GetCurrentFile3ds(), second);
    EXPECT_FALSE(IsFileIndexValid3ds(0));
    EXPECT_FALSE(IsFileIndexValid3ds(kNoFileIndex3ds));
    EXPECT_TRUE(IsFileIndexValid3ds(1));

    File3ds* third = OpenFile3ds("third.bin", "w");
    EXPECT_EQ(third->index, 0);
    SelectFileByIndex3ds(0);
    EXPECT_EQ(GetCurrentFile3ds(), third);
    CloseFile3ds(third);
    EXPECT_EQ(GetCurrentFile3ds(), nullptr);

    SetCurrentFile3ds(second);
    WriteULong3ds(0x0A0B0C0D);
    CloseAllFiles3ds();
    EXPECT_FALSE(ErrorPending3ds);
    EXPECT_EQ(GetFileTable3ds(), nullptr);
    EXPECT_EQ(ReadFileBytes("second.bin"), (Bytes{0x0D, 0x0C, 0x0B, 0x0A}));

    // The table holds at most 252 files.
    for (int i = 0; i < kMaxFiles3ds; ++i) {
        ASSERT_NE(OpenFile3ds(("f" + std::to_string(i)).c_str(), "w"), nullptr) << i;
    }
    EXPECT_EQ(OpenFile3ds("f252", "w"), nullptr);
    EXPECT_EQ(RaisedErrors(), Codes({ERR_TOO_MANY_FILES}));
    EXPECT_FALSE(std::filesystem::exists("f252"));
    EXPECT_EQ(GetFileTable3ds()->slotsInUse, kMaxFiles3ds);
}

// A reader moves aside for a writer of its name; a writer closes for a reader.
TEST_F(FileIo, ReaderMovesAsideForAWriterWhichClosesForAReader) {
    std::filesystem::create_directory("sub");
    File3ds* reader = Reader({10, 11, 12, 13, 14, 15, 16, 17}, "sub/data.bin");
    uint8_t head[3] = {};
    ReadByteArray3ds(3, head);

    File3ds* writer = OpenFile3ds("sub/data.bin", "w");
    ASSERT_NE(writer, nullptr);
    EXPECT_NE(writer, reader);
    EXPECT_TRUE(reader->isTemporary);
    EXPECT_EQ(reader->name.rfind("sub/", 0), 0u) << reader->name;
    EXPECT_EQ(ListDirectory("sub").size(), 2u);
    EXPECT_EQ(FindOpenFile3ds("sub/data.bin"), writer);

    SetCurrentFile3ds(writer);
    WriteUShort3ds(0x0201);
    // Opening the name for reading closes the writer, so its bytes are there.
    SetCurrentFile3ds(OpenFile3ds("sub/data.bin", "r"));
    EXPECT_EQ(ReadUShort3ds(), 0x0201);

    // The reader goes on with the old contents where it stopped.
    SetCurrentFile3ds(reader);
    EXPECT_EQ(GetFilePosition3ds(), 3);
    EXPECT_EQ(ReadUByte3ds(), 13);
    CloseFile3ds(reader);
    EXPECT_FALSE(ErrorPending3ds);
    EXPECT_EQ(ListDirectory("sub"), (std::vector<std::string>{"data.bin"}));
    EXPECT_EQ(ReadFileBytes("sub/data.bin"), (Bytes{1, 2}));
}

TEST_F(FileIo, ReaderUnderAVeryLongDirectoryIsNotMoved) {
    std::string path = ".";
    for (int i = 0; i < 3; ++i) {
        path += "/" + std::string(200, 'd');
        std::filesystem::create_directory(path);
    }
    path += "/data.bin";
    File3ds* reader = Reader({7, 8}, path.c_str());
    EXPECT_EQ(OpenFile3ds(path.c_str(), "w"), nullptr);
    EXPECT_EQ(TakeErrors3ds(), Codes({ERR_OPENING_FILE}));
    EXPECT_EQ(reader->name, path);
    EXPECT_EQ(ReadUByte3ds(), 7);
    EXPECT_EQ(ReadFileBytes(path), (Bytes{7, 8}));
}

} // namespace
