#include "app/chunk_dump.h"

#include "toolkit3ds/errors.h"
#include "toolkit3ds/keyframer.h"
#include "toolkit3ds/material.h"
#include "toolkit3ds/toolkit_state.h"
#include "toolkit3ds/viewport.h"

#include <algorithm>
#include <cinttypes>
#include <span>
#include <type_traits>

namespace {

// A longer list shows this many elements, then "...".
constexpr size_t kShownElements = 3;

// One line being built.
struct Line {
    std::string text;
    bool full = false;      // every element of a list
    uint32_t textLimit = 0; // the longest text the chunk's tag allows (StringData3ds)
};

template <typename... Args> void Format(Line& line, const char* format, Args... args) {
    char buffer[160]; // room for the longest format below
    std::snprintf(buffer, sizeof buffer, format, args...);
    line.text += buffer;
}

void Show(Line& line, float value) {
    Format(line, "%g", static_cast<double>(value));
}
void Show(Line& line, int64_t value) {
    Format(line, "%" PRId64, value);
}
void Show(Line& line, const Point3ds& point) {
    Format(line, "(%g, %g, %g)", static_cast<double>(point.x), static_cast<double>(point.y),
           static_cast<double>(point.z));
}
// Quoted, with every byte that is not printable ASCII escaped: texts come from the file.
void Show(Line& line, const std::string& text) {
    line.text += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte > 0x7E || c == '"' || c == '\\') {
            Format(line, "\\x%02X", byte);
        } else {
            line.text += c;
        }
    }
    line.text += '"';
}
// A text the format limits to limit characters: shown whole, and marked when longer.
void ShowName(Line& line, const std::string& text, uint32_t limit) {
    Show(line, text);
    if (text.size() > limit) {
        Format(line, " (%zu characters, longer than %" PRIu32 ")", text.size(), limit);
    }
}

// The label, then the value: one part of a record with named parts.
template <typename Value> void Field(Line& line, const char* label, const Value& value) {
    line.text += label;
    Show(line, value);
}

// Labelled values one after another: Fields(line, "near ", 1.0f, ", far ", 2.0f).
template <typename Value, typename... Rest>
void Fields(Line& line, const char* label, const Value& value, const Rest&... rest) {
    Field(line, label, value);
    if constexpr (sizeof...(rest) > 0) {
        Fields(line, rest...);
    }
}

// "count nouns: first, second, third, ..."; with full, every element.
template <typename Item, typename ShowItem>
void ShowList(Line& line, std::span<const Item> items, const char* noun, ShowItem showItem,
              const char* separator = ", ") {
    Format(line, "%zu %s%s", items.size(), noun, items.size() == 1 ? "" : "s");
    for (size_t i = 0; i < items.size() && (line.full || i < kShownElements); ++i) {
        line.text += i == 0 ? ": " : separator;
        showItem(items[i]);
    }
    if (!line.full && items.size() > kShownElements) {
        line.text += separator;
        line.text += "...";
    }
}

template <typename Item> void ShowList(Line& line, std::span<const Item> items, const char* noun) {
    ShowList(line, items, noun, [&line](const Item& item) { Show(line, item); });
}

// "0x121: decal, no tiling, ignore alpha": a word of flag bits by name, any
// bits without a name in hexadecimal.
struct NamedBit {
    uint16_t bit;
    const char* name;
};
void ShowBits(Line& line, uint16_t value, std::span<const NamedBit> bits) {
    Format(line, "0x%X", value);
    const char* separator = ": ";
    for (const NamedBit& named : bits) {
        if ((value & named.bit) != 0) {
            line.text += separator;
            line.text += named.name;
            separator = ", ";
            value = static_cast<uint16_t>(value & ~named.bit);
        }
    }
    if (value != 0) {
        line.text += separator;
        Format(line, "0x%X", value);
    }
}

