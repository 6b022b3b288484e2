#include "tools/levelbuilder/level_builder.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>

namespace {

constexpr size_t kSecondPaletteBytes = 1024;
constexpr uint32_t kUnusedWord = 0x5eed5eed;
constexpr uint8_t kSkippedFiller = 0xee; // room values the reader skips
constexpr uint8_t kMeshPadFiller = 0xcd;

void PutU16(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void PutU32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<uint8_t>(value >> shift));
    }
}

void PutI16(std::vector<uint8_t>& out, int16_t value) {
    PutU16(out, static_cast<uint16_t>(value));
}

void PutVertex(std::vector<uint8_t>& out, const Vertex16& v) {
    PutI16(out, v.x);
    PutI16(out, v.y);
    PutI16(out, v.z);
}

// Appends bytes to the file and records them as one named block.
class FileWriter {
public:
    explicit FileWriter(BuiltLevel& built) : built_(built) {}

    void Bytes(std::string name, std::span<const uint8_t> bytes) {
        const size_t start = built_.bytes.size();
        built_.bytes.insert(built_.bytes.end(), bytes.begin(), bytes.end());
        built_.blocks.push_back({std::move(name), start, bytes.size()});
    }

    void U16(std::string name, uint16_t value) {
        std::vector<uint8_t> b;
        PutU16(b, value);
        Bytes(std::move(name), b);
    }

    void U32(std::string name, uint32_t value) {
        std::vector<uint8_t> b;
        PutU32(b, value);
        Bytes(std::move(name), b);
    }

    void Words(std::string name, const std::vector<uint16_t>& words) {
        std::vector<uint8_t> b;
        for (uint16_t word : words) {
            PutU16(b, word);
        }
        Bytes(std::move(name), b);
    }

    // A u32 count of whole entries, then the entries.
    void Counted(const std::string& countName, const std::string& name,
                 const std::vector<uint8_t>& raw, size_t entryBytes) {
        const size_t count = (raw.size() + entryBytes - 1) / entryBytes;
        std::vector<uint8_t> padded = raw;
        padded.resize(count * entryBytes, 0);
        U32(countName, static_cast<uint32_t>(count));
        Bytes(name, padded);
    }

    void CountedWords(const std::string& countName, const std::string& name,
                      const std::vector<uint16_t>& words) {
        U32(countName, static_cast<uint32_t>(words.size()));
        Words(name, words);
    }

private:
    BuiltLevel& built_;
};

int16_t CountField(size_t count, bool negative) {
    const int32_t value = static_cast<int32_t>(count);
    return static_cast<int16_t>(negative ? -value : value);
}

void PutQuads(std::vector<uint8_t>& out, const std::vector<QuadFace>& faces, bool negative) {
    PutI16(out, CountField(faces.size(), negative));
    for (const QuadFace& face : faces) {
        for (uint16_t corner : face.corners) {
            PutU16(out, corner);
        }
        PutU16(out, face.texture);
    }
}

void PutTriangles(std::vector<uint8_t>& out, const std::vector<TriangleFace>& faces,
                  bool negative) {
    PutI16(out, CountField(faces.size(), negative));
    for (const TriangleFace& face : faces) {
        for (uint16_t corner : face.corners) {
            PutU16(out, corner);
        }
        PutU16(out, face.texture);
    }
}

void PutMesh(std::vector<uint8_t>& out, const BuilderMesh& mesh) {
    PutVertex(out, mesh.centre);
    PutU32(out, static_cast<uint32_t>(mesh.collisionRadius));
    PutI16(out, CountField(mesh.vertices.size(), mesh.negativeCounts));
    for (const Vertex16& v : mesh.vertices) {
        PutVertex(out, v);
    }
    if (!mesh.lightValues.empty()) {
        PutI16(out, CountField(mesh.lightValues.size(), true));
        for (int16_t value : mesh.lightValues) {
            PutI16(out, value);
        }
    } else {
        PutI16(out, CountField(mesh.normals.size(), false));
        for (const Vertex16& n : mesh.normals) {
            PutVertex(out, n);
        }
    }
    PutQuads(out, mesh.texturedQuads, mesh.negativeCounts);
    PutTriangles(out, mesh.texturedTriangles, mesh.negativeCounts);
    PutQuads(out, mesh.colouredQuads, mesh.negativeCounts);
    PutTriangles(out, mesh.colouredTriangles, mesh.negativeCounts);
}

