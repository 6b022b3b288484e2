#include "toolkit3ds/chunk_data.h"

#include "tests/support/chunk_reader.h"
#include "tests/support/tree_outline.h"
#include "toolkit3ds/chunk_tree.h"
#include "toolkit3ds/errors.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

using ByteList = std::vector<unsigned char>;

// Bytes written around the chunk, so that loading must honour its position and size.
const ByteList kLeadingBytes = {0xEE, 0xEE, 0xEE};
const ByteList kTrailingBytes = {0xAA, 0xBB, 0xCC, 0xDD};

class ChunkData : public ToolkitTest {};

// The bytes a new record of each data tag writes: the size of the tag's layout
// in the format.
const std::map<uint16_t, size_t> kNewRecordSizes = {
    {0x4165, 1},  {0x0030, 2},  {0x1420, 2},  {0x1430, 2},  {0xA100, 2},  {0xA252, 2},
    {0xA351, 2},  {0xB030, 2},  {0x4110, 2},  {0x4111, 2},  {0x4120, 2},  {0x4140, 2},
    {0x0011, 3},  {0x0012, 3},  {0xA360, 3},  {0xA362, 3},  {0xA364, 3},  {0xA366, 3},
    {0xA368, 3},  {0x4130, 3},  {0x0002, 4},  {0x3D3E, 4},  {0x1440, 4},  {0xB009, 4},
    {0x0031, 4},  {0x0100, 4},  {0x1300, 4},  {0x1400, 4},  {0x1410, 4},  {0x1450, 4},
    {0x1460, 4},  {0x4656, 4},  {0x4657, 4},  {0x4658, 4},  {0x4659, 4},  {0x465A, 4},
    {0x465B, 4},  {0xA087, 4},  {0xA353, 4},  {0xA354, 4},  {0xA356, 4},  {0xA358, 4},
    {0xA35A, 4},  {0xA35C, 4},  {0xB015, 4},  {0x0010, 12}, {0x0013, 12}, {0x1500, 12},
    {0x4600, 12}, {0xB013, 12}, {0x1100, 1},  {0x3080, 1},  {0x4000, 1},  {0x4181, 1},
    {0x4653, 1},  {0x4654, 1},  {0x8002, 1},  {0x8003, 1},  {0xA000, 1},  {0xA300, 1},
    {0xB011, 1},  {0x4150, 0},  {0x4182, 0},  {0x8001, 0},  {0xA320, 0},  {0xA321, 0},
    {0xA322, 0},  {0xA324, 0},  {0xA325, 0},  {0xA326, 0},  {0xA328, 0},  {0xA32A, 0},
    {0xA32C, 0},  {0xA32E, 0},  {0xA330, 0},  {0xA332, 0},  {0xA334, 0},  {0xA336, 0},
    {0xA338, 0},  {0x2200, 16}, {0x2300, 16}, {0x2302, 16}, {0x3010, 16}, {0x3020, 16},
    {0x3030, 16}, {0x3040, 16}, {0x3050, 16}, {0x3060, 16}, {0x3070, 28}, {0x7001, 14},
    {0x7011, 49}, {0x7012, 49}, {0x7020, 8},  {0x4720, 8},  {0xB008, 8},  {0x4160, 48},
    {0x4170, 86}, {0x4190, 6},  {0x4610, 20}, {0x4641, 10}, {0x4700, 32}, {0xA310, 12},
    {0xB00A, 7},  {0xB010, 7},  {0xB014, 24}, {0xB020, 14}, {0xB021, 14}, {0xB022, 14},
    {0xB023, 14}, {0xB024, 14}, {0xB025, 14}, {0xB026, 14}, {0xB027, 14}, {0xB028, 14},
    {0xB029, 14},
};

// Encodes the chunk's record alone and returns the bytes written.
ByteList EncodeRecord(Chunk3ds& chunk) {
    File3ds* file = OpenFile3ds("record.bin", "w");
    EXPECT_NE(file, nullptr);
    chunk.writeFileIndex = file->index;
    WriteChunkData3ds(&chunk);
    CloseFile3ds(file);
    return ReadFileBytes("record.bin");
}

