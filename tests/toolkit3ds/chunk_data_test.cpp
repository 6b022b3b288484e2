#include "toolkit3ds/chunk_data.h"

#include "tests/support/tree_outline.h"
#include "toolkit3ds/chunk_tree.h"
#include "toolkit3ds/errors.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

class ChunkData : public ToolkitTest {};

// The bytes a new record of each data tag writes: the size of the tag's layout
// in the format.
const std::pair<size_t, std::vector<uint16_t>> kNewRecordSizes[] = {
    {0,
     {0x4150, 0x4182, 0x8001, 0xA320, 0xA321, 0xA322, 0xA324, 0xA325, 0xA326, 0xA328, 0xA32A,
      0xA32C, 0xA32E, 0xA330, 0xA332, 0xA334, 0xA336, 0xA338}},
    {1,
     {0x1100, 0x3080, 0x4000, 0x4165, 0x4181, 0x4653, 0x4654, 0x8002, 0x8003, 0xA000, 0xA300,
      0xB011}},
    {2, {0x0030, 0x1420, 0x1430, 0x4110, 0x4111, 0x4120, 0x4140, 0xA100, 0xA252, 0xA351, 0xB030}},
    {3, {0x0011, 0x0012, 0x4130, 0xA360, 0xA362, 0xA364, 0xA366, 0xA368}},
    {4, {0x0002, 0x0031, 0x0100, 0x1300, 0x1400, 0x1410, 0x1440, 0x1450, 0x1460,
         0x3D3E, 0x4656, 0x4657, 0x4658, 0x4659, 0x465A, 0x465B, 0xA087, 0xA353,
         0xA354, 0xA356, 0xA358, 0xA35A, 0xA35C, 0xB009, 0xB015}},
    {6, {0x4190}},
    {7, {0xB00A, 0xB010}},
    {8, {0x4720, 0x7020, 0xB008}},
    {10, {0x4641}},
    {12, {0x0010, 0x0013, 0x1500, 0x4600, 0xA310, 0xB013}},
    {14, {0x7001, 0xB020, 0xB021, 0xB022, 0xB023, 0xB024, 0xB025, 0xB026, 0xB027, 0xB028, 0xB029}},
    {16, {0x2200, 0x2300, 0x2302, 0x3010, 0x3020, 0x3030, 0x3040, 0x3050, 0x3060}},
    {20, {0x4610}},
    {24, {0xB014}},
    {28, {0x3070}},
    {32, {0x4700}},
    {48, {0x4160}},
    {49, {0x7011, 0x7012}},
    {86, {0x4170}},
};

// Encodes the chunk's record alone and returns the bytes written.
Bytes EncodeRecord(Chunk3ds& chunk) {
    File3ds* file = OpenFile3ds("record.bin", "w");
    EXPECT_NE(file, nullptr);
    chunk.writeFileIndex = file->index;
    WriteChunkData3ds(&chunk);
    CloseFile3ds(file);
    return ReadFileBytes("record.bin");
}

// Opens the bytes as a file and returns a chunk of the tag that reads from it.
std::unique_ptr<Chunk3ds> ChunkInFile(uint32_t tag, const Bytes& bytes, uint32_t size,
                                      uint32_t position = 0) {
    // A fresh name each time: the toolkit would hand back a file already open under a name.
    static int counter = 0;
    const std::string name = "source" + std::to_string(++counter) + ".3ds";
    WriteFileBytes(name, bytes);
    File3ds* file = OpenFile3ds(name.c_str(), "r");
    EXPECT_NE(file, nullptr);
    std::unique_ptr<Chunk3ds> chunk;
    NewChunkWithTag3ds(&chunk, tag);
    chunk->size = size;
    chunk->position = position;
    chunk->readFileIndex = file->index;
    return chunk;
}

// Bytes 01 02 03 ...: as floats they are small numbers, never NaN.
Bytes Pattern(size_t count) {
    Bytes bytes(count);
    for (size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<unsigned char>(1 + i % 60);
    }
    return bytes;
}

// The hex of a text of length letters and its zero byte.
std::string Text(size_t length) {
    return std::string(2 * length, '6') + "00";
}

// A track with two keys, one without spline floats and one with all five,
// each followed by the value.
std::string Track(const std::string& value) {
    return "0102 03040506 0708090A 02000000 0B0C0D0E 0000" + value +
           "0F101112 1F00 13141516 1718191A 1B1C1D1E 1F202122 23242526" + value;
}

