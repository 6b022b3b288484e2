#pragma once
// Chunk data records: the values that follow a chunk's six-byte header on disk,
// before its sub-chunks, held in memory as one value of ChunkData3ds.
//
// What a record holds depends only on the chunk's tag. One table maps every
// known tag to its kind, its name and, for data tags, to one layout (an
// alternative of ChunkData3ds); many tags share a layout. Creating, writing, reading, copying
// and freeing a record all dispatch over that table. Records are plain values:
// a copy is a deep copy and destruction frees everything they own.
//
// Counts of counted lists are the vectors' sizes; they are never stored twice.
// All strings are std::string; a text ends at its first zero byte on disk.

#include "toolkit3ds/chunk_tags.h"
#include "toolkit3ds/file_io.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <variant>
#include <vector>

struct Chunk3ds; // chunk_tree.h

// Field-by-field equality of the composite values, so that records compare as values.
inline bool operator==(const Point3ds& a, const Point3ds& b) {
    return a.x == b.x && a.y == b.y && a.z == b.z;
}
inline bool operator==(const TexVert3ds& a, const TexVert3ds& b) {
    return a.u == b.u && a.v == b.v;
}
inline bool operator==(const Face3ds& a, const Face3ds& b) {
    return a.vertexA == b.vertexA && a.vertexB == b.vertexB && a.vertexC == b.vertexC &&
           a.flags == b.flags;
}
inline bool operator==(const KeyHeader3ds& a, const KeyHeader3ds& b) {
    return a.time == b.time && a.splineFlags == b.splineFlags && a.tension == b.tension &&
           a.continuity == b.continuity && a.bias == b.bias && a.easeTo == b.easeTo &&
           a.easeFrom == b.easeFrom;
}

// --- Layouts -------------------------------------------------------------------
// Each lists its fields in file order unless its comment says otherwise.

struct LongData3ds { // 0x0002, 0x3D3E, 0x1440, 0xB009
    int32_t value = 0;
    bool operator==(const LongData3ds&) const = default;
};

struct ShortData3ds { // 0x0030, 0x1420, 0x1430, 0xA100, 0xA252
    int16_t value = 0;
    bool operator==(const ShortData3ds&) const = default;
};

struct WordData3ds { // 0xA351 tiling flags; 0xB030 node number (0xFFFF: none)
    uint16_t value = 0;
    bool operator==(const WordData3ds&) const = default;
};

struct ByteData3ds { // 0x4165 mesh colour
    uint8_t value = 0;
    bool operator==(const ByteData3ds&) const = default;
};

struct FloatData3ds { // percentages, scales, biases, map parameters, light settings
    float value = 0;
    bool operator==(const FloatData3ds&) const = default;
};

struct ColorFloatData3ds { // 0x0010, 0x0013; each 0.0..1.0
    float red = 0, green = 0, blue = 0;
    bool operator==(const ColorFloatData3ds&) const = default;
};

struct ColorByteData3ds { // 0x0011, 0x0012, map tints 0xA360..0xA368
    uint8_t red = 0, green = 0, blue = 0;
    bool operator==(const ColorByteData3ds&) const = default;
};

struct PointData3ds { // 0x1500, 0x4600, 0xB013
    Point3ds point;
    bool operator==(const PointData3ds&) const = default;
};

struct StringData3ds { // names and file names; 0x80F0 (never written)
    std::string text;
    bool operator==(const StringData3ds&) const = default;
};

struct FogData3ds { // 0x2200 fog, 0x2300 distance cue
    float nearPlane = 0, nearDensity = 0, farPlane = 0, farDensity = 0;
    bool operator==(const FogData3ds&) const = default;
};

struct LayeredFogData3ds { // 0x2302
    float bottom = 0, top = 0, density = 0;
    uint32_t flags = 0;
    bool operator==(const LayeredFogData3ds&) const = default;
};

// 0x3010..0x3060. In memory the target comes first; on disk the width does.
struct OrthoViewData3ds {
    Point3ds target;
    float width = 0;
    bool operator==(const OrthoViewData3ds&) const = default;
};

// 0x3070. In memory the target comes first; on disk the four floats do.
struct UserViewData3ds {
    Point3ds target;
    float width = 0, horizAngle = 0, vertAngle = 0, backAngle = 0; // angles in degrees
    bool operator==(const UserViewData3ds&) const = default;
};

struct ViewportLayoutData3ds { // 0x7001: seven shorts of layout state
    std::array<int16_t, 7> state{};
    bool operator==(const ViewportLayoutData3ds&) const = default;
};