// Writes the chunk framed by its header between kLeadingBytes and kTrailingBytes,
// returns the file.
ByteList WriteFramed(Chunk3ds& chunk) {
    File3ds* file = OpenFile3ds("chunk.3ds", "w");
    EXPECT_NE(file, nullptr);
    SetCurrentFile3ds(file);
    WriteByteArray3ds(static_cast<uint32_t>(kLeadingBytes.size()), kLeadingBytes.data());
    const int32_t start = GetFilePosition3ds();
    WriteChunkHeader3ds(static_cast<uint16_t>(chunk.tag), 0);
    chunk.writeFileIndex = file->index;
    WriteChunkData3ds(&chunk);
    SelectFileByIndex3ds(file->index);
    PatchChunkLength3ds(start, GetFilePosition3ds());
    WriteByteArray3ds(static_cast<uint32_t>(kTrailingBytes.size()), kTrailingBytes.data());
    CloseFile3ds(file);
    return ReadFileBytes("chunk.3ds");
}

// Opens the bytes as a file and returns a chunk of the tag that reads from it.
std::unique_ptr<Chunk3ds> ChunkInFile(uint32_t tag, const ByteList& bytes, uint32_t size,
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

// Fills any layout with values that differ from each other and from the defaults.
struct Filler {
    uint32_t textLimit = 0;
    uint32_t next = 1;

    float F() { return static_cast<float>(next++) * 1.25f; }
    int16_t S() { return static_cast<int16_t>(next++ * 257); }
    uint16_t W() { return static_cast<uint16_t>(0xF000 + next++); }
    uint8_t B() { return static_cast<uint8_t>(next++ * 3); }
    Point3ds P() { return {F(), F(), F()}; }
    std::string Name(uint32_t limit) {
        std::string name = "N" + std::to_string(next++) + "abcdefghijklmnop";
        return name.substr(0, limit);
    }
    KeyHeader3ds Key(uint16_t splineFlags) {
        KeyHeader3ds header;
        header.time = next++;
        header.splineFlags = splineFlags;
        // Only the floats whose flags are set reach the file.
        header.tension = (splineFlags & kSplineTension3ds) ? F() : 0;
        header.continuity = (splineFlags & kSplineContinuity3ds) ? F() : 0;
        header.bias = (splineFlags & kSplineBias3ds) ? F() : 0;
        header.easeTo = (splineFlags & kSplineEaseTo3ds) ? F() : 0;
        header.easeFrom = (splineFlags & kSplineEaseFrom3ds) ? F() : 0;
        return header;
    }
    void FillValue(Point3ds& value) { value = P(); }
    void FillValue(RotationValue3ds& value) { value = {F(), F(), F(), F()}; }
    void FillValue(float& value) { value = F(); }
    void FillValue(std::string& value) { value = Name(10); }
    void FillValue(NoValue3ds&) {}

    void operator()(LongData3ds& r) { r.value = -70000 - static_cast<int32_t>(next++); }
    void operator()(ShortData3ds& r) { r.value = S(); }
    void operator()(WordData3ds& r) { r.value = W(); }
    void operator()(ByteData3ds& r) { r.value = B(); }
    void operator()(FloatData3ds& r) { r.value = F(); }
    void operator()(ColorFloatData3ds& r) { r = {F(), F(), F()}; }
    void operator()(ColorByteData3ds& r) { r = {B(), B(), B()}; }
    void operator()(PointData3ds& r) { r.point = P(); }
    void operator()(StringData3ds& r) { r.text = Name(textLimit); }
    void operator()(FogData3ds& r) { r = {F(), F(), F(), F()}; }
    void operator()(LayeredFogData3ds& r) { r = {F(), F(), F(), 0x80000001u}; }
    void operator()(OrthoViewData3ds& r) { r = {P(), F()}; }
    void operator()(UserViewData3ds& r) { r = {P(), F(), F(), F(), F()}; }
    void operator()(ViewportLayoutData3ds& r) {
        for (int16_t& value : r.state) {
            value = S();
        }
    }
    void operator()(ViewportEntryData3ds& r) {
        r = {{S(), S()}, S(), S(), S(), S(), W(), F(), P(), F(), F(), Name(10)};
    }
    void operator()(ViewportSizeData3ds& r) { r = {W(), W(), W(), W()}; }
    void operator()(VertexListData3ds& r) { r.vertices = {P(), P(), P()}; }
    void operator()(VertexFlagsData3ds& r) { r.flags = {W(), W()}; }
    void operator()(FaceListData3ds& r) { r.faces = {{W(), W(), W(), W()}, {W(), W(), W(), W()}}; }
    void operator()(MaterialGroupData3ds& r) { r = {Name(16), {W(), W(), W()}}; }
    void operator()(TexVertsData3ds& r) { r.texVerts = {{F(), F()}, {F(), F()}}; }
    void operator()(SmoothGroupsData3ds& r) { r.groups = {0xFFFFFFFFu, next++, 0x80000000u}; }
    void operator()(LocalAxesData3ds& r) {
        for (float& value : r.matrix) {
            value = F();
        }
    }
    void operator()(MappingIconData3ds& r) {
        r.mapType = W();
        r.tileX = F();
        r.tileY = F();
        r.iconPosition = P();
        r.iconScaling = F();
        for (float& value : r.iconMatrix) {
            value = F();
        }
        r.planarWidth = F();
        r.planarHeight = F();
        r.cylinderHeight = F();
    }
    void operator()(RawData3ds& r) { r.bytes = {B(), 0, B(), 0xFF, B()}; }
    void operator()(BoxMapData3ds& r) {
        for (std::string& name : r.names) {
            name = Name(16);
        }
    }
    void operator()(SpotlightData3ds& r) { r = {P(), F(), F()}; }
    void operator()(LightShadowData3ds& r) { r = {F(), F(), S()}; }
    void operator()(CameraData3ds& r) { r = {P(), P(), F(), F()}; }
    void operator()(CameraRangesData3ds& r) { r = {F(), F()}; }
    void operator()(AutoReflectionData3ds& r) { r = {-3, 4, S(), 0xFFFFFFF0u, next++}; }
    void operator()(FrameRangeData3ds& r) { r = {-5, static_cast<int32_t>(next++)}; }
    void operator()(KeyframerHeaderData3ds& r) { r = {S(), "scene.prj", -30}; }
    void operator()(NodeHeaderData3ds& r) { r = {Name(10), W(), W(), 0xFFFF}; }
    void operator()(BoundingBoxData3ds& r) { r = {P(), P()}; }
    template <typename Value> void operator()(TrackData3ds<Value>& r) {
        r.flags = W();
        r.reserved1 = next++;
        r.reserved2 = 0xFFFFFFFFu;
        for (uint16_t splineFlags : {0x00, 0x1F, 0x05}) {
            TrackKey3ds<Value> key;
            key.header = Key(splineFlags);
            FillValue(key.value);
            r.keys.push_back(key);
        }
    }
};

TEST_F(ChunkData, EveryDataTagWritesItsLayoutsSizeAndRoundTrips) {
    size_t tested = 0;
    for (const ChunkTagInfo3ds& info : ChunkTagTable3ds()) {
        if (info.kind != ChunkKind3ds::kData) {
            continue;
        }
        SCOPED_TRACE(::testing::Message() << "tag 0x" << std::hex << info.tag);
        std::unique_ptr<Chunk3ds> written;
        ChunkData3ds* record = NewChunkAndData3ds(&written, info.tag);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->index(), info.layout);
        ASSERT_TRUE(kNewRecordSizes.contains(info.tag));
        EXPECT_EQ(EncodeRecord(*written).size(), kNewRecordSizes.at(info.tag));
        std::visit(Filler{info.textLimit}, *record);

        const ByteList bytes = WriteFramed(*written);
        ASSERT_FALSE(ErrorPending3ds);
        // One chunk, whose length covers exactly the header and the record.
        const auto chunks =
            ReadChunkList(bytes, kLeadingBytes.size(), bytes.size() - kTrailingBytes.size());
        ASSERT_EQ(chunks.size(), 1u);
        EXPECT_EQ(chunks[0].tag, info.tag);

        auto loaded = ChunkInFile(info.tag, bytes, chunks[0].length,
                                  static_cast<uint32_t>(kLeadingBytes.size()));
        ChunkData3ds* read = ReadChunkData3ds(loaded.get());
        ASSERT_FALSE(ErrorPending3ds);
        ASSERT_NE(read, nullptr);
        EXPECT_EQ(*read, *record);
        CloseAllFiles3ds();
        ++tested;
    }
    EXPECT_EQ(tested, kNewRecordSizes.size());
}