// Each data tag's record reads bytes and writes them back unchanged: a pattern
// as long as a new record for the layouts of a fixed size, a sample for the
// others. Texts are longer than the format allows, as files of other programs
// hold them; a camera name fills its field.
TEST_F(ChunkData, EveryDataTagWritesItsLayoutsSizeAndRoundTrips) {
    const std::pair<uint16_t, std::string> samples[] = {
        {kTagVertexList3ds, "0200 0102030405060708090A0B0C 0D0E0F101112131415161718"},
        {kTagVertexFlags3ds, "0200 0102 0304"},
        {kTagFaceList3ds, "0200 0102 0304 0506 0708 090A 0B0C 0D0E 0F10"},
        {kTagMaterialGroup3ds, Text(17) + "0200 0102 0304"},
        {kTagTexVerts3ds, "0200 01020304 05060708 090A0B0C 0D0E0F10"},
        {kTagSmoothGroups3ds, "01020304 05060708 090A0B0C"}, // counted by the chunk size
        {kTagProcedureData3ds, "0102 0304 05"},              // every raw record
        {kTagBoxMap3ds, Text(17) + Text(16) + Text(17) + Text(16) + Text(17) + Text(16)},
        {kTagKeyframerHeader3ds, "0102" + Text(520) + "03040506"},
        {kTagNodeHeader3ds, Text(11) + "0102 0304 0506"},
        {kTagViewportEntry3ds,
         "0102 0304 0506 0708 090A 0B0C 0D0E 0F101112 131415161718191A1B1C1D1E"
         "1F202122 23242526" +
             std::string(22, '6')}, // a camera name filling its field
        {kTagPositionTrack3ds, Track("27282930 31323334 35363738")},
        {kTagRotationTrack3ds, Track("27282930 31323334 35363738 393A3B3C")},
        {kTagFovTrack3ds, Track("27282930")},
        {kTagMorphTrack3ds, Track(Text(11))},
        {kTagHideTrack3ds, Track("")},
    };
    std::map<uint32_t, size_t> sizes;
    for (const auto& [size, tags] : kNewRecordSizes) {
        for (uint16_t tag : tags) {
            sizes[tag] = size;
        }
    }
    for (const ChunkTagInfo3ds& info : ChunkTagTable3ds()) {
        if (info.kind != ChunkKind3ds::kData) {
            continue;
        }
        SCOPED_TRACE(::testing::Message() << "tag 0x" << std::hex << info.tag);
        std::unique_ptr<Chunk3ds> chunk;
        ChunkData3ds* newRecord = NewChunkAndData3ds(&chunk, info.tag);
        ASSERT_NE(newRecord, nullptr);
        EXPECT_EQ(newRecord->index(), info.layout);
        ASSERT_EQ(sizes.count(info.tag), 1u);
        EXPECT_EQ(EncodeRecord(*chunk).size(), sizes[info.tag]);
        Bytes record = Pattern(sizes[info.tag]);
        if (std::holds_alternative<StringData3ds>(*newRecord)) {
            record =
                Hex(Text(info.textLimit == kTextLimitChunk3ds ? 20 : info.textLimit + 1).c_str());
        }
        for (const auto& [tag, hex] : samples) {
            if (FindChunkTagInfo3ds(tag)->layout == info.layout) {
                record = Hex(hex.c_str());
            }
        }
        sizes.erase(info.tag);

        // Loaded from between other bytes, behind a header the load skips.
        const Bytes bytes = Hex("EEEEEE 000000000000") + record + Hex("AABBCCDD");
        auto loaded = ChunkInFile(info.tag, bytes, static_cast<uint32_t>(6 + record.size()), 3);
        ASSERT_NE(ReadChunkData3ds(loaded.get()), nullptr);
        ASSERT_FALSE(ErrorPending3ds);
        EXPECT_EQ(EncodeRecord(*loaded), record);
        CloseAllFiles3ds();
    }
    EXPECT_TRUE(sizes.empty()) << "tags that are not data tags";
}

// A container's record is dropped; flags and unknown tags keep what they hold.
TEST_F(ChunkData, NewRecordOfAContainerIsNoneFlagsKeepTheirsAndCopiesLeaveTheSource) {
    for (uint32_t tag : {uint32_t{kTagTriangleMesh3ds}, uint32_t{kTagObjectHidden3ds}, 0x1234u}) {
        Chunk3ds chunk;
        chunk.tag = tag;
        EXPECT_EQ(NewChunkData3ds(&chunk), nullptr);
        chunk.data = std::make_unique<ChunkData3ds>(RawData3ds{{1, 2}});
        const ChunkData3ds* kept = tag == kTagTriangleMesh3ds ? nullptr : chunk.data.get();
        EXPECT_EQ(NewChunkData3ds(&chunk), kept);
        EXPECT_EQ(chunk.data.get(), kept);
    }
    EXPECT_FALSE(ErrorPending3ds);

    // A copy leaves the source and never replaces a record.
    const ChunkData3ds track = PointTrackData3ds{7, 1, 2, {{{7, 1, 0.5f}, {1, 2, 3}}}};
    Chunk3ds source, copy, other;
    source.data = std::make_unique<ChunkData3ds>(track);
    other.data = std::make_unique<ChunkData3ds>(LongData3ds{1});
    CopyChunkData3ds(&source, &copy);
    CopyChunkData3ds(&source, &other);
    EXPECT_EQ(*source.data, track);
    EXPECT_EQ(*copy.data, track);
    EXPECT_EQ(*other.data, ChunkData3ds(LongData3ds{1}));
}

