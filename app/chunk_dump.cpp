#include "app/chunk_dump.h"

#include "toolkit3ds/errors.h"
#include "toolkit3ds/toolkit_state.h"

#include <cinttypes>
#include <span>
#include <type_traits>

namespace {

// A longer list shows this many elements, then "...".
constexpr size_t kShownElements = 3;

template <typename... Args> void Format(std::string& out, const char* format, Args... args) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, args...);
    out += buffer;
}

void Show(std::string& out, float value) {
    Format(out, "%g", static_cast<double>(value));
}
void Show(std::string& out, int64_t value) {
    Format(out, "%" PRId64, value);
}
void Show(std::string& out, const Point3ds& point) {
    Format(out, "(%g, %g, %g)", static_cast<double>(point.x), static_cast<double>(point.y),
           static_cast<double>(point.z));
}
// Quoted, with every byte that is not printable ASCII escaped: texts come from the file.
void Show(std::string& out, const std::string& text) {
    out += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte > 0x7E || c == '"' || c == '\\') {
            Format(out, "\\x%02X", byte);
        } else {
            out += c;
        }
    }
    out += '"';
}

// The label, then the value: one part of a record with named parts.
template <typename Value> void Field(std::string& out, const char* label, const Value& value) {
    out += label;
    Show(out, value);
}

// Values separated by spaces, for records that are a few numbers.
template <typename... Values> void ShowAll(std::string& out, const Values&... values) {
    const char* separator = "";
    ((out += separator, Show(out, values), separator = " "), ...);
}

// "count nouns: first, second, third, ...".
template <typename Item, typename ShowItem>
void ShowList(std::string& out, std::span<const Item> items, const char* noun, ShowItem showItem) {
    Format(out, "%zu %s%s", items.size(), noun, items.size() == 1 ? "" : "s");
    for (size_t i = 0; i < items.size() && i < kShownElements; ++i) {
        out += i == 0 ? ": " : ", ";
        showItem(items[i]);
    }
    if (items.size() > kShownElements) {
        out += ", ...";
    }
}

template <typename Item>
void ShowList(std::string& out, std::span<const Item> items, const char* noun) {
    ShowList(out, items, noun, [&out](const Item& item) { Show(out, item); });
}

// --- Records -----------------------------------------------------------------------