// 0x7011, 0x7012: 49 bytes on disk; the camera name is an 11-byte field there,
// so it holds at most 10 characters.
struct ViewportEntryData3ds {
    std::array<int16_t, 2> entryState{};
    int16_t left = 0, top = 0, width = 0, height = 0;
    uint16_t viewCode = 0; // 1..7 the views, 0xFFFF camera, 18 the ninth kind
    float zoom = 0;
    Point3ds center;
    float horizAngle = 0, vertAngle = 0; // degrees
    std::string cameraName;
    bool operator==(const ViewportEntryData3ds&) const = default;
};

struct ViewportSizeData3ds { // 0x7020
    uint16_t left = 0, top = 0, width = 0, height = 0;
    bool operator==(const ViewportSizeData3ds&) const = default;
};

struct VertexListData3ds { // 0x4110: word count, then the points
    std::vector<Point3ds> vertices;
    bool operator==(const VertexListData3ds&) const = default;
};

struct VertexFlagsData3ds { // 0x4111: word count, then one short per vertex
    std::vector<uint16_t> flags;
    bool operator==(const VertexFlagsData3ds&) const = default;
};

struct FaceListData3ds { // 0x4120: word count, then the faces
    std::vector<Face3ds> faces;
    bool operator==(const FaceListData3ds&) const = default;
};

struct MaterialGroupData3ds { // 0x4130: name, word count, then face indices
    std::string name;
    std::vector<uint16_t> faces;
    bool operator==(const MaterialGroupData3ds&) const = default;
};

struct TexVertsData3ds { // 0x4140: word count, then the uv pairs
    std::vector<TexVert3ds> texVerts;
    bool operator==(const TexVertsData3ds&) const = default;
};

struct SmoothGroupsData3ds { // 0x4150: one mask per face, no count on disk
    std::vector<uint32_t> groups;
    bool operator==(const SmoothGroupsData3ds&) const = default;
};

struct LocalAxesData3ds { // 0x4160: x, y and z axis rows, then the origin
    std::array<float, 12> matrix{};
    bool operator==(const LocalAxesData3ds&) const = default;
};

struct MappingIconData3ds { // 0x4170: 86 bytes on disk
    uint16_t mapType = 0;
    float tileX = 0, tileY = 0;
    Point3ds iconPosition;
    float iconScaling = 0;
    std::array<float, 12> iconMatrix{};
    float planarWidth = 0, planarHeight = 0, cylinderHeight = 0;
    bool operator==(const MappingIconData3ds&) const = default;
};

// Bytes kept as they are: 0x4182, procedural map data, 0x8001, and every tag
// the table does not know. No count on disk; a loaded record takes the chunk's.
struct RawData3ds {
    std::vector<uint8_t> bytes;
    bool operator==(const RawData3ds&) const = default;
};

struct BoxMapData3ds { // 0x4190: six material names
    std::array<std::string, 6> names;
    bool operator==(const BoxMapData3ds&) const = default;
};

struct SpotlightData3ds { // 0x4610
    Point3ds target;
    float hotspot = 0, falloff = 0; // degrees
    bool operator==(const SpotlightData3ds&) const = default;
};

struct LightShadowData3ds { // 0x4641
    float bias = 0, filter = 0;
    int16_t mapSize = 0;
    bool operator==(const LightShadowData3ds&) const = default;
};

struct CameraData3ds { // 0x4700: 32 bytes on disk
    Point3ds position, target;
    float roll = 0;        // degrees
    float focalLength = 0; // millimetres
    bool operator==(const CameraData3ds&) const = default;
};

struct CameraRangesData3ds { // 0x4720
    float nearRange = 0, farRange = 0;
    bool operator==(const CameraRangesData3ds&) const = default;
};

struct AutoReflectionData3ds {            // 0xA310
    int8_t firstByte = 0, secondByte = 0; // not set by any put; zero in a new record
    int16_t flags = 0;
    uint32_t size = 0, frameStep = 0;
    bool operator==(const AutoReflectionData3ds&) const = default;
};

struct FrameRangeData3ds { // 0xB008
    int32_t start = 0, end = 0;
    bool operator==(const FrameRangeData3ds&) const = default;
};

struct KeyframerHeaderData3ds { // 0xB00A
    int16_t revision = 0;
    std::string fileName;
    int32_t animLength = 0; // frames
    bool operator==(const KeyframerHeaderData3ds&) const = default;
};

struct NodeHeaderData3ds { // 0xB010
    std::string name;
    uint16_t flags1 = 0, flags2 = 0;
    uint16_t parentId = 0; // parent's node number, 0xFFFF for none
    bool operator==(const NodeHeaderData3ds&) const = default;
};