constexpr NamedBit kTilingBits[] = {
    {kTilingDecal3ds, "decal"},
    {kTilingMirror3ds, "mirror"},
    {kTilingNegative3ds, "negative"},
    {kTilingNoTile3ds, "no tiling"},
    {kTilingSummedArea3ds, "summed-area filter"},
    {kTilingAlphaTint3ds, "alpha tint"},
    {kTilingTint3ds, "tint"},
    {kTilingIgnoreAlpha3ds, "ignore alpha"},
    {kTilingRgbTint3ds, "RGB tint"},
};

// The viewport entries' view codes by name; other codes show as numbers.
struct NamedView {
    uint16_t code;
    const char* name;
};
constexpr NamedView kViewCodes[] = {
    {kViewTop3ds, "top"},     {kViewBottom3ds, "bottom"},     {kViewLeft3ds, "left"},
    {kViewRight3ds, "right"}, {kViewFront3ds, "front"},       {kViewBack3ds, "back"},
    {kViewUser3ds, "user"},   {kViewCodeCamera3ds, "camera"}, {kViewCodeNinth3ds, "ninth kind"},
};

// The seven shorts of a viewport layout.
constexpr const char* kLayoutFields[] = {"style",       "active",    "ready",       "window state",
                                         "swap window", "swap port", "swap current"};
static_assert(std::size(kLayoutFields) ==
              std::tuple_size_v<decltype(ViewportLayoutData3ds::state)>);

// --- Records -----------------------------------------------------------------------

