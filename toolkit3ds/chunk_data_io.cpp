// Encoding and decoding of the data records, layout by layout. Each layout's
// Encode and Decode sit next to each other and handle the same bytes in the
// same order.

#include "toolkit3ds/chunk_data.h"
#include "toolkit3ds/chunk_tree.h"
#include "toolkit3ds/errors.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <new>

namespace {

// The largest count a word in front of a counted list can give.
constexpr size_t kMaxWordCount = UINT16_MAX;

// Bytes on disk of the elements of counted lists, for the checks against the chunk.
constexpr uint64_t kPointBytes = 12;
constexpr uint64_t kTexVertBytes = 8;
constexpr uint64_t kFaceBytes = 8;
constexpr uint64_t kWordBytes = 2;
constexpr uint64_t kDwordBytes = 4;
constexpr uint64_t kKeyHeaderMinBytes = 6; // time and spline flags, no spline floats

// Where a record is decoded from: the current file, up to end.
struct Source {
    uint64_t end = 0;                      // position behind the chunk's data, within the file
    uint32_t chunkSize = 0;                // the chunk's recorded size
    const ChunkTagInfo3ds* info = nullptr; // the tag's table entry, none for unknown tags
    RecordFault3ds* fault = nullptr;       // where the first fault is told, or none
};

// Tells the first fault of the record to whoever asked.
void TellFault(const Source& source, const RecordFault3ds& fault) {
    if (source.fault != nullptr && source.fault->kind == RecordFault3ds::Kind::kNone) {
        *source.fault = fault;
    }
}

uint64_t BytesLeft(const Source& source) {
    const int32_t position = GetFilePosition3ds();
    if (position < 0 || uint64_t(position) >= source.end) {
        return 0;
    }
    return source.end - uint64_t(position);
}

// Checks that count elements of elementBytes each fit in what is left of the
// chunk, before anything is allocated for them. Cannot overflow: the count is
// at most 32 bits and an element a few dozen bytes.
bool Fits(const Source& source, uint64_t count, uint64_t elementBytes) {
    const uint64_t left = BytesLeft(source);
    if (count * elementBytes > left) {
        TellFault(source, {RecordFault3ds::Kind::kCountBeyondChunk, count, elementBytes, left});
        RaiseError3ds(ERR_INVALID_CHUNK);
        return false;
    }
    return true;
}

// A text of the record, however long: its zero byte must lie within the chunk.
// The name limits bind what is put, not what a file may hold.
std::string ReadText(const Source& source) {
    const uint64_t left = BytesLeft(source);
    // With no byte left, the one byte read shows the text running past the chunk.
    const uint32_t limit = left == 0 ? 0 : static_cast<uint32_t>(left - 1);
    const bool pending = ErrorPending3ds;
    std::string text = ReadString3ds(limit);
    if (!pending && ErrorPending3ds && left > 0) {
        TellFault(source, {RecordFault3ds::Kind::kTextWithoutEnd, 0, 0, left});
    }
    return text;
}

// Bytes of the chunk behind its header; 0 for a size below the header's.
uint64_t DataBytes(uint32_t chunkSize) {
    return chunkSize > kChunkHeaderSize3ds ? chunkSize - kChunkHeaderSize3ds : 0;
}

// A counted list's count must fit in the word written in front of it.
bool WordCountFits(size_t count) {
    if (count > kMaxWordCount) {
        RaiseError3ds(ERR_INVALID_DATA);
        return false;
    }
    return true;
}

void WriteColor(float red, float green, float blue) {
    WriteFloat3ds(red);
    WriteFloat3ds(green);
    WriteFloat3ds(blue);
}

// --- Single values -------------------------------------------------------------

void Encode(const LongData3ds& record) {
    WriteLong3ds(record.value);
}
bool Decode(LongData3ds& record, const Source&) {
    record.value = ReadLong3ds();
    return true;
}

void Encode(const ShortData3ds& record) {
    WriteShort3ds(record.value);
}
bool Decode(ShortData3ds& record, const Source&) {
    record.value = ReadShort3ds();
    return true;
}

void Encode(const WordData3ds& record) {
    WriteUShort3ds(record.value);
}
bool Decode(WordData3ds& record, const Source&) {
    record.value = ReadUShort3ds();
    return true;
}

void Encode(const ByteData3ds& record) {
    WriteUByte3ds(record.value);
}
bool Decode(ByteData3ds& record, const Source&) {
    record.value = ReadUByte3ds();
    return true;
}

void Encode(const FloatData3ds& record) {
    WriteFloat3ds(record.value);
}
bool Decode(FloatData3ds& record, const Source&) {
    record.value = ReadFloat3ds();
    return true;
}

void Encode(const ColorFloatData3ds& record) {
    WriteColor(record.red, record.green, record.blue);
}
bool Decode(ColorFloatData3ds& record, const Source&) {
    record.red = ReadFloat3ds();
    record.green = ReadFloat3ds();
    record.blue = ReadFloat3ds();
    return true;
}

void Encode(const ColorByteData3ds& record) {
    WriteUByte3ds(record.red);
    WriteUByte3ds(record.green);
    WriteUByte3ds(record.blue);
}
bool Decode(ColorByteData3ds& record, const Source&) {
    record.red = ReadUByte3ds();
    record.green = ReadUByte3ds();
    record.blue = ReadUByte3ds();
    return true;
}

void Encode(const PointData3ds& record) {
    WritePoint3ds(record.point);
}
bool Decode(PointData3ds& record, const Source&) {
    record.point = ReadPoint3ds();
    return true;
}

void Encode(const StringData3ds& record) {
    WriteString3ds(record.text);
}
bool Decode(StringData3ds& record, const Source& source) {
    record.text = ReadText(source);
    return true;
}

// --- Atmosphere and views ------------------------------------------------------------

void Encode(const FogData3ds& record) {
    WriteFloat3ds(record.nearPlane);
    WriteFloat3ds(record.nearDensity);
    WriteFloat3ds(record.farPlane);
    WriteFloat3ds(record.farDensity);
}
bool Decode(FogData3ds& record, const Source&) {
    record.nearPlane = ReadFloat3ds();
    record.nearDensity = ReadFloat3ds();
    record.farPlane = ReadFloat3ds();
    record.farDensity = ReadFloat3ds();
    return true;
}

void Encode(const LayeredFogData3ds& record) {
    WriteFloat3ds(record.bottom);
    WriteFloat3ds(record.top);
    WriteFloat3ds(record.density);
    WriteULong3ds(record.flags);
}
bool Decode(LayeredFogData3ds& record, const Source&) {
    record.bottom = ReadFloat3ds();
    record.top = ReadFloat3ds();
    record.density = ReadFloat3ds();
    record.flags = ReadULong3ds();
    return true;
}

// Views hold the target first in memory but write it last.
void Encode(const OrthoViewData3ds& record) {
    WriteFloat3ds(record.width);
    WritePoint3ds(record.target);
}
bool Decode(OrthoViewData3ds& record, const Source&) {
    record.width = ReadFloat3ds();
    record.target = ReadPoint3ds();
    return true;
}

void Encode(const UserViewData3ds& record) {
    WriteFloat3ds(record.width);
    WriteFloat3ds(record.horizAngle);
    WriteFloat3ds(record.vertAngle);
    WriteFloat3ds(record.backAngle);
    WritePoint3ds(record.target);
}
bool Decode(UserViewData3ds& record, const Source&) {
    record.width = ReadFloat3ds();
    record.horizAngle = ReadFloat3ds();
    record.vertAngle = ReadFloat3ds();
    record.backAngle = ReadFloat3ds();
    record.target = ReadPoint3ds();
    return true;
}

void Encode(const ViewportLayoutData3ds& record) {
    for (int16_t value : record.state) {
        WriteShort3ds(value);
    }
}
bool Decode(ViewportLayoutData3ds& record, const Source&) {
    for (int16_t& value : record.state) {
        value = ReadShort3ds();
    }
    return true;
}

void Encode(const ViewportEntryData3ds& record) {
    // A name longer than the field would shift every byte behind it.
    const std::string_view name =
        std::string_view(record.cameraName).substr(0, record.cameraName.find('\0'));
    if (name.size() > kCameraNameField3ds) {
        RaiseError3ds(ERR_STRING_TOO_LONG);
        return;
    }
    for (int16_t value : record.entryState) {
        WriteShort3ds(value);
    }
    WriteShort3ds(record.left);
    WriteShort3ds(record.top);
    WriteShort3ds(record.width);
    WriteShort3ds(record.height);
    WriteUShort3ds(record.viewCode);
    WriteFloat3ds(record.zoom);
    WritePoint3ds(record.center);
    WriteFloat3ds(record.horizAngle);
    WriteFloat3ds(record.vertAngle);
    WriteFixedString3ds(name, kCameraNameField3ds);
}
bool Decode(ViewportEntryData3ds& record, const Source&) {
    for (int16_t& value : record.entryState) {
        value = ReadShort3ds();
    }
    record.left = ReadShort3ds();
    record.top = ReadShort3ds();
    record.width = ReadShort3ds();
    record.height = ReadShort3ds();
    record.viewCode = ReadUShort3ds();
    record.zoom = ReadFloat3ds();
    record.center = ReadPoint3ds();
    record.horizAngle = ReadFloat3ds();
    record.vertAngle = ReadFloat3ds();
    // A name that fills the whole field has no zero byte.
    uint8_t field[kCameraNameField3ds] = {};
    ReadByteArray3ds(kCameraNameField3ds, field);
    record.cameraName.assign(field, std::find(field, field + kCameraNameField3ds, 0));
    return true;
}

void Encode(const ViewportSizeData3ds& record) {
    WriteUShort3ds(record.left);
    WriteUShort3ds(record.top);
    WriteUShort3ds(record.width);
    WriteUShort3ds(record.height);
}
bool Decode(ViewportSizeData3ds& record, const Source&) {
    record.left = ReadUShort3ds();
    record.top = ReadUShort3ds();
    record.width = ReadUShort3ds();
    record.height = ReadUShort3ds();
    return true;
}

// --- Meshes --------------------------------------------------------------------------

void Encode(const VertexListData3ds& record) {
    if (!WordCountFits(record.vertices.size())) {
        return;
    }
    WriteUShort3ds(static_cast<uint16_t>(record.vertices.size()));
    WritePoints3ds(record.vertices);
}
bool Decode(VertexListData3ds& record, const Source& source) {
    const uint16_t count = ReadUShort3ds();
    if (!Fits(source, count, kPointBytes)) {
        return false;
    }
    record.vertices.resize(count);
    for (Point3ds& vertex : record.vertices) {
        vertex = ReadPoint3ds();
    }
    return true;
}

void Encode(const VertexFlagsData3ds& record) {
    if (!WordCountFits(record.flags.size())) {
        return;
    }
    WriteUShort3ds(static_cast<uint16_t>(record.flags.size()));
    WriteUShorts3ds(record.flags);
}
bool Decode(VertexFlagsData3ds& record, const Source& source) {
    const uint16_t count = ReadUShort3ds();
    if (!Fits(source, count, kWordBytes)) {
        return false;
    }
    record.flags.resize(count);
    for (uint16_t& flags : record.flags) {
        flags = ReadUShort3ds();
    }
    return true;
}

void Encode(const FaceListData3ds& record) {
    if (!WordCountFits(record.faces.size())) {
        return;
    }
    WriteUShort3ds(static_cast<uint16_t>(record.faces.size()));
    WriteFaces3ds(record.faces);
}
bool Decode(FaceListData3ds& record, const Source& source) {
    const uint16_t count = ReadUShort3ds();
    if (!Fits(source, count, kFaceBytes)) {
        return false;
    }
    record.faces.resize(count);
    for (Face3ds& face : record.faces) {
        face = ReadFace3ds();
    }
    return true;
}

void Encode(const MaterialGroupData3ds& record) {
    if (!WordCountFits(record.faces.size())) {
        return;
    }
    WriteString3ds(record.name);
    WriteUShort3ds(static_cast<uint16_t>(record.faces.size()));
    WriteUShorts3ds(record.faces);
}
bool Decode(MaterialGroupData3ds& record, const Source& source) {
    record.name = ReadText(source);
    const uint16_t count = ReadUShort3ds();
    if (!Fits(source, count, kWordBytes)) {
        return false;
    }
    record.faces.resize(count);
    for (uint16_t& face : record.faces) {
        face = ReadUShort3ds();
    }
    return true;
}

void Encode(const TexVertsData3ds& record) {
    if (!WordCountFits(record.texVerts.size())) {
        return;
    }
    WriteUShort3ds(static_cast<uint16_t>(record.texVerts.size()));
    WriteTexVerts3ds(record.texVerts);
}
bool Decode(TexVertsData3ds& record, const Source& source) {
    const uint16_t count = ReadUShort3ds();
    if (!Fits(source, count, kTexVertBytes)) {
        return false;
    }
    record.texVerts.resize(count);
    for (TexVert3ds& texVert : record.texVerts) {
        texVert = ReadTexVert3ds();
    }
    return true;
}

// One mask per face; the count comes from the chunk's size, not from the file.
void Encode(const SmoothGroupsData3ds& record) {
    WriteULongs3ds(record.groups);
}
bool Decode(SmoothGroupsData3ds& record, const Source& source) {
    const uint64_t count = DataBytes(source.chunkSize) / kDwordBytes;
    if (!Fits(source, count, kDwordBytes)) {
        return false;
    }
    record.groups.resize(count);
    for (uint32_t& groups : record.groups) {
        groups = ReadULong3ds();
    }
    return true;
}

void Encode(const LocalAxesData3ds& record) {
    for (float value : record.matrix) {
        WriteFloat3ds(value);
    }
}
bool Decode(LocalAxesData3ds& record, const Source&) {
    for (float& value : record.matrix) {
        value = ReadFloat3ds();
    }
    return true;
}

void Encode(const MappingIconData3ds& record) {
    WriteUShort3ds(record.mapType);
    WriteFloat3ds(record.tileX);
    WriteFloat3ds(record.tileY);
    WritePoint3ds(record.iconPosition);
    WriteFloat3ds(record.iconScaling);
    for (float value : record.iconMatrix) {
        WriteFloat3ds(value);
    }
    WriteFloat3ds(record.planarWidth);
    WriteFloat3ds(record.planarHeight);
    WriteFloat3ds(record.cylinderHeight);
}
bool Decode(MappingIconData3ds& record, const Source&) {
    record.mapType = ReadUShort3ds();
    record.tileX = ReadFloat3ds();
    record.tileY = ReadFloat3ds();
    record.iconPosition = ReadPoint3ds();
    record.iconScaling = ReadFloat3ds();
    for (float& value : record.iconMatrix) {
        value = ReadFloat3ds();
    }
    record.planarWidth = ReadFloat3ds();
    record.planarHeight = ReadFloat3ds();
    record.cylinderHeight = ReadFloat3ds();
    return true;
}

// Known raw tags write every byte they hold; unknown and flag tags write as
// many as their size gives (WriteChunkData3ds sees to that).
void Encode(const RawData3ds& record) {
    if (record.bytes.size() > std::numeric_limits<uint32_t>::max()) {
        RaiseError3ds(ERR_INVALID_DATA);
        return;
    }
    WriteByteArray3ds(static_cast<uint32_t>(record.bytes.size()), record.bytes.data());
}
bool Decode(RawData3ds& record, const Source& source) {
    const uint64_t count = DataBytes(source.chunkSize);
    if (!Fits(source, count, 1)) {
        return false;
    }
    record.bytes.resize(count);
    ReadByteArray3ds(static_cast<uint32_t>(count), record.bytes.data());
    return true;
}

void Encode(const BoxMapData3ds& record) {
    for (const std::string& name : record.names) {
        WriteString3ds(name);
    }
}
bool Decode(BoxMapData3ds& record, const Source& source) {
    for (std::string& name : record.names) {
        name = ReadText(source);
    }
    return true;
}

// --- Lights and cameras ----------------------------------------------------------------

void Encode(const SpotlightData3ds& record) {
    WritePoint3ds(record.target);
    WriteFloat3ds(record.hotspot);
    WriteFloat3ds(record.falloff);
}
bool Decode(SpotlightData3ds& record, const Source&) {
    record.target = ReadPoint3ds();
    record.hotspot = ReadFloat3ds();
    record.falloff = ReadFloat3ds();
    return true;
}

void Encode(const LightShadowData3ds& record) {
    WriteFloat3ds(record.bias);
    WriteFloat3ds(record.filter);
    WriteShort3ds(record.mapSize);
}
bool Decode(LightShadowData3ds& record, const Source&) {
    record.bias = ReadFloat3ds();
    record.filter = ReadFloat3ds();
    record.mapSize = ReadShort3ds();
    return true;
}

void Encode(const CameraData3ds& record) {
    WritePoint3ds(record.position);
    WritePoint3ds(record.target);
    WriteFloat3ds(record.roll);
    WriteFloat3ds(record.focalLength);
}
bool Decode(CameraData3ds& record, const Source&) {
    record.position = ReadPoint3ds();
    record.target = ReadPoint3ds();
    record.roll = ReadFloat3ds();
    record.focalLength = ReadFloat3ds();
    return true;
}

void Encode(const CameraRangesData3ds& record) {
    WriteFloat3ds(record.nearRange);
    WriteFloat3ds(record.farRange);
}
bool Decode(CameraRangesData3ds& record, const Source&) {
    record.nearRange = ReadFloat3ds();
    record.farRange = ReadFloat3ds();
    return true;
}

// --- Materials -----------------------------------------------------------------------

void Encode(const AutoReflectionData3ds& record) {
    WriteByte3ds(record.firstByte);
    WriteByte3ds(record.secondByte);
    WriteShort3ds(record.flags);
    WriteULong3ds(record.size);
    WriteULong3ds(record.frameStep);
}
bool Decode(AutoReflectionData3ds& record, const Source&) {
    record.firstByte = ReadByte3ds();
    record.secondByte = ReadByte3ds();
    record.flags = ReadShort3ds();
    record.size = ReadULong3ds();
    record.frameStep = ReadULong3ds();
    return true;
}

// --- Keyframer -----------------------------------------------------------------------

void Encode(const FrameRangeData3ds& record) {
    WriteLong3ds(record.start);
    WriteLong3ds(record.end);
}
bool Decode(FrameRangeData3ds& record, const Source&) {
    record.start = ReadLong3ds();
    record.end = ReadLong3ds();
    return true;
}

void Encode(const KeyframerHeaderData3ds& record) {
    WriteShort3ds(record.revision);
    WriteString3ds(record.fileName);
    WriteLong3ds(record.animLength);
}
bool Decode(KeyframerHeaderData3ds& record, const Source& source) {
    record.revision = ReadShort3ds();
    record.fileName = ReadText(source);
    record.animLength = ReadLong3ds();
    return true;
}

void Encode(const NodeHeaderData3ds& record) {
    WriteString3ds(record.name);
    WriteUShort3ds(record.flags1);
    WriteUShort3ds(record.flags2);
    WriteUShort3ds(record.parentId);
}
bool Decode(NodeHeaderData3ds& record, const Source& source) {
    record.name = ReadText(source);
    record.flags1 = ReadUShort3ds();
    record.flags2 = ReadUShort3ds();
    record.parentId = ReadUShort3ds();
    return true;
}

void Encode(const BoundingBoxData3ds& record) {
    WritePoint3ds(record.min);
    WritePoint3ds(record.max);
}
bool Decode(BoundingBoxData3ds& record, const Source&) {
    record.min = ReadPoint3ds();
    record.max = ReadPoint3ds();
    return true;
}

// Track key values, and the fewest bytes each takes on disk.
void EncodeValue(const Point3ds& value) {
    WritePoint3ds(value);
}
void DecodeValue(Point3ds& value, const Source&) {
    value = ReadPoint3ds();
}
constexpr uint64_t MinValueBytes(const Point3ds*) {
    return kPointBytes;
}

void EncodeValue(const RotationValue3ds& value) {
    WriteFloat3ds(value.angle);
    WriteFloat3ds(value.x);
    WriteFloat3ds(value.y);
    WriteFloat3ds(value.z);
}
void DecodeValue(RotationValue3ds& value, const Source&) {
    value.angle = ReadFloat3ds();
    value.x = ReadFloat3ds();
    value.y = ReadFloat3ds();
    value.z = ReadFloat3ds();
}
constexpr uint64_t MinValueBytes(const RotationValue3ds*) {
    return 4 * kDwordBytes;
}

void EncodeValue(float value) {
    WriteFloat3ds(value);
}
void DecodeValue(float& value, const Source&) {
    value = ReadFloat3ds();
}
constexpr uint64_t MinValueBytes(const float*) {
    return kDwordBytes;
}

void EncodeValue(const std::string& value) {
    WriteString3ds(value);
}
void DecodeValue(std::string& value, const Source& source) {
    value = ReadText(source);
}
constexpr uint64_t MinValueBytes(const std::string*) {
    return 1; // the zero byte of an empty name
}

void EncodeValue(const NoValue3ds&) {}
void DecodeValue(NoValue3ds&, const Source&) {}
constexpr uint64_t MinValueBytes(const NoValue3ds*) {
    return 0;
}

template <typename Value> void Encode(const TrackData3ds<Value>& record) {
    if (record.keys.size() > std::numeric_limits<uint32_t>::max()) {
        RaiseError3ds(ERR_INVALID_DATA);
        return;
    }
    TrackHeader3ds header;
    header.flags = record.flags;
    header.reserved1 = record.reserved1;
    header.reserved2 = record.reserved2;
    header.keyCount = static_cast<uint32_t>(record.keys.size());
    WriteTrackHeader3ds(header);
    for (const TrackKey3ds<Value>& key : record.keys) {
        WriteKeyHeader3ds(key.header);
        EncodeValue(key.value);
    }
}
template <typename Value> bool Decode(TrackData3ds<Value>& record, const Source& source) {
    const TrackHeader3ds header = ReadTrackHeader3ds();
    record.flags = header.flags;
    record.reserved1 = header.reserved1;
    record.reserved2 = header.reserved2;
    const uint64_t keyBytes =
        kKeyHeaderMinBytes + MinValueBytes(static_cast<const Value*>(nullptr));
    if (!Fits(source, header.keyCount, keyBytes)) {
        return false;
    }
    record.keys.resize(header.keyCount);
    for (TrackKey3ds<Value>& key : record.keys) {
        key.header = ReadKeyHeader3ds();
        DecodeValue(key.value, source);
    }
    return true;
}

} // namespace