TEST_F(ChunkData, NewRecordOfAContainerIsNoneAndFlagsKeepTheirs) {
    std::unique_ptr<Chunk3ds> chunk;
    NewChunkWithTag3ds(&chunk, kTagTriangleMesh3ds);
    chunk->data = std::make_unique<ChunkData3ds>(RawData3ds{{1, 2}});
    EXPECT_EQ(NewChunkData3ds(chunk.get()), nullptr);
    EXPECT_EQ(chunk->data, nullptr);

    // Flags and unknown tags keep whatever they hold.
    for (uint32_t tag : {uint32_t{kTagObjectHidden3ds}, uint32_t{0x1234}}) {
        chunk->tag = tag;
        chunk->data.reset();
        EXPECT_EQ(NewChunkData3ds(chunk.get()), nullptr);
        chunk->data = std::make_unique<ChunkData3ds>(RawData3ds{{1, 2}});
        EXPECT_EQ(NewChunkData3ds(chunk.get()), chunk->data.get());
        EXPECT_EQ(*chunk->data, ChunkData3ds(RawData3ds{{1, 2}}));
    }
    EXPECT_FALSE(ErrorPending3ds);
}

// Views hold their target first in memory and their width first on disk.
TEST_F(ChunkData, ViewRecordsWriteTheWidthFirst) {
    std::unique_ptr<Chunk3ds> chunk;
    auto* top = GetChunkData3ds<OrthoViewData3ds>(NewChunkAndData3ds(&chunk, kTagTopView3ds));
    *top = {{1, 2, 3}, 100};
    EXPECT_EQ(EncodeRecord(*chunk), Hex("0000C842"                      // width 100
                                        "0000803F 00000040 00004040")); // target 1, 2, 3
    auto* user = GetChunkData3ds<UserViewData3ds>(NewChunkAndData3ds(&chunk, kTagUserView3ds));
    *user = {{1, 2, 3}, 100, 20, 30, -1};
    EXPECT_EQ(EncodeRecord(*chunk), Hex("0000C842 0000A041 0000F041 000080BF" // 100, 20, 30, -1
                                        "0000803F 00000040 00004040"));       // target 1, 2, 3
    EXPECT_FALSE(ErrorPending3ds);
}

