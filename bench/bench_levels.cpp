#include "bench/bench_levels.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "level/little_endian.h"
#include "tools/levelbuilder/sample_level.h"

namespace {

constexpr int kFigureMeshes[] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9, 10,
                                 11, 12, 13, 14, 30, 31, 32, 33, 34, 35};
constexpr int kFirstSmallBox = 15; // meshes 15..29 of the sample are small boxes
constexpr int kSmallBoxes = 15;
constexpr int kBulkMeshSplit = 3;
constexpr size_t kBulkRoomDataWords = 2000;
constexpr uint16_t kBulkRoomSectorsPerSide = 10;
constexpr size_t kPageBytes = kPageBytes8 + kPageBytes16; // what one more texture page adds

struct Point {
    double x = 0, y = 0, z = 0;
};

Point ToPoint(const Vertex16& v) {
    return {double(v.x), double(v.y), double(v.z)};
}

int16_t Round16(double value) {
    return static_cast<int16_t>(std::lround(value));
}

Vertex16 ToVertex(const Point& p) {
    return {Round16(p.x), Round16(p.y), Round16(p.z)};
}

// Weighted sum of up to four points.
Point Blend(const Point* points, const double* weights, int count) {
    Point sum;
    for (int i = 0; i < count; ++i) {
        sum.x += points[i].x * weights[i];
        sum.y += points[i].y * weights[i];
        sum.z += points[i].z * weights[i];
    }
    return sum;
}

// Builds the split mesh: each face's grid of vertices is added with
// AddVertex, then its small faces.
struct Splitter {
    const BuilderMesh& in;
    BuilderMesh out;
    int split = 1;

    uint16_t AddVertex(const uint16_t* corners, const double* weights, int count) {
        Point positions[4];
        Point normals[4];
        for (int i = 0; i < count; ++i) {
            positions[i] = ToPoint(in.vertices[corners[i]]);
            normals[i] = ToPoint(in.normals[corners[i]]);
        }
        out.vertices.push_back(ToVertex(Blend(positions, weights, count)));
        out.normals.push_back(ToVertex(Blend(normals, weights, count)));
        return static_cast<uint16_t>(out.vertices.size() - 1);
    }

    // Grid point (i, j) of a quad a, b, c, d lies at u = i / split along a-b
    // and v = j / split along a-d.
    void SplitQuad(const QuadFace& quad, std::vector<QuadFace>& faces) {
        std::vector<uint16_t> grid;
        for (int j = 0; j <= split; ++j) {
            for (int i = 0; i <= split; ++i) {
                const double u = double(i) / split, v = double(j) / split;
                const double weights[4] = {(1 - u) * (1 - v), u * (1 - v), u * v, (1 - u) * v};
                grid.push_back(AddVertex(quad.corners.data(), weights, 4));
            }
        }
        const auto at = [&](int i, int j) { return grid[size_t(j) * (split + 1) + i]; };
        for (int j = 0; j < split; ++j) {
            for (int i = 0; i < split; ++i) {
                faces.push_back(
                    {{at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)}, quad.texture});
            }
        }
    }

    // Grid point (i, j) of a triangle a, b, c lies at a + i/split (b - a) +
    // j/split (c - a), for i + j <= split.
    void SplitTriangle(const TriangleFace& triangle, std::vector<TriangleFace>& faces) {
        std::vector<std::vector<uint16_t>> grid(split + 1);
        for (int j = 0; j <= split; ++j) {
            for (int i = 0; i + j <= split; ++i) {
                const double u = double(i) / split, v = double(j) / split;
                const double weights[3] = {1 - u - v, u, v};
                grid[j].push_back(AddVertex(triangle.corners.data(), weights, 3));
            }
        }
        for (int j = 0; j < split; ++j) {
            for (int i = 0; i + j < split; ++i) {
                faces.push_back({{grid[j][i], grid[j][i + 1], grid[j + 1][i]}, triangle.texture});
                if (i + j + 1 < split) {
                    faces.push_back(
                        {{grid[j][i + 1], grid[j + 1][i + 1], grid[j + 1][i]}, triangle.texture});
                }
            }
        }
    }
};

[[noreturn]] void TooLarge(const char* what) {
    std::fprintf(stderr, "bench levels: a split mesh has too many %s\n", what);
    std::exit(1);
}