void WriteChunkData3ds(Chunk3ds* chunk) {
    if (chunk == nullptr || chunk->data == nullptr) {
        return;
    }
    const ChunkTagInfo3ds* info = FindChunkTagInfo3ds(chunk->tag);
    const ChunkKind3ds kind = info == nullptr ? ChunkKind3ds::kUnknown : info->kind;
    if (kind == ChunkKind3ds::kNote) {
        return;
    }
    const RawData3ds* raw = nullptr;
    uint64_t rawCount = 0;
    if (kind == ChunkKind3ds::kUnknown || kind == ChunkKind3ds::kFlag) {
        rawCount = DataBytes(chunk->size);
        if (rawCount == 0) {
            return;
        }
        raw = std::get_if<RawData3ds>(chunk->data.get());
        if (raw == nullptr || raw->bytes.size() < rawCount) {
            RaiseError3ds(ERR_INVALID_DATA);
            return;
        }
    } else if (kind == ChunkKind3ds::kContainer || chunk->data->index() != info->layout) {
        RaiseError3ds(ERR_INVALID_DATA);
        return;
    }
    // Without this check the bytes would go to whatever file happens to be current.
    if (!IsFileIndexValid3ds(chunk->writeFileIndex)) {
        RaiseError3ds(ERR_WRITING_FILE);
        return;
    }
    SelectFileByIndex3ds(chunk->writeFileIndex);
    if (raw != nullptr) {
        WriteByteArray3ds(static_cast<uint32_t>(rawCount), raw->bytes.data());
        return;
    }
    std::visit([](const auto& record) { Encode(record); }, *chunk->data);
}