TEST_F(ChunkData, TracksWriteHeaderThenKeys) {
    std::unique_ptr<Chunk3ds> chunk;
    auto* position =
        GetChunkData3ds<PointTrackData3ds>(NewChunkAndData3ds(&chunk, kTagPositionTrack3ds));
    position->keys.resize(1);
    position->keys[0].header = {7, 0x01, 0.5f};
    position->keys[0].value = {1, 2, 3};
    EXPECT_EQ(EncodeRecord(*chunk), Hex("0000 00000000 00000000 01000000" // track header, 1 key
                                        "07000000 0100 0000003F"          // time 7, tension 0.5
                                        "0000803F 00000040 00004040"));   // position 1, 2, 3
    // A hide key has no value behind its header.
    auto* hide = GetChunkData3ds<HideTrackData3ds>(NewChunkAndData3ds(&chunk, kTagHideTrack3ds));
    hide->keys.resize(2);
    EXPECT_EQ(EncodeRecord(*chunk),
              Hex("0000 00000000 00000000 02000000 00000000 0000 00000000 0000"));
    EXPECT_FALSE(ErrorPending3ds);
}

TEST_F(ChunkData, UnknownTagsKeepTheirBytesByTheChunkSize) {
    std::unique_ptr<Chunk3ds> chunk;
    NewChunkWithTag3ds(&chunk, 0x1234);
    chunk->data = std::make_unique<ChunkData3ds>(RawData3ds{{0xDE, 0xAD, 0xBE, 0xEF}});
    chunk->size = 10;
    EXPECT_EQ(EncodeRecord(*chunk), (ByteList{0xDE, 0xAD, 0xBE, 0xEF}));
    chunk->size = 6;
    EXPECT_EQ(EncodeRecord(*chunk), ByteList{});

    const ByteList file = Hex("3412 0A000000 01020304 05");
    auto loaded = ChunkInFile(0x1234, file, 10);
    EXPECT_EQ(*ReadChunkData3ds(loaded.get()), ChunkData3ds(RawData3ds{{1, 2, 3, 4}}));
    EXPECT_EQ(EncodeRecord(*loaded), (ByteList{1, 2, 3, 4}));

    // The parent-name note is never loaded or written.
    auto note = ChunkInFile(kTagParentName3ds, file, 10);
    EXPECT_EQ(ReadChunkData3ds(note.get()), nullptr);
    note->data = std::make_unique<ChunkData3ds>(StringData3ds{"Hips"});
    EXPECT_EQ(EncodeRecord(*note), ByteList{});
    EXPECT_FALSE(ErrorPending3ds);
}