BuilderRoom BulkRoom(size_t index) {
    BuilderRoom room;
    room.kept.info[0] = static_cast<uint8_t>(index);
    room.kept.data.assign(kBulkRoomDataWords, static_cast<uint16_t>(index));
    room.kept.portals = PatternBytes(2 * 32, 0x11);
    room.kept.numZSectors = kBulkRoomSectorsPerSide;
    room.kept.numXSectors = kBulkRoomSectorsPerSide;
    room.kept.sectors = PatternBytes(kBulkRoomSectorsPerSide * kBulkRoomSectorsPerSide * 8, 0x22);
    room.kept.lights = PatternBytes(4 * 24, 0x33);
    room.staticMeshes = PatternBytes(2 * 20, 0x44);
    return room;
}

// Her animations come first and own the first frame words; the one other
// moveable's animation follows. Repeats hers, each copy with frames of its
// own, and moves the other one behind them.
void RepeatAnimations(LevelDescription& level, int copies) {
    constexpr size_t kOtherFirstAnimation = kMoveableBytes + 16; // the second moveable's field
    const size_t hers = ReadU16Le(&level.moveables.at(kOtherFirstAnimation));
    const size_t herWords = ReadU32Le(&level.animations.at(hers * kAnimationBytes)) / 2;
    const std::vector<uint8_t> records = level.animations;
    const std::vector<uint16_t> frames = level.frames;
    level.animations.assign(records.begin(), records.begin() + hers * kAnimationBytes);
    level.frames.assign(frames.begin(), frames.begin() + herWords);
    for (int copy = 1; copy <= copies; ++copy) {
        const size_t first = level.animations.size() / kAnimationBytes;
        const bool last = copy == copies;
        const size_t from = last ? hers : 0, to = last ? records.size() / kAnimationBytes : hers;
        for (size_t a = from; a < to; ++a) {
            std::vector<uint8_t> record(records.begin() + a * kAnimationBytes,
                                        records.begin() + (a + 1) * kAnimationBytes);
            const size_t shift = (last ? copies - 1 : copy) * herWords * 2;
            PatchU32(record, 0, ReadU32Le(record.data()) + static_cast<uint32_t>(shift));
            level.animations.insert(level.animations.end(), record.begin(), record.end());
        }
        if (last) {
            level.frames.insert(level.frames.end(), frames.begin() + herWords, frames.end());
            PatchU16(level.moveables, kOtherFirstAnimation, static_cast<uint16_t>(first));
        } else {
            level.frames.insert(level.frames.end(), frames.begin(), frames.begin() + herWords);
        }
    }
}

} // namespace

void SplitFaces(BuilderMesh& mesh, int split) {
    Splitter splitter{mesh, {}, split};
    splitter.out.centre = mesh.centre;
    splitter.out.collisionRadius = mesh.collisionRadius;
    for (const QuadFace& quad : mesh.texturedQuads) {
        splitter.SplitQuad(quad, splitter.out.texturedQuads);
    }
    for (const TriangleFace& triangle : mesh.texturedTriangles) {
        splitter.SplitTriangle(triangle, splitter.out.texturedTriangles);
    }
    for (const QuadFace& quad : mesh.colouredQuads) {
        splitter.SplitQuad(quad, splitter.out.colouredQuads);
    }
    for (const TriangleFace& triangle : mesh.colouredTriangles) {
        splitter.SplitTriangle(triangle, splitter.out.colouredTriangles);
    }
    // Counts are 16-bit; every corner becomes a vertex of the converted part.
    const BuilderMesh& out = splitter.out;
    if (out.vertices.size() > 32767) {
        TooLarge("vertices");
    }
    if (4 * (out.texturedQuads.size() + out.colouredQuads.size()) +
            3 * (out.texturedTriangles.size() + out.colouredTriangles.size()) >
        32768) {
        TooLarge("face corners");
    }
    mesh = splitter.out;
}

LevelDescription DescribeBenchLevel(const BenchLevel& bench) {
    LevelDescription level = DescribeSampleLevel();
    for (int part : kFigureMeshes) {
        if (bench.split > 1) {
            SplitFaces(level.meshes[part], bench.split);
        }
    }
    for (size_t i = 0; i < bench.bulkMeshes; ++i) {
        BuilderMesh box = level.meshes[kFirstSmallBox + i % kSmallBoxes];
        SplitFaces(box, kBulkMeshSplit);
        level.meshes.push_back(std::move(box));
    }
    for (size_t i = 0; i < bench.bulkRooms; ++i) {
        level.rooms.push_back(BulkRoom(i));
    }
    if (bench.animationCopies > 1) {
        RepeatAnimations(level, bench.animationCopies);
    }
    if (bench.fillTo > 0) {
        const size_t size = BuildLevel(level).bytes.size();
        const size_t pages = bench.fillTo > size ? (bench.fillTo - size) / kPageBytes : 0;
        level.texturePages8.resize(level.texturePages8.size() + pages * kPageBytes8, 0x5a);
    }
    return level;
}