void Describe(Line& line, const LongData3ds& r) {
    Show(line, int64_t{r.value});
}
void Describe(Line& line, const ShortData3ds& r) {
    Show(line, int64_t{r.value});
}
void Describe(Line& line, const WordData3ds& r) {
    Show(line, int64_t{r.value});
}
void Describe(Line& line, const ByteData3ds& r) {
    Show(line, int64_t{r.value});
}
void Describe(Line& line, const FloatData3ds& r) {
    Show(line, r.value);
}
void Describe(Line& line, const ColorFloatData3ds& r) {
    Show(line, Point3ds{r.red, r.green, r.blue});
}
void Describe(Line& line, const ColorByteData3ds& r) {
    Format(line, "(%d, %d, %d)", r.red, r.green, r.blue);
}
void Describe(Line& line, const PointData3ds& r) {
    Show(line, r.point);
}
void Describe(Line& line, const StringData3ds& r) {
    ShowName(line, r.text, line.textLimit);
}
void Describe(Line& line, const FogData3ds& r) {
    Fields(line, "near plane ", r.nearPlane, ", near density ", r.nearDensity, ", far plane ",
           r.farPlane, ", far density ", r.farDensity);
}
void Describe(Line& line, const LayeredFogData3ds& r) {
    Fields(line, "bottom ", r.bottom, ", top ", r.top, ", density ", r.density);
    Format(line, ", flags 0x%X", r.flags);
}
void Describe(Line& line, const OrthoViewData3ds& r) {
    Fields(line, "width ", r.width, ", target ", r.target);
}
void Describe(Line& line, const UserViewData3ds& r) {
    Fields(line, "width ", r.width, ", angles ", r.horizAngle, " ", r.vertAngle, " ", r.backAngle,
           ", target ", r.target);
}
void Describe(Line& line, const ViewportLayoutData3ds& r) {
    for (size_t i = 0; i < r.state.size(); ++i) {
        Format(line, "%s%s %d", i == 0 ? "" : ", ", kLayoutFields[i], r.state[i]);
    }
}
void Describe(Line& line, const ViewportEntryData3ds& r) {
    Format(line, "state %d %d, rectangle (%d, %d, %d, %d), view ", r.entryState[0], r.entryState[1],
           r.left, r.top, r.width, r.height);
    const auto* named = std::ranges::find(kViewCodes, r.viewCode, &NamedView::code);
    if (named != std::end(kViewCodes)) {
        line.text += named->name;
    } else {
        Format(line, "0x%X", r.viewCode);
    }
    Fields(line, ", zoom ", r.zoom, ", centre ", r.center, ", angles ", r.horizAngle, " ",
           r.vertAngle);
    line.text += ", camera ";
    ShowName(line, r.cameraName, kObjectNameLimit3ds);
}
void Describe(Line& line, const ViewportSizeData3ds& r) {
    Format(line, "left %d, top %d, width %d, height %d", r.left, r.top, r.width, r.height);
}
void Describe(Line& line, const VertexListData3ds& r) {
    ShowList<Point3ds>(line, r.vertices, "point");
}
void Describe(Line& line, const VertexFlagsData3ds& r) {
    ShowList<uint16_t>(line, r.flags, "flag", [&line](uint16_t f) { Format(line, "0x%X", f); });
}
void Describe(Line& line, const FaceListData3ds& r) {
    ShowList<Face3ds>(line, r.faces, "face", [&line](const Face3ds& f) {
        Format(line, "(%d %d %d, 0x%X)", f.vertexA, f.vertexB, f.vertexC, f.flags);
    });
}
void Describe(Line& line, const MaterialGroupData3ds& r) {
    ShowName(line, r.name, kMaterialNameLimit3ds);
    line.text += ", ";
    ShowList<uint16_t>(line, r.faces, "face", [&line](uint16_t f) { Show(line, int64_t{f}); });
}
void Describe(Line& line, const TexVertsData3ds& r) {
    ShowList<TexVert3ds>(line, r.texVerts, "uv pair", [&line](const TexVert3ds& uv) {
        Format(line, "(%g, %g)", static_cast<double>(uv.u), static_cast<double>(uv.v));
    });
}
void Describe(Line& line, const SmoothGroupsData3ds& r) {
    ShowList<uint32_t>(line, r.groups, "mask", [&line](uint32_t g) { Format(line, "0x%X", g); });
}
void Describe(Line& line, const LocalAxesData3ds& r) {
    const auto& m = r.matrix;
    line.text += "axes ";
    for (size_t row = 0; row < 3; ++row) {
        Show(line, Point3ds{m[row * 3], m[row * 3 + 1], m[row * 3 + 2]});
        line.text += " ";
    }
    Field(line, "origin ", Point3ds{m[9], m[10], m[11]});
}
void Describe(Line& line, const MappingIconData3ds& r) {
    Format(line, "type %d, tiling ", r.mapType);
    Show(line, r.tileX);
    Fields(line, " ", r.tileY, ", position ", r.iconPosition, ", scale ", r.iconScaling);
}
void Describe(Line& line, const RawData3ds& r) {
    ShowList<uint8_t>(
        line, r.bytes, "byte", [&line](uint8_t b) { Format(line, "%02X", b); }, " ");
}
void Describe(Line& line, const BoxMapData3ds& r) {
    for (size_t i = 0; i < r.names.size(); ++i) {
        line.text += i == 0 ? "" : " ";
        ShowName(line, r.names[i], kMaterialNameLimit3ds);
    }
}
void Describe(Line& line, const SpotlightData3ds& r) {
    Fields(line, "target ", r.target, ", hotspot ", r.hotspot, ", falloff ", r.falloff);
}
void Describe(Line& line, const LightShadowData3ds& r) {
    Fields(line, "bias ", r.bias, ", filter ", r.filter, ", map size ", int64_t{r.mapSize});
}
void Describe(Line& line, const CameraData3ds& r) {
    Fields(line, "position ", r.position, ", target ", r.target, ", roll ", r.roll, ", lens ",
           r.focalLength);
}
void Describe(Line& line, const CameraRangesData3ds& r) {
    Fields(line, "near ", r.nearRange, ", far ", r.farRange);
}
void Describe(Line& line, const AutoReflectionData3ds& r) {
    Format(line, "bytes %d %d, flags 0x%X, map size %" PRIu32 ", every %" PRIu32 " frames",
           r.firstByte, r.secondByte, static_cast<uint16_t>(r.flags), r.size, r.frameStep);
}
void Describe(Line& line, const FrameRangeData3ds& r) {
    Format(line, "frames %" PRId32 " to %" PRId32, r.start, r.end);
}
void Describe(Line& line, const KeyframerHeaderData3ds& r) {
    Format(line, "revision %d, ", r.revision);
    ShowName(line, r.fileName, kHeaderFileNameLimit3ds);
    Format(line, ", %d frames", r.animLength);
}
void Describe(Line& line, const NodeHeaderData3ds& r) {
    ShowName(line, r.name, kObjectNameLimit3ds);
    Format(line, ", flags 0x%X 0x%X, parent ", r.flags1, r.flags2);
    if (r.parentId == kNoNode3ds) {
        line.text += "none";
    } else {
        Show(line, int64_t{r.parentId});
    }
}
void Describe(Line& line, const BoundingBoxData3ds& r) {
    Fields(line, "min ", r.min, ", max ", r.max);
}