struct BoundingBoxData3ds { // 0xB014
    Point3ds min, max;
    bool operator==(const BoundingBoxData3ds&) const = default;
};

// Keyframer tracks 0xB020..0xB029: a track header (flags, two words, the key
// count) and then, per key, its key header and its value. Keys keep header and
// value together, so the two can never disagree in number.
struct RotationValue3ds { // an angle about an axis
    float angle = 0, x = 0, y = 0, z = 0;
    bool operator==(const RotationValue3ds&) const = default;
};

struct NoValue3ds { // keys of the hide track carry no value
    bool operator==(const NoValue3ds&) const = default;
};

template <typename Value> struct TrackKey3ds {
    KeyHeader3ds header;
    Value value{};
    bool operator==(const TrackKey3ds&) const = default;
};

template <typename Value> struct TrackData3ds {
    uint16_t flags = 0;
    uint32_t reserved1 = 0, reserved2 = 0;
    std::vector<TrackKey3ds<Value>> keys; // the key count on disk is keys.size()
    bool operator==(const TrackData3ds&) const = default;
};

using PointTrackData3ds = TrackData3ds<Point3ds>; // 0xB020 position, 0xB022 scale, 0xB025 colour
using RotationTrackData3ds = TrackData3ds<RotationValue3ds>; // 0xB021
using FloatTrackData3ds = TrackData3ds<float>;               // 0xB023, 0xB024, 0xB027, 0xB028
using MorphTrackData3ds = TrackData3ds<std::string>; // 0xB026: object names, at most 10 characters
using HideTrackData3ds = TrackData3ds<NoValue3ds>;   // 0xB029

// One data record of any layout.
using ChunkData3ds =
    std::variant<LongData3ds, ShortData3ds, WordData3ds, ByteData3ds, FloatData3ds,
                 ColorFloatData3ds, ColorByteData3ds, PointData3ds, StringData3ds, FogData3ds,
                 LayeredFogData3ds, OrthoViewData3ds, UserViewData3ds, ViewportLayoutData3ds,
                 ViewportEntryData3ds, ViewportSizeData3ds, VertexListData3ds, VertexFlagsData3ds,
                 FaceListData3ds, MaterialGroupData3ds, TexVertsData3ds, SmoothGroupsData3ds,
                 LocalAxesData3ds, MappingIconData3ds, RawData3ds, BoxMapData3ds, SpotlightData3ds,
                 LightShadowData3ds, CameraData3ds, CameraRangesData3ds, AutoReflectionData3ds,
                 FrameRangeData3ds, KeyframerHeaderData3ds, NodeHeaderData3ds, BoundingBoxData3ds,
                 PointTrackData3ds, RotationTrackData3ds, FloatTrackData3ds, MorphTrackData3ds,
                 HideTrackData3ds>;

// --- The tag table ---------------------------------------------------------------

enum class ChunkKind3ds : uint8_t {
    kUnknown,   // not in the table: raw bytes, as many as the chunk's size gives
    kData,      // has a record of the tag's layout
    kContainer, // never has a record; only sub-chunks
    kFlag,      // a bare header made without a record; read and written like kUnknown
    kNote,      // has a string record in memory that is never written or read
};

// Longest texts, in characters before the zero byte, that the format allows.
// The puts keep to them; loading takes a longer text whole (its zero byte must
// lie within its chunk), as files written by other programs hold them.
inline constexpr uint32_t kObjectNameLimit3ds = 10;   // object, camera, node, instance, morph names
inline constexpr uint32_t kBitmapNameLimit3ds = 12;   // bitmap and procedure names
inline constexpr uint32_t kMaterialNameLimit3ds = 16; // material and map file names
inline constexpr uint32_t kHeaderFileNameLimit3ds = 512;
// Text limit meaning "as many characters as the chunk holds".
inline constexpr uint32_t kTextLimitChunk3ds = UINT32_MAX;
// The viewport entries' camera name field: a name of 11 characters fills it
// without a zero byte.
inline constexpr uint32_t kCameraNameField3ds = kObjectNameLimit3ds + 1;

struct ChunkTagInfo3ds {
    ChunkTag3ds tag = kTagNone3ds;
    ChunkKind3ds kind = ChunkKind3ds::kUnknown;
    uint8_t layout = 0;     // index of the layout in ChunkData3ds (kData, kNote)
    uint32_t textLimit = 0; // characters the format allows a StringData3ds
    const char* name = "";  // what the chunk is, in a few words: "vertex list"
};

