#include "toolkit3ds/file_io.h"

#include "tests/support/temp_dir.h"
#include "toolkit3ds/errors.h"

#include <gtest/gtest.h>

#include <bit>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

class FileIo : public ::testing::Test {
protected:
    void SetUp() override { ResetToolkit(); }
    void TearDown() override { ResetToolkit(); }

    // A failed close still frees its record, so this ends with the table gone.
    static void ResetToolkit() {
        do {
            ClearErrors3ds();
            CloseAllFiles3ds();
        } while (GetFileTable3ds() != nullptr);
        ClearErrors3ds();
    }

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

    static std::vector<int32_t> Raised() {
        std::vector<int32_t> codes;
        for (const ErrorRecord3ds& entry : ErrorList3ds()) {
            if (entry.code != 0) {
                codes.push_back(entry.code);
            }
        }
        return codes;
    }

    ScopedTempDir dir;
};

using Codes = std::vector<int32_t>;

TEST_F(FileIo, PrimitivesAreLittleEndianBothWays) {
    const Bytes expected = {
        0x4D, 0x4D, 0x34, 0x12, 0x00, 0x00, // chunk header 0x4D4D, length 0x1234
        0x00, 0x00, 0x80, 0x3F,             // 1.0f
        0x00, 0x00, 0x00, 0x80,             // -0.0f
        0xFE, 0x81,                         // byte -2, ubyte 0x81
        0xFE, 0xFF, 0xB2, 0xA1,             // short -2, ushort 0xA1B2
        0xFE, 0xFF, 0xFF, 0xFF,             // long -2
        0x04, 0x03, 0x02, 0x01,             // ulong 0x01020304
        0x01, 0x02, 0x03,                   // byte array
    };
    const uint8_t array[] = {1, 2, 3};
    const Bytes bytes = Written([&] {
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
    });
    EXPECT_EQ(bytes, expected);

    Reader(bytes);
    EXPECT_EQ(ReadUShort3ds(), 0x4D4D);
    EXPECT_EQ(ReadULong3ds(), 0x1234u);
    EXPECT_EQ(ReadFloat3ds(), 1.0f);
    EXPECT_EQ(std::bit_cast<uint32_t>(ReadFloat3ds()), 0x80000000u);
    EXPECT_EQ(ReadByte3ds(), -2);
    EXPECT_EQ(ReadUByte3ds(), 0x81);
    EXPECT_EQ(ReadShort3ds(), -2);
    EXPECT_EQ(ReadUShort3ds(), 0xA1B2);
    EXPECT_EQ(ReadLong3ds(), -2);
    EXPECT_EQ(ReadULong3ds(), 0x01020304u);
    uint8_t arrayBack[3] = {};
    ReadByteArray3ds(3, arrayBack);
    EXPECT_EQ(Bytes(arrayBack, arrayBack + 3), Bytes(array, array + 3));
    EXPECT_FALSE(ErrorPending3ds);
    EXPECT_EQ(ReadULong3ds(), 0u);
    EXPECT_EQ(Raised(), Codes({ERR_READING_FILE}));
}

TEST_F(FileIo, StringsAndFixedFieldsBothWays) {
    const Bytes expected = {
        0x00,                                                 // ""
        0x61, 0x62, 0x00,                                     // "ab"
        0x61, 0x62, 0x63, 0x00,                               // "abc" in 11 bytes
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x78, 0x00, // "x\0y" ends at its zero byte
        0x61, 0x62, 0x63, 0x64,       // "abcd" fills its 4-byte field: no zero
        0x61, 0x62, 0x63, 0x64, 0x65, // "abcde" overruns it, written whole
    };
    const Bytes bytes = Written([] {
        WriteString3ds("");
        WriteString3ds("ab");
        WriteFixedString3ds("abc", 11);
        WriteString3ds(std::string_view("x\0y", 3));
        WriteFixedString3ds("abcd", 4);
        WriteFixedString3ds("abcde", 4);
    });
    EXPECT_EQ(bytes, expected);

    Reader(bytes);
    EXPECT_EQ(ReadString3ds(0), "");
    EXPECT_EQ(ReadString3ds(2), "ab");
    EXPECT_EQ(ReadFixedString3ds(10), "abc");
    EXPECT_EQ(ReadString3ds(1), "x");
    EXPECT_FALSE(ErrorPending3ds);
    // Within the limit of 3 there is no zero byte.
    EXPECT_EQ(ReadString3ds(3), "");
    EXPECT_EQ(Raised(), Codes({ERR_READING_FILE}));
}