void Show(Line& line, const RotationValue3ds& value) {
    Show(line, value.angle);
    Field(line, " about ", Point3ds{value.x, value.y, value.z});
}

template <typename Value> void Describe(Line& line, const TrackData3ds<Value>& r) {
    ShowList<TrackKey3ds<Value>>(line, r.keys, "key", [&line](const TrackKey3ds<Value>& key) {
        Format(line, "frame %" PRIu32, key.header.time);
        if constexpr (std::is_same_v<Value, std::string>) {
            line.text += " ";
            ShowName(line, key.value, kObjectNameLimit3ds);
        } else if constexpr (!std::is_same_v<Value, NoValue3ds>) {
            line.text += " ";
            Show(line, key.value);
        }
    });
}

// "chunk 0x4120 at byte 11992"
std::string ChunkAt(uint16_t tag, uint32_t position) {
    char text[64];
    std::snprintf(text, sizeof text, "chunk 0x%04X at byte %" PRIu32, tag, position);
    return text;
}

// "its parent 0x4100", or "the file" for the root.
std::string Parent(uint16_t parentTag) {
    char text[32];
    std::snprintf(text, sizeof text, "its parent 0x%04X", parentTag);
    return parentTag == kTagNone3ds ? "the file" : text;
}

// "chunk 0x4100", or "the file" for the root.
std::string Within(uint16_t parentTag) {
    char text[32];
    std::snprintf(text, sizeof text, "chunk 0x%04X", parentTag);
    return parentTag == kTagNone3ds ? "the file" : text;
}

std::string DescribeRecordFault(const RecordFault3ds& fault) {
    char text[160];
    switch (fault.kind) {
    case RecordFault3ds::Kind::kCountBeyondChunk:
        std::snprintf(text, sizeof text,
                      "%" PRIu64 " entries of %" PRIu64 " bytes need %" PRIu64
                      " bytes, only %" PRIu64 " remain in the chunk",
                      fault.count, fault.elementBytes, fault.count * fault.elementBytes,
                      fault.bytesLeft);
        break;
    case RecordFault3ds::Kind::kTextWithoutEnd:
        std::snprintf(text, sizeof text,
                      "a text has no zero byte in the %" PRIu64 " bytes left in the chunk",
                      fault.bytesLeft);
        break;
    default:
        std::snprintf(text, sizeof text,
                      "its data runs past the chunk's end (%" PRIu64 " data bytes)",
                      fault.bytesLeft);
        break;
    }
    return text;
}

} // namespace