// The whole table, sorted by tag.
std::span<const ChunkTagInfo3ds> ChunkTagTable3ds();
// The entry of a tag, or none for a tag the table does not know.
const ChunkTagInfo3ds* FindChunkTagInfo3ds(uint32_t tag);
// The kind of a tag; kUnknown for a tag not in the table.
ChunkKind3ds GetChunkKind3ds(uint32_t tag);

// --- Operations by tag -------------------------------------------------------------
// Each looks at the chunk's tag, size, position, data and file slots only. A
// missing chunk does nothing and yields none.

// Gives the chunk a fresh record of its tag's layout (every field zero or
// empty, to be filled by the caller) and returns it; an old record is freed.
// A container gets none and returns none; any other tag keeps its record as it
// is and returns it. ERR_NO_MEM: none returned, the chunk left without a record.
ChunkData3ds* NewChunkData3ds(Chunk3ds* chunk);

// Encodes the chunk's record at the current position of the file in the
// chunk's writeFileIndex slot, which becomes the current file. Nothing for a
// chunk without a record or with tag 0x80F0; an unknown or flag tag writes
// size - 6 raw bytes when its size is above 6, else nothing. Every value is
// attempted; each failed one raises ERR_WRITING_FILE, as does a slot that holds
// no open file. A record that cannot be encoded faithfully writes nothing and
// raises ERR_INVALID_DATA (a list of more than 65535 elements, a record of
// another layout than its tag's, fewer raw bytes than the size asks for) or
// ERR_STRING_TOO_LONG (a viewport camera name over the 11 characters of its
// field).
void WriteChunkData3ds(Chunk3ds* chunk);

// Frees the chunk's record with everything it owns; the chunk keeps none.
void FreeChunkData3ds(Chunk3ds* chunk);

// The chunk's record, loaded first when the chunk holds none: from the file in
// its readFileIndex slot (which becomes current), at position + 6, decoded by
// the tag's layout and stored in the chunk. Containers and 0x80F0 yield none;
// an unknown or flag tag with a size above 6 loads size - 6 raw bytes. A chunk
// without a source file (slot 255) yields none and reads nothing.
// Texts are taken whole, however long, up to a zero byte within the chunk.
// Failures: a value the file cannot deliver, or a text without a zero byte
// within the chunk, raises ERR_READING_FILE; loading still goes through the rest of the
// record and stores it, but the values behind the failure are not to be
// trusted (with the error pending most primitives give their defaults).
// A source slot that names no open file also raises ERR_READING_FILE.
// A count whose elements would not fit in the chunk (or in what the file holds
// of it) raises ERR_INVALID_CHUNK before anything is allocated, and so does a
// record whose bytes run past the chunk's end (read, but not kept); ERR_NO_MEM.
// These return none and leave the chunk without a record. Reading never goes
// further than the end of the chunk's last value, so the position afterwards
// is the end of the record: where the chunk's sub-chunks begin.
ChunkData3ds* ReadChunkData3ds(Chunk3ds* chunk);

// What kept a record from loading, in numbers a message can name.
struct RecordFault3ds {
    enum class Kind : uint8_t {
        kNone,
        kCountBeyondChunk, // count elements of elementBytes each need more than bytesLeft
        kTextWithoutEnd,   // a text finds no zero byte in the bytesLeft of its chunk
        kPastChunkEnd,     // the record needs more than the chunk's bytesLeft data bytes
    };
    Kind kind = Kind::kNone;
    uint64_t count = 0;
    uint64_t elementBytes = 0;
    uint64_t bytesLeft = 0;
};
// ReadChunkData3ds, which also tells the first fault of a failed load in
// *fault when fault is not none and holds kNone. A failure of the system (an
// error noted by file_io.h) or of memory is no fault of the record.
ChunkData3ds* ReadChunkData3ds(Chunk3ds* chunk, RecordFault3ds* fault);

// When the source holds a record and the copy holds none, gives the copy its
// own deep copy. ERR_NO_MEM leaves the copy without a record.
void CopyChunkData3ds(const Chunk3ds* source, Chunk3ds* copy);

// --- Typed access ------------------------------------------------------------------

// The record as the layout Layout, or none when there is no record or it holds
// another layout. For example, after NewChunkAndData3ds (chunk_tree.h):
//   auto* camera = GetChunkData3ds<CameraData3ds>(NewChunkAndData3ds(&chunk, kTagCamera3ds));
template <typename Layout> Layout* GetChunkData3ds(ChunkData3ds* data) {
    return data == nullptr ? nullptr : std::get_if<Layout>(data);
}