TEST_F(FileIo, CompositesBothWays) {
    const Bytes expected = {
        0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x20, 0xC0, 0x00, 0x00, 0x00, 0x00, // point 1, -2.5, 0
        0x00, 0x00, 0x00, 0x3F, 0x00, 0x00, 0x00, 0x40,                         // tex vert 0.5, 2
        0xFF, 0xFF, 0x02, 0x00, 0x02, 0x01, 0x07, 0x00, // face 0xFFFF, 2, 0x102, flags 7
        0x40, 0x00, 0xEF, 0xBE, 0xAD, 0xDE,             // track flags 0x40, 0xDEADBEEF
        0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, // 0, 3 keys
    };
    const Bytes bytes = Written([] {
        WritePoint3ds({1.0f, -2.5f, 0.0f});
        WriteTexVert3ds({0.5f, 2.0f});
        WriteFace3ds({0xFFFF, 2, 0x0102, 7});
        WriteTrackHeader3ds({0x40, 0xDEADBEEF, 0, 3});
    });
    EXPECT_EQ(bytes, expected);

    Reader(bytes);
    const Point3ds point = ReadPoint3ds();
    EXPECT_EQ((std::vector<float>{point.x, point.y, point.z}), (std::vector<float>{1, -2.5f, 0}));
    const TexVert3ds texVert = ReadTexVert3ds();
    EXPECT_EQ((std::vector<float>{texVert.u, texVert.v}), (std::vector<float>{0.5f, 2}));
    const Face3ds face = ReadFace3ds();
    EXPECT_EQ((std::vector<int>{face.vertexA, face.vertexB, face.vertexC, face.flags}),
              (std::vector<int>{0xFFFF, 2, 0x0102, 7}));
    const TrackHeader3ds track = ReadTrackHeader3ds();
    EXPECT_EQ(
        (std::vector<uint32_t>{track.flags, track.reserved1, track.reserved2, track.keyCount}),
        (std::vector<uint32_t>{0x40, 0xDEADBEEF, 0, 3}));
    EXPECT_FALSE(ErrorPending3ds);
}