std::string DescribeChunk(Chunk3ds* chunk, const DumpOptions& options) {
    Line line;
    line.full = options.full;
    const ChunkTagInfo3ds* info = FindChunkTagInfo3ds(chunk->tag);
    Format(line, "0x%04X %s (%" PRIu32 " bytes)", chunk->tag,
           info == nullptr ? "unknown" : info->name, chunk->size);
    if (info != nullptr && info->kind == ChunkKind3ds::kContainer) {
        return line.text;
    }
    line.textLimit = info == nullptr ? 0 : info->textLimit;
    const ChunkData3ds* record = ReadChunkData3ds(chunk);
    if (ErrorPending3ds) {
        line.text += ": (unreadable)";
    } else if (record != nullptr) {
        line.text += ": ";
        // The map tiling flags are a word of named bits, unlike other words.
        const auto* word = std::get_if<WordData3ds>(record);
        if (chunk->tag == kTagMapTiling3ds && word != nullptr) {
            ShowBits(line, word->value, kTilingBits);
        } else {
            std::visit([&line](const auto& layout) { Describe(line, layout); }, *record);
        }
    }
    DropRereadableData3ds(chunk);
    return line.text;
}

void DumpChunkTree(std::FILE* out, Chunk3ds* chunk, const DumpOptions& options, int depth) {
    if (chunk == nullptr || chunk->size == 0) {
        return;
    }
    std::fprintf(out, "%*s%s\n", depth * 2, "", DescribeChunk(chunk, options).c_str());
    // Every record loads with no error pending; the errors come back in line order.
    std::vector<int32_t> errors = TakeErrors3ds();
    for (Chunk3ds* child = chunk->child.get(); child != nullptr; child = child->next.get()) {
        DumpChunkTree(out, child, options, depth + 1);
        const std::vector<int32_t> below = TakeErrors3ds();
        errors.insert(errors.end(), below.begin(), below.end());
    }
    RaiseErrors3ds(errors);
}

std::string DescribeDamage(const ReadDamage3ds& damage) {
    using Kind = ReadDamage3ds::Kind;
    const std::string chunk = ChunkAt(damage.tag, damage.position);
    char text[256];
    switch (damage.kind) {
    case Kind::kNone:
        return {};
    case Kind::kEmptyFile:
        return "empty file, not a 3DS file";
    case Kind::kNotA3dsFile:
        std::snprintf(text, sizeof text,
                      "not a 3DS file (starts with 0x%04X, expected 0x%04X, 0x%04X or 0x%04X)",
                      damage.tag, kTagMeshFile3ds, kTagProjectFile3ds, kTagMaterialLibrary3ds);
        break;
    case Kind::kFileTooLarge:
        std::snprintf(text, sizeof text, "%" PRIu64 " bytes, more than a 3DS file can hold (2 GiB)",
                      damage.bytesLeft);
        break;
    case Kind::kHeaderCut:
        std::snprintf(text, sizeof text,
                      "byte %" PRIu32 ": only %" PRIu64 " bytes remain in %s, too few for a "
                      "chunk header",
                      damage.position, damage.bytesLeft, Within(damage.parentTag).c_str());
        break;
    case Kind::kLengthBelowHeader:
        std::snprintf(text, sizeof text, "%s claims %" PRIu32 " bytes, less than its header",
                      chunk.c_str(), damage.length);
        break;
    case Kind::kLengthBeyondParent:
        std::snprintf(text, sizeof text,
                      "%s claims %" PRIu32 " bytes, only %" PRIu64 " remain in %s", chunk.c_str(),
                      damage.length, damage.bytesLeft, Parent(damage.parentTag).c_str());
        break;
    case Kind::kTagNeverStored:
        std::snprintf(text, sizeof text, "%s has a tag no 3DS file holds", chunk.c_str());
        break;
    case Kind::kTooDeep:
        std::snprintf(text, sizeof text, "%s is nested deeper than %zu chunks", chunk.c_str(),
                      kMaxChunkDepth3ds);
        break;
    case Kind::kBadRecord:
        return chunk + ": " + DescribeRecordFault(damage.record);
    }
    return text;
}