TEST_F(ChunkData, RecordsThatCannotBeEncodedWriteNothing) {
    using Codes = std::vector<int32_t>;
    std::unique_ptr<Chunk3ds> chunk;
    auto* vertices =
        GetChunkData3ds<VertexListData3ds>(NewChunkAndData3ds(&chunk, kTagVertexList3ds));
    vertices->vertices.resize(65536);
    EXPECT_EQ(EncodeRecord(*chunk), ByteList{});
    EXPECT_EQ(TakeErrors(), Codes{ERR_INVALID_DATA});

    auto* entry =
        GetChunkData3ds<ViewportEntryData3ds>(NewChunkAndData3ds(&chunk, kTagViewportEntry3ds));
    entry->cameraName = "LongCamera1";
    EXPECT_EQ(EncodeRecord(*chunk), ByteList{});
    EXPECT_EQ(TakeErrors(), Codes{ERR_STRING_TOO_LONG});

    chunk->tag = kTagCamera3ds; // still holds the entry's layout
    EXPECT_EQ(EncodeRecord(*chunk), ByteList{});
    EXPECT_EQ(TakeErrors(), Codes{ERR_INVALID_DATA});

    NewChunkAndData3ds(&chunk, kTagMeshVersion3ds);
    chunk->writeFileIndex = 200;
    WriteChunkData3ds(chunk.get());
    EXPECT_EQ(RaisedErrors(), Codes{ERR_WRITING_FILE});
}

TEST_F(ChunkData, LoadingRefusesCountsBeyondTheChunk) {
    // A vertex count of 0xFFFF in a chunk that holds one vertex; a track claiming four
    // billion keys; raw bytes whose chunk claims far more than the file holds.
    const ByteList vertices = Hex("1041 14000000 FFFF 0000803F 0000803F 0000803F");
    const ByteList track = Hex("20B0 14000000 0000 00000000 00000000 FFFFFFFF");
    std::unique_ptr<Chunk3ds> chunks[] = {ChunkInFile(kTagVertexList3ds, vertices, 20),
                                          ChunkInFile(kTagPositionTrack3ds, track, 20),
                                          ChunkInFile(0x1234, vertices, 0xFFFFFFF0u)};
    for (const auto& chunk : chunks) {
        EXPECT_EQ(ReadChunkData3ds(chunk.get()), nullptr);
        EXPECT_EQ(chunk->data, nullptr);
        EXPECT_EQ(TakeErrors(), std::vector<int32_t>{ERR_INVALID_CHUNK});
    }
}