TEST_F(FileIo, KeyHeadersCarryOneFloatPerSplineFlag) {
    const Bytes expected = {
        0x10, 0x00, 0x00, 0x00, 0x00, 0x00, // time 16, no flags: 6 bytes
        0x05, 0x00, 0x00, 0x00, 0x1F, 0x00, // time 5, all five flags: 26 bytes
        0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00,
        0x20, 0xC0, 0x00, 0x00, 0x00, 0x3F, 0x00, 0x00, 0x80, 0xBF, //
        0x01, 0x00, 0x00, 0x00, 0x14, 0x00,                         // time 1, bias and ease from
        0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00, 0x40,
    };
    const Bytes bytes = Written([] {
        WriteKeyHeader3ds({.time = 16, .splineFlags = 0, .tension = 9.0f});
        WriteKeyHeader3ds({5, 0x1F, 1.0f, 2.0f, -2.5f, 0.5f, -1.0f});
        WriteKeyHeader3ds({.time = 1, .splineFlags = 0x14, .bias = 1.0f, .easeFrom = 2.0f});
    });
    EXPECT_EQ(bytes, expected);

    Reader(bytes);
    const auto fields = [](const KeyHeader3ds& key) {
        return std::vector<float>{float(key.time), float(key.splineFlags),
                                  key.tension,     key.continuity,
                                  key.bias,        key.easeTo,
                                  key.easeFrom};
    };
    EXPECT_EQ(fields(ReadKeyHeader3ds()), (std::vector<float>{16, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(fields(ReadKeyHeader3ds()), (std::vector<float>{5, 0x1F, 1, 2, -2.5f, 0.5f, -1}));
    EXPECT_EQ(fields(ReadKeyHeader3ds()), (std::vector<float>{1, 0x14, 0, 0, 1, 0, 2}));
    EXPECT_FALSE(ErrorPending3ds);
}

TEST_F(FileIo, ReadsPastTheEndKeepDefaults) {
    Reader({0x34});
    EXPECT_EQ(ReadUShort3ds(), 0);
    EXPECT_EQ(Raised(), Codes({ERR_READING_FILE}));

    ClearErrors3ds();
    Reader({0x05, 0x00, 0x06}, "face.bin");
    const Face3ds face = ReadFace3ds();
    EXPECT_EQ((std::vector<int>{face.vertexA, face.vertexB, face.vertexC, face.flags}),
              (std::vector<int>{5, 1, 2, 0}));
    EXPECT_TRUE(ErrorPending3ds);

    ClearErrors3ds();
    Reader({0x01, 0x00, 0x02, 0x00, 0x00, 0x00}, "track.bin");
    const TrackHeader3ds track = ReadTrackHeader3ds();
    EXPECT_EQ(
        (std::vector<uint32_t>{track.flags, track.reserved1, track.reserved2, track.keyCount}),
        (std::vector<uint32_t>{1, 2, 0, 1}));
    EXPECT_TRUE(ErrorPending3ds);

    ClearErrors3ds();
    Reader({0x07, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x80, 0x3F, 0x00}, "key.bin");
    const KeyHeader3ds key = ReadKeyHeader3ds();
    EXPECT_EQ(key.time, 7u);
    EXPECT_EQ(key.splineFlags, 3);
    EXPECT_EQ(key.tension, 1.0f);
    EXPECT_EQ(key.continuity, 0.0f);
    EXPECT_EQ(Raised(), Codes({ERR_READING_FILE}));

    ClearErrors3ds();
    Reader({0x00, 0x00, 0x80, 0x3F}, "point.bin");
    const Point3ds point = ReadPoint3ds();
    EXPECT_EQ((std::vector<float>{point.x, point.y, point.z}), (std::vector<float>{1, 0, 0}));
    EXPECT_TRUE(ErrorPending3ds);
}

TEST_F(FileIo, StringReadersStopAtTheirLimit) {
    // A huge limit costs nothing up front; the end of the file stops the read.
    Reader({'a', 'b'});
    EXPECT_EQ(ReadString3ds(100000000), "");
    EXPECT_EQ(Raised(), Codes({ERR_READING_FILE}));

    // A fixed field is consumed whole, and must hold its zero byte.
    ClearErrors3ds();
    Reader({'C', 'a', 'm', 0, 'x', 'y', 0x42, 'a', 'b', 'c', 'd', 'e'}, "fixed.bin");
    EXPECT_EQ(ReadFixedString3ds(5), "Cam");
    EXPECT_EQ(ReadUByte3ds(), 0x42);
    EXPECT_EQ(ReadFixedString3ds(3), "");
    EXPECT_EQ(Raised(), Codes({ERR_READING_FILE}));
}

TEST_F(FileIo, PatchesChunkLengthAndReturnsToTheEnd) {
    const Bytes expected = {0x3D, 0x3D, 0x0A, 0x00, 0x00, 0x00, 1, 2, 3, 4, 0xEE};
    EXPECT_EQ(Written([] {
                  WriteChunkHeader3ds(0x3D3D, 0);
                  WriteULong3ds(0x04030201);
                  const int32_t end = GetFilePosition3ds();
                  PatchChunkLength3ds(0, end);
                  EXPECT_EQ(GetFilePosition3ds(), end);
                  WriteUByte3ds(0xEE);
              }),
              expected);

    // A length that would be negative is refused, not wrapped.
    SetCurrentFile3ds(OpenFile3ds("out2.bin", "w"));
    WriteChunkHeader3ds(0x3D3D, 0);
    PatchChunkLength3ds(4, 2);
    PatchChunkLength3ds(-1, 2);
    EXPECT_EQ(Raised(), Codes({ERR_WRITING_FILE, ERR_WRITING_FILE}));
}

TEST_F(FileIo, WithoutACurrentFileNothingCrashes) {
    WriteUByte3ds(1);
    EXPECT_EQ(ReadULong3ds(), 0u);
    WriteString3ds("abc");
    PatchChunkLength3ds(0, 6);
    EXPECT_EQ(GetFilePosition3ds(), -1);
    SetFilePosition3ds(3);
    EXPECT_EQ(Raised(),
              Codes({ERR_WRITING_FILE, ERR_READING_FILE, ERR_WRITING_FILE, ERR_WRITING_FILE}));

    // A record the table does not hold never becomes current.
    ClearErrors3ds();
    File3ds stray;
    SetCurrentFile3ds(&stray);
    EXPECT_EQ(GetCurrentFile3ds(), nullptr);
    EXPECT_EQ(Raised(), Codes({ERR_INVALID_ARG}));
}

TEST_F(FileIo, WriteToAFullDeviceFailsAndSoDoesTheClose) {
    if (!std::filesystem::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    File3ds* file = OpenFile3ds("/dev/full", "w");
    ASSERT_NE(file, nullptr);
    SetCurrentFile3ds(file);
    for (uint32_t i = 0; i < kFileBufferSize3ds; ++i) {
        WriteUByte3ds(0xAB);
    }
    EXPECT_FALSE(ErrorPending3ds);
    WriteUByte3ds(0xAB);
    EXPECT_EQ(Raised(), Codes({ERR_WRITING_FILE}));
    CloseFile3ds(file);
    EXPECT_EQ(Raised(), Codes({ERR_WRITING_FILE, ERR_CLOSING_FILE}));
    EXPECT_EQ(GetFileByIndex3ds(0), nullptr);
    EXPECT_EQ(GetCurrentFile3ds(), nullptr);
}

TEST_F(FileIo, OpensByTheFirstReadOrWriteInTheMode) {
    WriteFileBytes("in.bin", {1, 2, 3});
    File3ds* writer = OpenFile3ds("in.bin", "w");
    ASSERT_NE(writer, nullptr);
    EXPECT_EQ(writer->mode, kModeWrite3ds);
    EXPECT_EQ(writer->index, 0);
    EXPECT_EQ(writer->bufferSize, kFileBufferSize3ds);
    EXPECT_EQ(GetCurrentFile3ds(), nullptr);
    EXPECT_TRUE(ReadFileBytes("in.bin").empty());
    CloseFile3ds(writer);

    EXPECT_EQ(OpenFile3ds("a.bin", "rw"), nullptr); // reads, and there is no a.bin
    EXPECT_EQ(Raised(), Codes({ERR_OPENING_FILE}));
    ClearErrors3ds();
    EXPECT_EQ(OpenFile3ds("in.bin", "rw")->mode, kModeRead3ds);
    EXPECT_EQ(OpenFile3ds("b.bin", "wr")->mode, kModeWrite3ds);
    EXPECT_EQ(OpenFile3ds("c.bin", std::string(30, 'x').append("w").c_str())->mode, kModeWrite3ds);
    EXPECT_FALSE(ErrorPending3ds);

    const auto failedOpen = [](const char* name, const char* mode) {
        ClearErrors3ds();
        EXPECT_EQ(OpenFile3ds(name, mode), nullptr);
        return Raised();
    };
    EXPECT_EQ(failedOpen("d.bin", "a"), Codes({ERR_INIT_FAILED}));
    EXPECT_EQ(failedOpen("d.bin", std::string(32, 'w').c_str()),
              Codes({ERR_STRING_TOO_LONG, ERR_INIT_FAILED}));
    EXPECT_EQ(failedOpen(nullptr, "w"), Codes({ERR_INVALID_ARG}));
    // A pending error makes every open fail.
    ClearErrors3ds();
    RaiseError3ds(ERR_NO_MEM);
    EXPECT_EQ(OpenFile3ds("e.bin", "w"), nullptr);
    EXPECT_EQ(Raised(), Codes({ERR_NO_MEM, ERR_INIT_FAILED}));

    // Failed opens leave no record and no file behind.
    for (uint8_t slot = 0; slot < GetFileTable3ds()->slotsInUse; ++slot) {
        const File3ds* file = GetFileByIndex3ds(slot);
        EXPECT_TRUE(file == nullptr || file->name == "in.bin" || file->name == "b.bin" ||
                    file->name == "c.bin")
            << file->name;
    }
    EXPECT_EQ(ListDirectory("."), (std::vector<std::string>{"b.bin", "c.bin", "in.bin"}));
}

TEST_F(FileIo, FileTableReusesSlotsAndKeepsTheCurrentFile) {
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
}

TEST_F(FileIo, TableHoldsAtMost252Files) {
    for (int i = 0; i < kMaxFiles3ds; ++i) {
        ASSERT_NE(OpenFile3ds(("f" + std::to_string(i)).c_str(), "w"), nullptr) << i;
    }
    EXPECT_EQ(OpenFile3ds("f252", "w"), nullptr);
    EXPECT_EQ(Raised(), Codes({ERR_TOO_MANY_FILES}));
    EXPECT_FALSE(std::filesystem::exists("f252"));
    EXPECT_EQ(GetFileTable3ds()->slotsInUse, kMaxFiles3ds);
}

TEST_F(FileIo, ReaderMovesAsideWhenItsNameIsOpenedForWriting) {
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
    CloseFile3ds(writer);

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
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(OpenFile3ds(path.c_str(), "w"), nullptr);
    EXPECT_EQ(Raised(), Codes({ERR_OPENING_FILE}));
    EXPECT_EQ(reader->name, path);
    EXPECT_FALSE(reader->isTemporary);
    EXPECT_EQ(GetFileByIndex3ds(1), nullptr);
    ClearErrors3ds();
    EXPECT_EQ(ReadUByte3ds(), 7);
    EXPECT_EQ(ReadFileBytes(path), (Bytes{7, 8}));
}

TEST_F(FileIo, OpeningForReadingAFileOpenForWritingClosesTheWriter) {
    File3ds* writer = OpenFile3ds("data.bin", "w");
    SetCurrentFile3ds(writer);
    WriteUShort3ds(0xCDAB);
    File3ds* reader = OpenFile3ds("data.bin", "r");
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(GetFileByIndex3ds(0), nullptr);
    EXPECT_EQ(GetCurrentFile3ds(), nullptr);
    SetCurrentFile3ds(reader);
    EXPECT_EQ(ReadUShort3ds(), 0xCDAB);
    EXPECT_FALSE(ErrorPending3ds);
}

TEST_F(FileIo, BoundedLengthLooksNoFurtherThanItsLimit) {
    EXPECT_EQ(BoundedLength3ds("abcd", 3), 4u);
    EXPECT_EQ(BoundedLength3ds("abcde", 3), 0u);
    EXPECT_EQ(BoundedLength3ds(nullptr, 3), 0u);
    EXPECT_EQ(Raised(), Codes({ERR_STRING_TOO_LONG, ERR_INVALID_ARG}));
}

} // namespace