void Describe(std::string& out, const LongData3ds& r) {
    Show(out, int64_t{r.value});
}
void Describe(std::string& out, const ShortData3ds& r) {
    Show(out, int64_t{r.value});
}
void Describe(std::string& out, const WordData3ds& r) {
    Show(out, int64_t{r.value});
}
void Describe(std::string& out, const ByteData3ds& r) {
    Show(out, int64_t{r.value});
}
void Describe(std::string& out, const FloatData3ds& r) {
    Show(out, r.value);
}
void Describe(std::string& out, const ColorFloatData3ds& r) {
    Show(out, Point3ds{r.red, r.green, r.blue});
}
void Describe(std::string& out, const ColorByteData3ds& r) {
    Format(out, "(%d, %d, %d)", r.red, r.green, r.blue);
}
void Describe(std::string& out, const PointData3ds& r) {
    Show(out, r.point);
}
void Describe(std::string& out, const StringData3ds& r) {
    Show(out, r.text);
}
void Describe(std::string& out, const FogData3ds& r) {
    ShowAll(out, r.nearPlane, r.nearDensity, r.farPlane, r.farDensity);
}
void Describe(std::string& out, const LayeredFogData3ds& r) {
    ShowAll(out, r.bottom, r.top, r.density);
    Format(out, ", flags 0x%X", r.flags);
}
void Describe(std::string& out, const OrthoViewData3ds& r) {
    Field(out, "width ", r.width);
    Field(out, ", target ", r.target);
}
void Describe(std::string& out, const UserViewData3ds& r) {
    Field(out, "width ", r.width);
    out += ", angles ";
    ShowAll(out, r.horizAngle, r.vertAngle, r.backAngle);
    Field(out, ", target ", r.target);
}
void Describe(std::string& out, const ViewportLayoutData3ds& r) {
    for (size_t i = 0; i < r.state.size(); ++i) {
        out += i == 0 ? "" : " ";
        Show(out, int64_t{r.state[i]});
    }
}
void Describe(std::string& out, const ViewportEntryData3ds& r) {
    Format(out, "view 0x%X, (%d, %d, %d, %d), zoom ", r.viewCode, r.left, r.top, r.width, r.height);
    Show(out, r.zoom);
    Field(out, ", centre ", r.center);
    Field(out, ", camera ", r.cameraName);
}
void Describe(std::string& out, const ViewportSizeData3ds& r) {
    Format(out, "(%d, %d, %d, %d)", r.left, r.top, r.width, r.height);
}
void Describe(std::string& out, const VertexListData3ds& r) {
    ShowList<Point3ds>(out, r.vertices, "point");
}
void Describe(std::string& out, const VertexFlagsData3ds& r) {
    ShowList<uint16_t>(out, r.flags, "flag", [&out](uint16_t f) { Format(out, "0x%X", f); });
}
void Describe(std::string& out, const FaceListData3ds& r) {
    ShowList<Face3ds>(out, r.faces, "face", [&out](const Face3ds& f) {
        Format(out, "(%d %d %d, 0x%X)", f.vertexA, f.vertexB, f.vertexC, f.flags);
    });
}
void Describe(std::string& out, const MaterialGroupData3ds& r) {
    Show(out, r.name);
    out += ", ";
    ShowList<uint16_t>(out, r.faces, "face", [&out](uint16_t f) { Show(out, int64_t{f}); });
}
void Describe(std::string& out, const TexVertsData3ds& r) {
    ShowList<TexVert3ds>(out, r.texVerts, "uv pair", [&out](const TexVert3ds& uv) {
        Format(out, "(%g, %g)", static_cast<double>(uv.u), static_cast<double>(uv.v));
    });
}
void Describe(std::string& out, const SmoothGroupsData3ds& r) {
    ShowList<uint32_t>(out, r.groups, "mask", [&out](uint32_t g) { Format(out, "0x%X", g); });
}
void Describe(std::string& out, const LocalAxesData3ds& r) {
    const auto& m = r.matrix;
    out += "axes ";
    for (size_t row = 0; row < 3; ++row) {
        Show(out, Point3ds{m[row * 3], m[row * 3 + 1], m[row * 3 + 2]});
        out += " ";
    }
    Field(out, "origin ", Point3ds{m[9], m[10], m[11]});
}
void Describe(std::string& out, const MappingIconData3ds& r) {
    Format(out, "type %d, tiling ", r.mapType);
    ShowAll(out, r.tileX, r.tileY);
    Field(out, ", position ", r.iconPosition);
    Field(out, ", scale ", r.iconScaling);
}
void Describe(std::string& out, const RawData3ds& r) {
    ShowList<uint8_t>(out, r.bytes, "byte", [&out](uint8_t b) { Format(out, "%02X", b); });
}
void Describe(std::string& out, const BoxMapData3ds& r) {
    for (size_t i = 0; i < r.names.size(); ++i) {
        out += i == 0 ? "" : " ";
        Show(out, r.names[i]);
    }
}
void Describe(std::string& out, const SpotlightData3ds& r) {
    Field(out, "target ", r.target);
    Field(out, ", hotspot ", r.hotspot);
    Field(out, ", falloff ", r.falloff);
}
void Describe(std::string& out, const LightShadowData3ds& r) {
    Field(out, "bias ", r.bias);
    Field(out, ", filter ", r.filter);
    Field(out, ", map size ", int64_t{r.mapSize});
}
void Describe(std::string& out, const CameraData3ds& r) {
    Field(out, "position ", r.position);
    Field(out, ", target ", r.target);
    Field(out, ", roll ", r.roll);
    Field(out, ", lens ", r.focalLength);
}
void Describe(std::string& out, const CameraRangesData3ds& r) {
    ShowAll(out, r.nearRange, r.farRange);
}
void Describe(std::string& out, const AutoReflectionData3ds& r) {
    ShowAll(out, int64_t{r.firstByte}, int64_t{r.secondByte}, int64_t{r.flags}, int64_t{r.size},
            int64_t{r.frameStep});
}
void Describe(std::string& out, const FrameRangeData3ds& r) {
    ShowAll(out, int64_t{r.start}, int64_t{r.end});
}
void Describe(std::string& out, const KeyframerHeaderData3ds& r) {
    Format(out, "revision %d, ", r.revision);
    Show(out, r.fileName);
    Format(out, ", %d frames", r.animLength);
}
void Describe(std::string& out, const NodeHeaderData3ds& r) {
    Show(out, r.name);
    Format(out, ", flags 0x%X 0x%X, parent ", r.flags1, r.flags2);
    if (r.parentId == 0xFFFF) {
        out += "none";
    } else {
        Show(out, int64_t{r.parentId});
    }
}
void Describe(std::string& out, const BoundingBoxData3ds& r) {
    Show(out, r.min);
    Field(out, " ", r.max);
}

void Show(std::string& out, const RotationValue3ds& value) {
    Show(out, value.angle);
    Field(out, " about ", Point3ds{value.x, value.y, value.z});
}

template <typename Value> void Describe(std::string& out, const TrackData3ds<Value>& r) {
    ShowList<TrackKey3ds<Value>>(out, r.keys, "key", [&out](const TrackKey3ds<Value>& key) {
        Format(out, "frame %" PRIu32, key.header.time);
        if constexpr (!std::is_same_v<Value, NoValue3ds>) {
            out += " ";
            Show(out, key.value);
        }
    });
}

} // namespace

std::string DescribeChunk(Chunk3ds* chunk) {
    std::string out;
    const ChunkTagInfo3ds* info = FindChunkTagInfo3ds(chunk->tag);
    Format(out, "0x%04X %s (%" PRIu32 " bytes)", chunk->tag,
           info == nullptr ? "unknown" : info->name, chunk->size);
    if (info != nullptr && info->kind == ChunkKind3ds::kContainer) {
        return out;
    }
    const ChunkData3ds* record = ReadChunkData3ds(chunk);
    if (ErrorPending3ds) {
        out += ": (unreadable)";
    } else if (record != nullptr) {
        out += ": ";
        std::visit([&out](const auto& layout) { Describe(out, layout); }, *record);
    }
    DropRereadableData3ds(chunk);
    return out;
}

void DumpChunkTree(std::FILE* out, Chunk3ds* chunk, int depth) {
    if (chunk == nullptr || chunk->size == 0) {
        return;
    }
    std::fprintf(out, "%*s%s\n", depth * 2, "", DescribeChunk(chunk).c_str());
    // Every record loads with no error pending; the errors come back in line order.
    std::vector<int32_t> errors = TakeErrors3ds();
    for (Chunk3ds* child = chunk->child.get(); child != nullptr; child = child->next.get()) {
        DumpChunkTree(out, child, depth + 1);
        const std::vector<int32_t> below = TakeErrors3ds();
        errors.insert(errors.end(), below.begin(), below.end());
    }
    RaiseErrors3ds(errors);
}