void WriteRoom(FileWriter& out, size_t index, const BuilderRoom& room) {
    const std::string prefix = "room " + std::to_string(index) + " ";
    const BuilderRoomKept& kept = room.kept;
    out.Bytes(prefix + "info", kept.info);
    out.U32(prefix + "data word count", static_cast<uint32_t>(kept.data.size()));
    out.Words(prefix + "data", kept.data);
    out.U16(prefix + "portal count", static_cast<uint16_t>((kept.portals.size() + 31) / 32));
    std::vector<uint8_t> portals = kept.portals;
    portals.resize((portals.size() + 31) / 32 * 32, 0);
    out.Bytes(prefix + "portals", portals);
    out.U16(prefix + "sector count along z", kept.numZSectors);
    out.U16(prefix + "sector count along x", kept.numXSectors);
    out.Bytes(prefix + "sectors", kept.sectors);
    out.Bytes(prefix + "values after the sectors", std::vector<uint8_t>(6, kSkippedFiller));
    out.U16(prefix + "light count", static_cast<uint16_t>((kept.lights.size() + 23) / 24));
    std::vector<uint8_t> lights = kept.lights;
    lights.resize((lights.size() + 23) / 24 * 24, 0);
    out.Bytes(prefix + "lights", lights);
    out.U16(prefix + "static mesh count",
            static_cast<uint16_t>((room.staticMeshes.size() + 19) / 20));
    std::vector<uint8_t> statics = room.staticMeshes;
    statics.resize((statics.size() + 19) / 20 * 20, 0);
    out.Bytes(prefix + "static meshes", statics);
    out.Bytes(prefix + "closing values", std::vector<uint8_t>(4, kSkippedFiller));
}

std::vector<uint8_t> EncodeObjectTextures(const std::vector<ObjectTexture>& textures) {
    std::vector<uint8_t> out;
    for (const ObjectTexture& texture : textures) {
        PutU16(out, texture.attribute);
        PutU16(out, texture.tile);
        for (const TextureVertex& corner : texture.vertices) {
            out.push_back(corner.xCoordinate);
            out.push_back(corner.xPixel);
            out.push_back(corner.yCoordinate);
            out.push_back(corner.yPixel);
        }
    }
    return out;
}

} // namespace

BuiltLevel BuildLevel(const LevelDescription& description) {
    BuiltLevel built;
    FileWriter out(built);
    const LevelDescription& d = description;

    out.U32("version", d.version);
    std::vector<uint8_t> palette;
    for (const PaletteEntry& entry : d.palette) {
        palette.insert(palette.end(), {entry.red, entry.green, entry.blue});
    }
    out.Bytes("palette", palette);
    out.Bytes("second palette", PatternBytes(kSecondPaletteBytes, 0x5a));

    const size_t pages = (d.texturePages8.size() + kPageBytes8 - 1) / kPageBytes8;
    std::vector<uint8_t> pages8 = d.texturePages8;
    pages8.resize(pages * kPageBytes8, 0);
    std::vector<uint8_t> pages16 = d.texturePages16;
    pages16.resize(pages * kPageBytes16, 0);
    out.U32("texture page count", static_cast<uint32_t>(pages));
    out.Bytes("8-bit texture pages", pages8);
    out.Bytes("16-bit texture pages", pages16);
    out.U32("unused word", kUnusedWord);

    out.U16("room count", static_cast<uint16_t>(d.rooms.size()));
    for (size_t i = 0; i < d.rooms.size(); ++i) {
        WriteRoom(out, i, d.rooms[i]);
    }
    out.CountedWords("floor data count", "floor data", d.floorData);

    std::vector<uint8_t> meshWords;
    for (const BuilderMesh& mesh : d.meshes) {
        meshWords.insert(meshWords.end(), mesh.padBefore, kMeshPadFiller);
        built.meshStarts.push_back(static_cast<uint32_t>(meshWords.size()));
        PutMesh(meshWords, mesh);
    }
    if (meshWords.size() % 2 != 0) {
        meshWords.push_back(kMeshPadFiller);
    }
    out.U32("mesh word count", static_cast<uint32_t>(meshWords.size() / 2));
    built.meshWordsOffset = built.bytes.size();
    out.Bytes("mesh words", meshWords);

    const std::vector<uint32_t>& pointers = d.meshPointers ? *d.meshPointers : built.meshStarts;
    out.U32("mesh pointer count", static_cast<uint32_t>(pointers.size()));
    std::vector<uint8_t> pointerBytes;
    for (uint32_t pointer : pointers) {
        PutU32(pointerBytes, pointer);
    }
    out.Bytes("mesh pointers", pointerBytes);

    out.Counted("animation count", "animations", d.animations, 32);
    out.Counted("state change count", "state changes", d.stateChanges, 6);
    out.Counted("animation dispatch count", "animation dispatches", d.animDispatches, 8);
    out.CountedWords("animation command count", "animation commands", d.animCommands);
    out.Counted("mesh tree count", "mesh trees", d.meshTrees, 4);
    out.CountedWords("frame count", "frames", d.frames);
    out.Counted("moveable count", "moveables", d.moveables, 18);
    out.Counted("static mesh count", "static meshes", d.staticMeshes, 32);
    out.Counted("object texture count", "object textures", EncodeObjectTextures(d.objectTextures),
                20);
    out.Counted("sprite texture count", "sprite textures", d.spriteTextures, 16);
    out.Counted("sprite sequence count", "sprite sequences", d.spriteSequences, 8);
    out.Bytes("trailing bytes", d.trailingBytes);
    return built;
}