ChunkData3ds* ReadChunkData3ds(Chunk3ds* chunk) {
    return ReadChunkData3ds(chunk, nullptr);
}

ChunkData3ds* ReadChunkData3ds(Chunk3ds* chunk, RecordFault3ds* fault) {
    if (chunk == nullptr) {
        return nullptr;
    }
    if (chunk->data != nullptr) {
        return chunk->data.get();
    }
    const ChunkTagInfo3ds* info = FindChunkTagInfo3ds(chunk->tag);
    const ChunkKind3ds kind = info == nullptr ? ChunkKind3ds::kUnknown : info->kind;
    if (kind == ChunkKind3ds::kContainer || kind == ChunkKind3ds::kNote) {
        return nullptr;
    }
    const bool isRaw = kind == ChunkKind3ds::kUnknown || kind == ChunkKind3ds::kFlag;
    if ((isRaw && DataBytes(chunk->size) == 0) || chunk->readFileIndex == kNoFileIndex3ds) {
        return nullptr;
    }
    File3ds* file = GetFileByIndex3ds(chunk->readFileIndex);
    if (file == nullptr || file->stream == nullptr) {
        RaiseError3ds(ERR_READING_FILE);
        return nullptr;
    }
    SelectFileByIndex3ds(chunk->readFileIndex);

    // Counts are checked against what the file really holds of the chunk, so a
    // size that claims more than the file cannot cause a large allocation.
    const int64_t fileSize = GetFileSize3ds(file);
    const uint64_t dataStart = uint64_t{chunk->position} + kChunkHeaderSize3ds;
    if (fileSize < 0 || dataStart > uint64_t(std::numeric_limits<int32_t>::max())) {
        RaiseError3ds(ERR_READING_FILE);
        return nullptr;
    }
    const uint64_t chunkEnd = dataStart + DataBytes(chunk->size);
    Source source;
    source.chunkSize = chunk->size;
    source.info = info;
    source.end = std::max(dataStart, std::min(chunkEnd, uint64_t(fileSize)));
    source.fault = fault;
    if (uint64_t(GetFilePosition3ds()) != dataStart) {
        SetFilePosition3ds(static_cast<int32_t>(dataStart));
    }

    try {
        std::unique_ptr<ChunkData3ds> record;
        if (isRaw) {
            record = std::make_unique<ChunkData3ds>(std::in_place_type<RawData3ds>);
        } else {
            // The tag's layout, made by the same code as a new record.
            if (NewChunkData3ds(chunk) == nullptr) {
                return nullptr;
            }
            record = std::move(chunk->data);
        }
        const bool decoded =
            std::visit([&source](auto& layout) { return Decode(layout, source); }, *record);
        if (!decoded) {
            return nullptr;
        }
        // A record that ran on into the bytes behind its chunk was read from
        // someone else's bytes: a string without its zero byte, a key too many.
        const RecordFault3ds pastEnd = {RecordFault3ds::Kind::kPastChunkEnd, 0, 0,
                                        source.end - dataStart};
        if (uint64_t(GetFilePosition3ds()) > chunkEnd) {
            TellFault(source, pastEnd);
            RaiseError3ds(ERR_INVALID_CHUNK);
            return nullptr;
        }
        // A value the file could not deliver, with no system error behind it,
        // lay beyond the file's end: the record wanted more than was there.
        if (ErrorPending3ds && std::ferror(file->stream) == 0) {
            TellFault(source, pastEnd);
        }
        chunk->data = std::move(record);
    } catch (const std::bad_alloc&) {
        RaiseError3ds(ERR_NO_MEM);
        return nullptr;
    }
    return chunk->data.get();
}