TEST_F(ChunkData, LoadingReportsTextsBeyondTheirLimits) {
    // An object name of 11 characters; the record is kept with what could be read.
    const ByteList object = Hex("0040 12000000 456C6576656E5F43686172 00"); // "Eleven_Char"
    auto chunk = ChunkInFile(kTagNamedObject3ds, object, 18);
    EXPECT_NE(ReadChunkData3ds(chunk.get()), nullptr);
    EXPECT_EQ(TakeErrors(), std::vector<int32_t>{ERR_READING_FILE});

    // An extra-data text must end within its chunk.
    const ByteList text = Hex("0380 09000000 616263646566 00"); // "abcdef"
    chunk = ChunkInFile(kTagExtraDataText3ds, text, 9);
    ReadChunkData3ds(chunk.get());
    EXPECT_EQ(TakeErrors(), std::vector<int32_t>{ERR_READING_FILE});
    chunk = ChunkInFile(kTagExtraDataText3ds, text, 13);
    EXPECT_EQ(*ReadChunkData3ds(chunk.get()), ChunkData3ds(StringData3ds{"abcdef"}));
    EXPECT_FALSE(ErrorPending3ds);
}

TEST_F(ChunkData, RecordsAreLoadedOnceAndDroppedOnlyWhenAFileCanSupplyThem) {
    auto chunk = ChunkInFile(kTagMeshVersion3ds, Hex("3E3D 0A000000 03000000"), 10);
    EXPECT_EQ(*ReadChunkData3ds(chunk.get()), ChunkData3ds(LongData3ds{3}));
    DropRereadableData3ds(chunk.get());
    EXPECT_EQ(chunk->data, nullptr);
    ChunkData3ds* loaded = ReadChunkData3ds(chunk.get());
    EXPECT_EQ(*loaded, ChunkData3ds(LongData3ds{3}));

    // A record in memory is returned without touching the file, and kept.
    chunk->readFileIndex = 200;
    EXPECT_EQ(ReadChunkData3ds(chunk.get()), loaded);
    chunk->readFileIndex = kNoFileIndex3ds;
    DropRereadableData3ds(chunk.get());
    EXPECT_EQ(chunk->data.get(), loaded);

    // Without a record: no source file gives none quietly, a file not open an error.
    chunk->data.reset();
    EXPECT_EQ(ReadChunkData3ds(chunk.get()), nullptr);
    EXPECT_FALSE(ErrorPending3ds);
    chunk->readFileIndex = 200;
    EXPECT_EQ(ReadChunkData3ds(chunk.get()), nullptr);
    EXPECT_EQ(RaisedErrors(), std::vector<int32_t>{ERR_READING_FILE});
}

TEST_F(ChunkData, CopiesOutliveTheirSource) {
    auto source = std::make_unique<Chunk3ds>();
    source->tag = kTagPositionTrack3ds;
    std::visit(Filler{}, *NewChunkData3ds(source.get()));
    const ChunkData3ds expected = *source->data;
    auto copy = std::make_unique<Chunk3ds>();
    CopyChunkData3ds(source.get(), copy.get());
    source.reset();
    ASSERT_EQ(GetChunkData3ds<PointTrackData3ds>(copy.get())->keys.size(), 3u);
    EXPECT_EQ(*copy->data, expected);

    // A copy that already holds a record keeps it.
    auto other = std::make_unique<Chunk3ds>();
    other->data = std::make_unique<ChunkData3ds>(LongData3ds{1});
    CopyChunkData3ds(copy.get(), other.get());
    EXPECT_EQ(*other->data, ChunkData3ds(LongData3ds{1}));
}

} // namespace