const BlockPlace& FindBlock(const BuiltLevel& built, std::string_view name) {
    for (const BlockPlace& block : built.blocks) {
        if (block.name == name) {
            return block;
        }
    }
    std::fprintf(stderr, "level builder: no block named '%.*s'\n", static_cast<int>(name.size()),
                 name.data());
    std::abort();
}

void PatchU16(std::vector<uint8_t>& bytes, size_t offset, uint16_t value) {
    bytes.at(offset) = static_cast<uint8_t>(value);
    bytes.at(offset + 1) = static_cast<uint8_t>(value >> 8);
}

void PatchU32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
    for (size_t i = 0; i < 4; ++i) {
        bytes.at(offset + i) = static_cast<uint8_t>(value >> (8 * i));
    }
}

std::vector<uint8_t> PatternBytes(size_t count, uint8_t seed) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
    }
    return bytes;
}

bool WriteLevelFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const int writeError = errno;
    if (std::fclose(file) != 0 || !written) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), std::strerror(written ? errno : writeError));
        std::remove(path.c_str());
        return false;
    }
    return true;
}

std::vector<uint8_t> EncodeMoveables(const std::vector<BuilderMoveable>& moveables) {
    std::vector<uint8_t> out;
    for (const BuilderMoveable& m : moveables) {
        PutU32(out, m.objectId);
        PutU16(out, m.meshCount);
        PutU16(out, m.firstMesh);
        PutU32(out, m.meshTreeStart);
        PutU32(out, m.frameOffset);
        PutU16(out, m.firstAnimation);
    }
    return out;
}

std::vector<uint8_t> EncodeMeshTree(const std::vector<BuilderTreeNode>& nodes) {
    std::vector<uint8_t> out;
    for (const BuilderTreeNode& node : nodes) {
        PutU32(out, node.flags);
        for (const int32_t value : node.offset) {
            PutU32(out, static_cast<uint32_t>(value));
        }
    }
    return out;
}

std::vector<uint8_t> EncodeAnimations(const std::vector<BuilderAnimation>& animations) {
    constexpr uint16_t kFiller = 0xa5a5; // state id, next animation, ...: unused here
    std::vector<uint8_t> out;
    for (const BuilderAnimation& a : animations) {
        PutU32(out, a.frameOffset);
        out.push_back(a.frameRate);
        out.push_back(a.frameSize);
        PutU16(out, kFiller); // state id
        PutU32(out, 0x10000); // speed
        PutU32(out, 0);       // acceleration
        PutU16(out, a.frameStart);
        PutU16(out, a.frameEnd);
        for (int i = 0; i < 6; ++i) {
            PutU16(out, kFiller); // next animation and frame, state changes, commands
        }
    }
    return out;
}

std::vector<uint16_t> EncodeKeyframe(const BuilderKeyframe& keyframe) {
    std::vector<uint16_t> words(6, 0); // bounding box
    for (const int16_t value : keyframe.rootOffset) {
        words.push_back(static_cast<uint16_t>(value));
    }
    for (const JointAngles& a : keyframe.angles) {
        const int nonZero = (a.x != 0) + (a.y != 0) + (a.z != 0);
        if (keyframe.threeAxes || nonZero > 1) {
            words.push_back(static_cast<uint16_t>((a.x & 0x3FF) << 4 | (a.y & 0x3FF) >> 6));
            words.push_back(static_cast<uint16_t>((a.y & 0x3F) << 10 | (a.z & 0x3FF)));
        } else if (a.y != 0) {
            words.push_back(static_cast<uint16_t>(0x8000 | (a.y & 0x3FF)));
        } else if (a.z != 0) {
            words.push_back(static_cast<uint16_t>(0xC000 | (a.z & 0x3FF)));
        } else {
            words.push_back(static_cast<uint16_t>(0x4000 | (a.x & 0x3FF)));
        }
    }
    return words;
}

uint32_t AddAnimation(LevelDescription& level, const std::vector<BuilderKeyframe>& keyframes,
                      uint8_t frameRate) {
    std::vector<std::vector<uint16_t>> encoded;
    size_t frameSize = 0;
    for (const BuilderKeyframe& keyframe : keyframes) {
        encoded.push_back(EncodeKeyframe(keyframe));
        frameSize = std::max(frameSize, encoded.back().size());
    }
    BuilderAnimation animation;
    animation.frameOffset = static_cast<uint32_t>(level.frames.size() * 2);
    animation.frameRate = frameRate;
    animation.frameSize = static_cast<uint8_t>(frameSize);
    animation.frameEnd = static_cast<uint16_t>((keyframes.size() - 1) * frameRate);
    for (std::vector<uint16_t>& words : encoded) {
        words.resize(frameSize, 0);
        level.frames.insert(level.frames.end(), words.begin(), words.end());
    }
    const std::vector<uint8_t> record = EncodeAnimations({animation});
    level.animations.insert(level.animations.end(), record.begin(), record.end());
    return static_cast<uint32_t>(level.animations.size() / kAnimationBytes - 1);
}