TEST_F(ChunkData, UnknownTagsKeepTheirBytesByTheChunkSize) {
    std::unique_ptr<Chunk3ds> chunk;
    NewChunkWithTag3ds(&chunk, 0x1234);
    chunk->data = std::make_unique<ChunkData3ds>(RawData3ds{{0xDE, 0xAD, 0xBE, 0xEF}});
    chunk->size = 10;
    EXPECT_EQ(EncodeRecord(*chunk), (Bytes{0xDE, 0xAD, 0xBE, 0xEF}));
    chunk->size = 6;
    EXPECT_EQ(EncodeRecord(*chunk), Bytes{});
    chunk->size = 12; // more than the record holds
    EXPECT_EQ(EncodeRecord(*chunk), Bytes{});
    EXPECT_EQ(TakeErrors3ds(), Codes{ERR_INVALID_DATA});

    const Bytes file = Hex("3412 0A000000 01020304 05");
    auto loaded = ChunkInFile(0x1234, file, 10);
    EXPECT_EQ(*ReadChunkData3ds(loaded.get()), ChunkData3ds(RawData3ds{{1, 2, 3, 4}}));
    EXPECT_EQ(EncodeRecord(*loaded), (Bytes{1, 2, 3, 4}));

    // The parent-name note is never loaded or written.
    auto note = ChunkInFile(kTagParentName3ds, file, 10);
    EXPECT_EQ(ReadChunkData3ds(note.get()), nullptr);
    note->data = std::make_unique<ChunkData3ds>(StringData3ds{"Hips"});
    EXPECT_EQ(EncodeRecord(*note), Bytes{});
    EXPECT_FALSE(ErrorPending3ds);
}

TEST_F(ChunkData, RecordsThatCannotBeEncodedWriteNothing) {
    std::unique_ptr<Chunk3ds> chunk;
    auto* vertices =
        GetChunkData3ds<VertexListData3ds>(NewChunkAndData3ds(&chunk, kTagVertexList3ds));
    vertices->vertices.resize(65536);
    EXPECT_EQ(EncodeRecord(*chunk), Bytes{});
    EXPECT_EQ(TakeErrors3ds(), Codes{ERR_INVALID_DATA});

    auto* entry =
        GetChunkData3ds<ViewportEntryData3ds>(NewChunkAndData3ds(&chunk, kTagViewportEntry3ds));
    entry->cameraName = "LongerCamera"; // one more than its field holds
    EXPECT_EQ(EncodeRecord(*chunk), Bytes{});
    EXPECT_EQ(TakeErrors3ds(), Codes{ERR_STRING_TOO_LONG});

    chunk->tag = kTagCamera3ds; // still holds the entry's layout
    EXPECT_EQ(EncodeRecord(*chunk), Bytes{});
    EXPECT_EQ(TakeErrors3ds(), Codes{ERR_INVALID_DATA});

    // A record whose file is not open does not go to the current file instead.
    File3ds* current = OpenFile3ds("current.bin", "w");
    SetCurrentFile3ds(current);
    WriteUByte3ds(0xEE);
    NewChunkAndData3ds(&chunk, kTagMeshVersion3ds);
    chunk->writeFileIndex = 200;
    WriteChunkData3ds(chunk.get());
    CloseFile3ds(current);
    EXPECT_EQ(RaisedErrors(), Codes{ERR_WRITING_FILE});
    EXPECT_EQ(ReadFileBytes("current.bin"), Bytes{0xEE});
}

// A record longer than the file is refused before anything is allocated; a text
// beyond its chunk is reported, keeping what was read. Counts beyond their chunk
// are the database reader's malformed files.
TEST_F(ChunkData, LoadingRefusesRecordsAndTextsBeyondTheirChunk) {
    struct Case {
        uint32_t tag;
        const char* bytes;
        uint32_t size;
        int32_t code;
        bool kept;
    };
    const Case cases[] = {
        {0x1234, "3412 0A000000 01020304", 0xFFFFFFF0u, ERR_INVALID_CHUNK, false},
        // "abcdef" ending beyond its chunk.
        {kTagExtraDataText3ds, "0380 09000000 616263646566 00", 9, ERR_READING_FILE, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        auto chunk = ChunkInFile(c.tag, Hex(c.bytes), c.size);
        EXPECT_EQ(ReadChunkData3ds(chunk.get()) != nullptr, c.kept);
        EXPECT_EQ(TakeErrors3ds(), Codes{c.code});
    }
}

} // namespace
