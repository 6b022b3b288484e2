#include "tools/levelbuilder/sample_level.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// ---- Geometry --------------------------------------------------------------

struct Vec {
    double x = 0, y = 0, z = 0;
};

Vec operator+(Vec a, Vec b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
Vec operator-(Vec a, Vec b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec operator*(Vec a, double s) {
    return {a.x * s, a.y * s, a.z * s};
}
double Dot(Vec a, Vec b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vec Cross(Vec a, Vec b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double Length(Vec a) {
    return std::sqrt(Dot(a, a));
}

[[noreturn]] void Broken(const char* what, int mesh) {
    std::fprintf(stderr, "sample level: %s in mesh %d\n", what, mesh);
    std::abort();
}

// ---- The fixed pose, as the converter applies it ---------------------------

// Offsets in hundreds of level units, angles in degrees.
struct PartPose {
    int mesh = 0;
    std::array<double, 3> offset{};
    std::array<double, 3> angle{};
};

constexpr std::array<PartPose, 21> kPoses = {{
    {0, {0.0, -0.2, 0.0}, {180, 0, 0}},           {1, {-0.4, -0.48, 0.0}, {185, 0, 15}},
    {2, {-0.75, -2.2, -0.2}, {175, 0, 14}},       {3, {1.25, -3.99999999, 0.05}, {180, 0, 0}},
    {4, {0.4, -0.48, 0.0}, {185, 0, -15}},        {5, {0.75, -2.2, -0.1}, {175, 0, -14}},
    {6, {-1.18, -3.99999999, 0.05}, {180, 0, 0}}, {7, {0.0, 0.3, -0.1}, {180, 0, 0}},
    {8, {0.5, 1.7, 0.0}, {175, 0, -35}},          {9, {1.2, 1.0, 0.1}, {195, 0, 25}},
    {10, {0.78, 0.12, -0.18}, {180, 0, 0}},       {11, {-0.5, 1.7, 0.0}, {175, 0, 35}},
    {12, {-1.2, 1.0, 0.1}, {195, 0, -25}},        {13, {-0.78, 0.12, -0.18}, {180, 0, 0}},
    {14, {0.05, 2.29, 0.2}, {180, 0, 0}},         {30, {0.0, 2.35, 0.72}, {70, 0, 0}},
    {31, {0.0, 1.9, 0.89}, {90, 0, 0}},           {32, {0.0, 1.4, 0.89}, {90, 0, 0}},
    {33, {0.0, 0.9, 0.89}, {90, 0, 0}},           {34, {0.0, 0.5, 0.89}, {90, 0, 0}},
    {35, {0.0, 0.2, 0.89}, {85, 0, 0}},
}};

using Matrix = std::array<double, 9>; // row-major

Matrix RotationX(double a) {
    return {1, 0, 0, 0, std::cos(a), std::sin(a), 0, -std::sin(a), std::cos(a)};
}
Matrix RotationY(double a) {
    return {std::cos(a), 0, -std::sin(a), 0, 1, 0, std::sin(a), 0, std::cos(a)};
}
Matrix RotationZ(double a) {
    return {std::cos(a), std::sin(a), 0, -std::sin(a), std::cos(a), 0, 0, 0, 1};
}

Vec ApplyTransposed(const Matrix& m, Vec v) {
    return {m[0] * v.x + m[3] * v.y + m[6] * v.z, m[1] * v.x + m[4] * v.y + m[7] * v.z,
            m[2] * v.x + m[5] * v.y + m[8] * v.z};
}

// The posing rotates about x (angle negated), y and z, then adds the offset
// (x10, in model units of 10 level units). Undo it, rotations transposed.
Vec ToLevelUnits(const PartPose& pose, Vec posed) {
    constexpr double kPi = 3.141592653589;
    constexpr double kPerDegree = 0.005555555555555556;
    const double ax = pose.angle[0] * kPi * -kPerDegree;
    const double ay = pose.angle[1] * kPi * kPerDegree;
    const double az = pose.angle[2] * kPi * kPerDegree;
    Vec v = posed - Vec{pose.offset[0] * 10, pose.offset[1] * 10, pose.offset[2] * 10};
    v = ApplyTransposed(RotationZ(az), v);
    v = ApplyTransposed(RotationY(ay), v);
    v = ApplyTransposed(RotationX(ax), v);
    return v * 10.0;
}

// ---- Palette and texture pages ---------------------------------------------

enum Colour : uint8_t {
    kBlack,
    kWhite,
    kSkin,
    kSkinShade,
    kShirt,
    kShirtDark,
    kShorts,
    kShortsDark,
    kBoot,
    kLace,
    kHair,
    kHairLight,
    kRed,
    kBlue,
    kEyeWhite,
    kLips,
    kBelt,
    kSole,
    kFirstRampColour,
};

constexpr std::array<PaletteEntry, kFirstRampColour> kNamedColours = {{
    {0, 0, 0},
    {63, 63, 63},
    {58, 44, 34},
    {50, 36, 27},
    {8, 40, 42},
    {4, 28, 30},
    {34, 26, 14},
    {26, 19, 10},
    {22, 14, 8},
    {50, 46, 38},
    {24, 14, 6},
    {36, 23, 11},
    {56, 8, 8},
    {8, 16, 56},
    {60, 60, 58},
    {48, 20, 20},
    {12, 10, 8},
    {6, 6, 6},
}};

std::array<PaletteEntry, 256> MakePalette() {
    std::array<PaletteEntry, 256> palette{};
    std::copy(kNamedColours.begin(), kNamedColours.end(), palette.begin());
    // The rest: a hue ramp, for the small boxes and the page backgrounds.
    for (size_t i = kFirstRampColour; i < palette.size(); ++i) {
        const double t = static_cast<double>(i - kFirstRampColour) / (256 - kFirstRampColour);
        auto channel = [t](double phase) {
            return static_cast<uint8_t>(
                std::lround(31.5 + 31.5 * std::cos(6.283185307 * (t - phase))));
        };
        palette[i] = PaletteEntry{channel(0.0), channel(1.0 / 3), channel(2.0 / 3)};
    }
    return palette;
}

// A 64 x 64 pixel square of a texture page.
struct Region {
    uint16_t page = 0;
    uint8_t left = 0;
    uint8_t top = 0;
};

enum RegionName {
    kSkinRegion,
    kShirtRegion,
    kShortsRegion,
    kBootRegion,
    kHairRegion,
    kFaceRegion,
    kCheckerRegion
};

constexpr std::array<Region, 7> kRegions = {{
    {0, 0, 0},
    {0, 64, 0},
    {0, 128, 0},
    {0, 192, 0},
    {0, 0, 64},
    {1, 0, 0},
    {1, 64, 0},
}};

constexpr int kRegionSide = 64;
constexpr int kPageCount = 2;

uint8_t& Pixel(std::vector<uint8_t>& pages, const Region& region, int x, int y) {
    return pages[region.page * kPageBytes8 + (region.top + y) * kPageSide + region.left + x];
}

// Small deterministic noise, 0..3.
int Noise(int x, int y) {
    const uint32_t hash =
        (static_cast<uint32_t>(x) * 73856093u) ^ (static_cast<uint32_t>(y) * 19349663u);
    return static_cast<int>(hash >> 3 & 3);
}

uint8_t FacePixel(int x, int y) {
    if (y < 10 || x < 3 || x > 60) {
        return (x + y) % 5 == 0 ? kHairLight : kHair; // fringe and sides
    }
    const bool leftEye = std::abs(x - 20) <= 5 && std::abs(y - 26) <= 3;
    const bool rightEye = std::abs(x - 43) <= 5 && std::abs(y - 26) <= 3;
    if (leftEye || rightEye) {
        return std::abs(x - (leftEye ? 20 : 43)) <= 1 ? kBlack : kEyeWhite;
    }
    if ((y == 19 || y == 20) && (std::abs(x - 20) <= 6 || std::abs(x - 43) <= 6)) {
        return kHair; // brows
    }
    if (x >= 30 && x <= 33 && y >= 30 && y <= 40) {
        return kSkinShade; // nose
    }
    if (std::abs(x - 32) <= 9 && y >= 46 && y <= 49) {
        return kLips;
    }
    return kSkin;
}

uint8_t RegionPixel(RegionName name, int x, int y) {
    switch (name) {
    case kSkinRegion:
        return Noise(x, y) == 0 ? kSkinShade : kSkin;
    case kShirtRegion:
        return y % 8 < 2 ? kShirtDark : kShirt;
    case kShortsRegion:
        return (x + y) % 8 < 2 ? kShortsDark : kShorts;
    case kBootRegion:
        return std::abs(x - 32) == (y % 12) / 2 && x > 20 && x < 44 ? kLace : kBoot;
    case kHairRegion:
        return x % 4 == 0 || Noise(x, y) == 0 ? kHairLight : kHair;
    case kFaceRegion:
        return FacePixel(x, y);
    case kCheckerRegion:
        if (x < 32 && y < 32) {
            return kBlue; // one marked quadrant shows any flip or turn
        }
        return ((x / 8) + (y / 8)) % 2 == 0 ? kRed : kWhite;
    }
    return kBlack;
}

std::vector<uint8_t> MakePages() {
    std::vector<uint8_t> pages(kPageCount * kPageBytes8);
    // Background: large checks in ramp colours, different on each page.
    for (size_t page = 0; page < kPageCount; ++page) {
        for (size_t y = 0; y < kPageSide; ++y) {
            for (size_t x = 0; x < kPageSide; ++x) {
                const size_t check = (x / 32 + y / 32) % 2;
                pages[page * kPageBytes8 + y * kPageSide + x] =
                    static_cast<uint8_t>(kFirstRampColour + (page * 97 + check * 40 + x / 4) % 200);
            }
        }
    }
    for (size_t name = 0; name < kRegions.size(); ++name) {
        for (int y = 0; y < kRegionSide; ++y) {
            for (int x = 0; x < kRegionSide; ++x) {
                Pixel(pages, kRegions[name], x, y) =
                    RegionPixel(static_cast<RegionName>(name), x, y);
            }
        }
    }
    return pages;
}

using Corner = std::array<uint8_t, 2>; // column and row within the page

// The four corners of a region: bottom left, bottom right, top right, top left.
std::array<Corner, 4> RegionCorners(RegionName name) {
    const Region& r = kRegions[name];
    const uint8_t right = static_cast<uint8_t>(r.left + kRegionSide - 1);
    const uint8_t bottom = static_cast<uint8_t>(r.top + kRegionSide - 1);
    return {{{r.left, bottom}, {right, bottom}, {right, r.top}, {r.left, r.top}}};
}

// The number of the object texture with these corners, added when new.
uint16_t TextureNumber(LevelDescription& level, RegionName name, std::array<Corner, 4> corners) {
    ObjectTexture texture;
    texture.tile = kRegions[name].page;
    for (size_t i = 0; i < 4; ++i) {
        texture.vertices[i].xPixel = corners[i][0];
        texture.vertices[i].yPixel = corners[i][1];
    }
    for (size_t i = 0; i < level.objectTextures.size(); ++i) {
        const ObjectTexture& known = level.objectTextures[i];
        bool same = known.tile == texture.tile;
        for (size_t c = 0; c < 4; ++c) {
            same = same && known.vertices[c].xPixel == texture.vertices[c].xPixel &&
                   known.vertices[c].yPixel == texture.vertices[c].yPixel;
        }
        if (same) {
            return static_cast<uint16_t>(i);
        }
    }
    level.objectTextures.push_back(texture);
    return static_cast<uint16_t>(level.objectTextures.size() - 1);
}

// ---- Body parts ------------------------------------------------------------

// A horizontal rectangle at height y (posed figure, model units).
struct Section {
    double y = 0, x0 = 0, x1 = 0, z0 = 0, z1 = 0;
};

Section Around(double y, double cx, double halfX, double cz, double halfZ) {
    return {y, cx - halfX, cx + halfX, cz - halfZ, cz + halfZ};
}

enum Side { kFront, kBack, kMinusX, kPlusX, kTop, kBottom, kSideCount };

enum class Fill { TexturedQuad, TexturedTriangles, TexturedPeak, ColouredQuad, ColouredTriangles };

struct Paint {
    Fill fill = Fill::ColouredQuad;
    int what = 0; // RegionName for textured fills, palette index for coloured ones
};

Paint Tex(RegionName region) {
    return {Fill::TexturedQuad, region};
}
Paint TexTris(RegionName region) {
    return {Fill::TexturedTriangles, region};
}
Paint Col(Colour colour) {
    return {Fill::ColouredQuad, colour};
}
Paint ColTris(Colour colour) {
    return {Fill::ColouredTriangles, colour};
}

// A box between two horizontal rectangles, the front facing -z.
struct Block {
    Section bottom;
    Section top;
    std::array<Paint, kSideCount> paint;
    double peak = 0; // height of the apex of a TexturedPeak top
};

std::array<Paint, kSideCount> Sides(Paint sides, Paint top, Paint bottom) {
    return {sides, sides, sides, sides, top, bottom};
}

struct Part {
    int mesh = 0;
    std::vector<Block> blocks;
};

// Where the posed figure stands: y up, feet at y = -44, top of the head at
// y = 31.5, facing -z, her left side at -x (as the pose table has it).
std::vector<Part> FigureParts() {
    std::vector<Part> parts;
    const auto legs = [&](int thigh, int calf, int foot, double side) {
        parts.push_back(
            {thigh,
             {{Around(-23, side * 4.3, 2.4, 0, 2.4), Around(-3, side * 3.8, 3.3, 0, 3.3),
               Sides(Tex(kSkinRegion), Col(kSkin), Col(kSkinShade))}}});
        Block calfBlock{Around(-40, side * 4.5, 1.6, 0.2, 1.6),
                        Around(-22, side * 4.4, 2.5, 0.1, 2.5),
                        Sides(Tex(kSkinRegion), Col(kSkin), Col(kSkinShade))};
        calfBlock.paint[kFront] = TexTris(kSkinRegion);
        parts.push_back({calf, {calfBlock}});
        parts.push_back({foot,
                         {{{-44, side * 4.6 - 1.9, side * 4.6 + 1.9, -7.5, 2.5},
                           {-40, side * 4.6 - 1.6, side * 4.6 + 1.6, -4.0, 2.0},
                           Sides(Tex(kBootRegion), Col(kBoot), ColTris(kSole))}}});
    };
    const auto arm = [&](int upper, int fore, int hand, double side) {
        parts.push_back(
            {upper,
             {{Around(8, side * 11.2, 1.6, 0, 1.6), Around(19.5, side * 10.3, 2.1, 0, 2.1),
               Sides(Tex(kShirtRegion), Col(kShirtDark), Col(kSkinShade))}}});
        parts.push_back(
            {fore,
             {{Around(-3, side * 11.8, 1.3, 0, 1.3), Around(8.5, side * 11.3, 1.6, 0, 1.6),
               Sides(TexTris(kSkinRegion), Col(kSkin), Col(kSkinShade))}}});
        parts.push_back({hand,
                         {{{-9.5, side * 12 - 0.8, side * 12 + 0.8, -1.8, 1.6},
                           {-2.5, side * 12 - 0.9, side * 12 + 0.9, -1.6, 1.6},
                           Sides(Tex(kSkinRegion), Col(kSkin), ColTris(kSkinShade))}}});
    };

    parts.push_back({0,
                     {{{-6, -6.5, 6.5, -4.0, 4.0},
                       {3, -7.5, 7.5, -4.5, 4.5},
                       Sides(Tex(kShortsRegion), Col(kBelt), ColTris(kShortsDark))}}});
    legs(1, 2, 3, -1);
    legs(4, 5, 6, 1);
    Block torso{{2, -7, 7, -4.2, 4.2},
                {20, -9, 9, -4.8, 4.2},
                Sides(Tex(kShirtRegion), Col(kShirtDark), Col(kShirtDark))};
    torso.paint[kBack] = Tex(kCheckerRegion);
    torso.paint[kMinusX] = TexTris(kShirtRegion);
    torso.paint[kPlusX] = TexTris(kShirtRegion);
    parts.push_back({7, {torso}});
    arm(8, 9, 10, 1);
    arm(11, 12, 13, -1);

    Block neck{Around(19.5, 0, 2.2, 0, 2.2), Around(22.5, 0, 2.0, 0, 2.0),
               Sides(Tex(kSkinRegion), Col(kSkin), Col(kSkinShade))};
    Block head{{22, -3.6, 3.6, -4.0, 3.8},
               {30, -4.2, 4.2, -4.4, 4.4},
               Sides(Tex(kHairRegion), {Fill::TexturedPeak, kHairRegion}, Col(kSkinShade)),
               1.5};
    head.paint[kFront] = Tex(kFaceRegion);
    parts.push_back({14, {neck, head}});

    // Ponytail: from the back of the head down to the middle of the back.
    struct Piece {
        int mesh;
        double bottomY, topY, bottomZ, topZ, bottomHalf, topHalf;
    };
    constexpr std::array<Piece, 6> kPieces = {{
        {30, 23.0, 28.5, 6.2, 5.2, 1.6, 1.8},
        {31, 18.5, 23.5, 6.6, 6.2, 1.5, 1.6},
        {32, 14.0, 19.0, 6.9, 6.6, 1.4, 1.5},
        {33, 9.5, 14.5, 7.0, 6.9, 1.25, 1.4},
        {34, 5.5, 10.0, 7.0, 7.0, 1.1, 1.25},
        {35, 2.0, 6.0, 6.9, 7.0, 0.5, 1.1},
    }};
    for (const Piece& p : kPieces) {
        parts.push_back({p.mesh,
                         {{Around(p.bottomY, 0, p.bottomHalf, p.bottomZ, p.bottomHalf),
                           Around(p.topY, 0, p.topHalf, p.topZ, p.topHalf),
                           Sides(Tex(kHairRegion), Col(kHair),
                                 p.mesh == 35 ? ColTris(kHair) : Col(kHairLight))}}});
    }
    return parts;
}

// One mesh being made: its points in the posed figure and its faces.
struct MeshMaker {
    int mesh = 0;
    std::vector<Vec> points;
    BuilderMesh out;
};

uint16_t PointIndex(MeshMaker& maker, Vec p) {
    for (size_t i = 0; i < maker.points.size(); ++i) {
        const Vec& q = maker.points[i];
        if (q.x == p.x && q.y == p.y && q.z == p.z) {
            return static_cast<uint16_t>(i);
        }
    }
    maker.points.push_back(p);
    return static_cast<uint16_t>(maker.points.size() - 1);
}

// Orders four corners counter-clockwise as seen from outside (along
// `outward`), starting at the bottom left of a viewer for whom `up` is up.
std::array<Vec, 4> CounterClockwise(std::array<Vec, 4> c, Vec outward, Vec up, int mesh) {
    const Vec right = Cross(up, outward);
    const Vec centre = (c[0] + c[1] + c[2] + c[3]) * 0.25;
    std::sort(c.begin(), c.end(), [&](Vec a, Vec b) {
        return std::atan2(Dot(a - centre, up), Dot(a - centre, right)) <
               std::atan2(Dot(b - centre, up), Dot(b - centre, right));
    });
    if (Dot(Cross(c[1] - c[0], c[2] - c[0]), outward) <= 0 ||
        Dot(Cross(c[2] - c[0], c[3] - c[0]), outward) <= 0) {
        Broken("a face is wound the wrong way", mesh);
    }
    return c;
}

void AddFace(LevelDescription& level, MeshMaker& maker, std::array<Vec, 4> corners, Paint paint,
             double peak) {
    std::array<uint16_t, 4> q{};
    for (size_t i = 0; i < 4; ++i) {
        q[i] = PointIndex(maker, corners[i]);
    }
    BuilderMesh& m = maker.out;
    const auto region = static_cast<RegionName>(paint.what);
    const auto colour = static_cast<uint16_t>(paint.what);
    switch (paint.fill) {
    case Fill::TexturedQuad:
        m.texturedQuads.push_back({q, TextureNumber(level, region, RegionCorners(region))});
        break;
    case Fill::TexturedTriangles: {
        const auto t = RegionCorners(region);
        m.texturedTriangles.push_back(
            {{q[0], q[1], q[2]}, TextureNumber(level, region, {t[0], t[1], t[2], t[0]})});
        m.texturedTriangles.push_back(
            {{q[2], q[3], q[0]}, TextureNumber(level, region, {t[2], t[3], t[0], t[2]})});
        break;
    }
    case Fill::TexturedPeak: {
        const auto t = RegionCorners(region);
        const Corner apexCorner{static_cast<uint8_t>((t[0][0] + t[1][0] + 1) / 2), t[2][1]};
        const uint16_t texture = TextureNumber(level, region, {t[0], t[1], apexCorner, t[0]});
        const Vec centre = (corners[0] + corners[1] + corners[2] + corners[3]) * 0.25;
        const uint16_t apex = PointIndex(maker, centre + Vec{0, peak, 0});
        for (size_t i = 0; i < 4; ++i) {
            m.texturedTriangles.push_back({{q[i], q[(i + 1) % 4], apex}, texture});
        }
        break;
    }
    case Fill::ColouredQuad:
        m.colouredQuads.push_back({q, colour});
        break;
    case Fill::ColouredTriangles:
        m.colouredTriangles.push_back({{q[0], q[1], q[2]}, colour});
        m.colouredTriangles.push_back({{q[2], q[3], q[0]}, colour});
        break;
    }
}

void AddBlock(LevelDescription& level, MeshMaker& maker, const Block& block) {
    const Section& b = block.bottom;
    const Section& t = block.top;
    const auto bottomAt = [&](double x, double z) { return Vec{x, b.y, z}; };
    const auto topAt = [&](double x, double z) { return Vec{x, t.y, z}; };
    const Vec up{0, 1, 0};
    const Vec towardFront{0, 0, -1};
    struct FaceLayout {
        Side side;
        std::array<Vec, 4> corners;
        Vec outward;
        Vec up;
    };
    const std::array<FaceLayout, kSideCount> faces = {{
        {kFront,
         {bottomAt(b.x0, b.z0), bottomAt(b.x1, b.z0), topAt(t.x0, t.z0), topAt(t.x1, t.z0)},
         {0, 0, -1},
         up},
        {kBack,
         {bottomAt(b.x0, b.z1), bottomAt(b.x1, b.z1), topAt(t.x0, t.z1), topAt(t.x1, t.z1)},
         {0, 0, 1},
         up},
        {kMinusX,
         {bottomAt(b.x0, b.z0), bottomAt(b.x0, b.z1), topAt(t.x0, t.z0), topAt(t.x0, t.z1)},
         {-1, 0, 0},
         up},
        {kPlusX,
         {bottomAt(b.x1, b.z0), bottomAt(b.x1, b.z1), topAt(t.x1, t.z0), topAt(t.x1, t.z1)},
         {1, 0, 0},
         up},
        {kTop,
         {topAt(t.x0, t.z0), topAt(t.x1, t.z0), topAt(t.x1, t.z1), topAt(t.x0, t.z1)},
         {0, 1, 0},
         towardFront},
        {kBottom,
         {bottomAt(b.x0, b.z0), bottomAt(b.x1, b.z0), bottomAt(b.x1, b.z1), bottomAt(b.x0, b.z1)},
         {0, -1, 0},
         towardFront},
    }};
    for (const FaceLayout& face : faces) {
        AddFace(level, maker, CounterClockwise(face.corners, face.outward, face.up, maker.mesh),
                block.paint[face.side], block.peak);
    }
}

Vec ToVec(const Vertex16& v) {
    return {double(v.x), double(v.y), double(v.z)};
}

// Per vertex: the sum of the unit normals of the faces that use it, scaled so
// that 16384 stands for 1.
void ComputeNormals(BuilderMesh& mesh, int meshNumber) {
    std::vector<Vec> sums(mesh.vertices.size());
    const auto add = [&](const uint16_t* corners, size_t count) {
        const Vec a = ToVec(mesh.vertices[corners[0]]);
        const Vec b = ToVec(mesh.vertices[corners[1]]);
        const Vec c = ToVec(mesh.vertices[corners[2]]);
        Vec normal = Cross(b - a, c - a);
        if (count == 4) {
            normal = Cross(c - a, ToVec(mesh.vertices[corners[3]]) - b);
        }
        const double length = Length(normal);
        if (length == 0) {
            Broken("a face has no area", meshNumber);
        }
        for (size_t i = 0; i < count; ++i) {
            sums[corners[i]] = sums[corners[i]] + normal * (1.0 / length);
        }
    };
    for (const QuadFace& f : mesh.texturedQuads)
        add(f.corners.data(), 4);
    for (const QuadFace& f : mesh.colouredQuads)
        add(f.corners.data(), 4);
    for (const TriangleFace& f : mesh.texturedTriangles)
        add(f.corners.data(), 3);
    for (const TriangleFace& f : mesh.colouredTriangles)
        add(f.corners.data(), 3);

    mesh.normals.clear();
    for (const Vec& sum : sums) {
        const Vec n = sum * (16384.0 / Length(sum));
        mesh.normals.push_back({static_cast<int16_t>(std::lround(n.x)),
                                static_cast<int16_t>(std::lround(n.y)),
                                static_cast<int16_t>(std::lround(n.z))});
    }
}

// Every face's first corner normal must agree with the face's winding.
void CheckOrientation(const BuilderMesh& mesh, int meshNumber) {
    const auto check = [&](const uint16_t* corners) {
        const Vec a = ToVec(mesh.vertices[corners[0]]);
        const Vec winding =
            Cross(ToVec(mesh.vertices[corners[1]]) - a, ToVec(mesh.vertices[corners[2]]) - a);
        if (Dot(winding, ToVec(mesh.normals[corners[0]])) <= 0) {
            Broken("a corner normal disagrees with its face", meshNumber);
        }
    };
    for (const QuadFace& f : mesh.texturedQuads)
        check(f.corners.data());
    for (const QuadFace& f : mesh.colouredQuads)
        check(f.corners.data());
    for (const TriangleFace& f : mesh.texturedTriangles)
        check(f.corners.data());
    for (const TriangleFace& f : mesh.colouredTriangles)
        check(f.corners.data());
}

// Centre of the bounding box and the radius of a sphere around it holding every vertex.
void SetBounds(BuilderMesh& mesh) {
    Vec low{1e9, 1e9, 1e9};
    Vec high{-1e9, -1e9, -1e9};
    for (const Vertex16& v : mesh.vertices) {
        low = {std::min(low.x, double(v.x)), std::min(low.y, double(v.y)),
               std::min(low.z, double(v.z))};
        high = {std::max(high.x, double(v.x)), std::max(high.y, double(v.y)),
                std::max(high.z, double(v.z))};
    }
    const Vec centre = (low + high) * 0.5;
    mesh.centre = {static_cast<int16_t>(std::lround(centre.x)),
                   static_cast<int16_t>(std::lround(centre.y)),
                   static_cast<int16_t>(std::lround(centre.z))};
    double radius = 0;
    for (const Vertex16& v : mesh.vertices) {
        radius = std::max(radius, Length(ToVec(v) - ToVec(mesh.centre)));
    }
    mesh.collisionRadius = static_cast<int32_t>(std::ceil(radius));
}

BuilderMesh MakePartMesh(LevelDescription& level, const Part& part) {
    MeshMaker maker;
    maker.mesh = part.mesh;
    for (const Block& block : part.blocks) {
        AddBlock(level, maker, block);
    }
    const auto pose = std::find_if(kPoses.begin(), kPoses.end(),
                                   [&](const PartPose& p) { return p.mesh == part.mesh; });
    for (const Vec& p : maker.points) {
        const Vec v = ToLevelUnits(*pose, p);
        maker.out.vertices.push_back({static_cast<int16_t>(std::lround(v.x)),
                                      static_cast<int16_t>(std::lround(v.y)),
                                      static_cast<int16_t>(std::lround(v.z))});
    }
    ComputeNormals(maker.out, part.mesh);
    CheckOrientation(maker.out, part.mesh);
    SetBounds(maker.out);
    return maker.out;
}

// A small coloured cube around the origin, for the meshes nothing poses.
BuilderMesh MakeSmallBox(LevelDescription& level, int mesh) {
    MeshMaker maker;
    maker.mesh = mesh;
    const double half = 1.0 + (mesh % 5) * 0.25;
    const Paint colour = Col(static_cast<Colour>(kFirstRampColour + mesh * 5));
    AddBlock(level, maker,
             {Around(-half, 0, half, 0, half), Around(half, 0, half, 0, half),
              Sides(colour, colour, colour)});
    for (const Vec& p : maker.points) {
        maker.out.vertices.push_back({static_cast<int16_t>(std::lround(p.x * 10)),
                                      static_cast<int16_t>(std::lround(p.y * 10)),
                                      static_cast<int16_t>(std::lround(p.z * 10))});
    }
    ComputeNormals(maker.out, mesh);
    SetBounds(maker.out);
    return maker.out;
}

// ---- Her skeleton and animations ------------------------------------------

Matrix Multiply(const Matrix& a, const Matrix& b) {
    Matrix out{};
    for (size_t r = 0; r < 3; ++r) {
        for (size_t c = 0; c < 3; ++c) {
            for (size_t i = 0; i < 3; ++i) {
                out[r * 3 + c] += a[r * 3 + i] * b[i * 3 + c];
            }
        }
    }
    return out;
}

Matrix Transposed(const Matrix& m) {
    return {m[0], m[3], m[6], m[1], m[4], m[7], m[2], m[5], m[8]};
}

Vec Apply(const Matrix& m, Vec v) {
    return ApplyTransposed(Transposed(m), v);
}

// A joint's place in the level's frame: its rotation and position.
struct JointPlace {
    Matrix rotation{};
    Vec position;
};

constexpr double kDegrees = 3.141592653589 / 180;

// Where the fixed pose puts mesh j in the level's frame (x, y down, z): the
// posed figure (y up, model units) turned a half turn about x, x 10.
JointPlace StandingPlace(int mesh) {
    const PartPose& pose = *std::find_if(kPoses.begin(), kPoses.end(),
                                         [&](const PartPose& p) { return p.mesh == mesh; });
    // The pose rotates by the layouts above: about x by the negated angle, then y, then z.
    const Matrix posed = Multiply(
        RotationZ(pose.angle[2] * kDegrees),
        Multiply(RotationY(pose.angle[1] * kDegrees), RotationX(-pose.angle[0] * kDegrees)));
    const Matrix halfTurn = {1, 0, 0, 0, -1, 0, 0, 0, -1};
    return {Multiply(halfTurn, posed),
            Apply(halfTurn, Vec{pose.offset[0], pose.offset[1], pose.offset[2]} * 100.0)};
}

// Standard right-handed rotations, as the keyframes use them.
Matrix TurnX(double a) {
    return Transposed(RotationX(a));
}
Matrix TurnY(double a) {
    return Transposed(RotationY(a));
}
Matrix TurnZ(double a) {
    return Transposed(RotationZ(a));
}

// The angles of R = Ry(y) Rx(x) Rz(z), in 1024ths of a turn.
JointAngles AnglesOf(const Matrix& r) {
    const auto units = [](double angle) {
        const long value = std::lround(angle / (2 * 3.141592653589) * 1024);
        return static_cast<uint16_t>(((value % 1024) + 1024) % 1024);
    };
    const double x = std::asin(std::clamp(-r[5], -1.0, 1.0));
    return {units(x), units(std::atan2(r[2], r[8])), units(std::atan2(r[3], r[4]))};
}

// Her joints: the legs and the torso below the hips, the arms and the head
// below the torso. Node k's flags: 1 pops the parent, 2 pushes it.
constexpr std::array<int, 15> kParents = {-1, 0, 1, 2, 0, 4, 5, 0, 7, 8, 9, 7, 11, 12, 7};
constexpr std::array<uint32_t, 15> kTreeFlags = {0, 2, 0, 0, 3, 0, 0, 1, 2, 0, 0, 3, 0, 0, 1};

// The standing pose, joint by joint, relative to the parent joint.
struct Skeleton {
    std::array<JointPlace, 15> standing;
    std::array<Matrix, 15> localRotation{};
};

Skeleton MakeSkeleton() {
    Skeleton skeleton;
    for (int j = 0; j < 15; ++j) {
        skeleton.standing[j] = StandingPlace(j);
        const Matrix parent =
            j == 0 ? Matrix{1, 0, 0, 0, 1, 0, 0, 0, 1} : skeleton.standing[kParents[j]].rotation;
        skeleton.localRotation[j] = Multiply(Transposed(parent), skeleton.standing[j].rotation);
    }
    return skeleton;
}

// A keyframe: the standing pose with extra turns about the parent joints'
// axes (degrees about x, y and z, applied in that order) and the root moved.
struct Move {
    int mesh;
    double x, y, z;
};

BuilderKeyframe Pose(const Skeleton& skeleton, Vec rootShift, std::initializer_list<Move> moves) {
    BuilderKeyframe keyframe;
    const Vec root = skeleton.standing[0].position + rootShift;
    keyframe.rootOffset = {static_cast<int16_t>(std::lround(root.x)),
                           static_cast<int16_t>(std::lround(root.y)),
                           static_cast<int16_t>(std::lround(root.z))};
    for (int j = 0; j < 15; ++j) {
        Matrix local = skeleton.localRotation[j];
        for (const Move& move : moves) {
            if (move.mesh == j) {
                const Matrix turn =
                    Multiply(TurnZ(move.z * kDegrees),
                             Multiply(TurnY(move.y * kDegrees), TurnX(move.x * kDegrees)));
                local = Multiply(turn, local);
            }
        }
        keyframe.angles.push_back(AnglesOf(local));
    }
    return keyframe;
}

// Her moveable, mesh tree and four animations: standing and breathing, a walk
// cycle, a wave of the right hand and a jump.
void AddSkeleton(LevelDescription& level) {
    const Skeleton skeleton = MakeSkeleton();
    std::vector<BuilderTreeNode> tree;
    for (int k = 1; k < 15; ++k) {
        const JointPlace& parent = skeleton.standing[kParents[k]];
        const Vec offset =
            Apply(Transposed(parent.rotation), skeleton.standing[k].position - parent.position);
        tree.push_back({kTreeFlags[k],
                        {static_cast<int32_t>(std::lround(offset.x)),
                         static_cast<int32_t>(std::lround(offset.y)),
                         static_cast<int32_t>(std::lround(offset.z))}});
    }

    level.animations.clear();
    level.frames.clear();
    AddAnimation(level,
                 {Pose(skeleton, {}, {}), Pose(skeleton, {0, 3, 0}, {{7, 4, 0, 0}, {14, -3, 0, 0}}),
                  Pose(skeleton, {}, {})},
                 15);
    std::vector<BuilderKeyframe> walk;
    for (int k = 0; k <= 8; ++k) {
        const double swing = std::sin(k * 3.141592653589 / 4);
        walk.push_back(Pose(skeleton, {0, -12 * std::abs(swing), 0},
                            {{1, 28 * swing, 0, 0},
                             {2, -30 * std::max(0.0, -swing), 0, 0},
                             {4, -28 * swing, 0, 0},
                             {5, -30 * std::max(0.0, swing), 0, 0},
                             {8, 22 * swing, 0, 0},
                             {9, 15, 0, 0},
                             {11, -22 * swing, 0, 0},
                             {12, 15, 0, 0},
                             {7, 0, 6 * swing, 0}}));
    }
    AddAnimation(level, walk, 3);
    std::vector<BuilderKeyframe> wave;
    for (int k = 0; k <= 6; ++k) {
        const double raise = std::min(k, 6 - k) >= 1 ? 1.0 : 0.0;
        const double sway = k % 2 == 0 ? -20 : 20;
        wave.push_back(
            Pose(skeleton, {},
                 {{8, 0, 0, -125 * raise}, {9, 0, 0, raise * sway}, {14, 0, 10 * raise, 0}}));
    }
    AddAnimation(level, wave, 5);
    const std::array<double, 5> crouch = {0, 1, 0, 0, 1};
    const std::array<double, 5> height = {0, 0, 160, 60, 0};
    std::vector<BuilderKeyframe> jump;
    for (size_t k = 0; k < crouch.size(); ++k) {
        jump.push_back(Pose(skeleton, {0, 60 * crouch[k] - height[k], 0},
                            {{1, 45 * crouch[k], 0, 0},
                             {2, -80 * crouch[k], 0, 0},
                             {3, 35 * crouch[k], 0, 0},
                             {4, 45 * crouch[k], 0, 0},
                             {5, -80 * crouch[k], 0, 0},
                             {6, 35 * crouch[k], 0, 0},
                             {8, 0, 0, -160 * (1 - crouch[k]) * (k > 0)},
                             {11, 0, 0, 160 * (1 - crouch[k]) * (k > 0)}}));
    }
    AddAnimation(level, jump, 4);

    level.meshTrees = EncodeMeshTree(tree);
    // Another object's moveable and animation follow hers.
    const uint32_t others = AddAnimation(level, {Pose(skeleton, {}, {})}, 1);
    level.moveables = EncodeMoveables(
        {{kPlayerObjectId, 15, 0, 0, 0, 0}, {57, 1, 36, 0, 0, static_cast<uint16_t>(others)}});
}

BuilderRoom MakeRoom() {
    BuilderRoom room;
    BuilderRoomKept& kept = room.kept;
    kept.info = {0x00, 0x10, 0,    0,    0x00, 0x20, 0,    0,
                 0x00, 0xfc, 0xff, 0xff, 0x00, 0xf0, 0xff, 0xff};
    kept.data = {4, 0, 0, 0, 1024, 0, 0, 0, 0, 1024, 0, 0, 1024, 0, 1024, 0, 0};
    kept.portals = PatternBytes(32, 0x10);
    kept.numZSectors = 4;
    kept.numXSectors = 3;
    kept.sectors = PatternBytes(4 * 3 * 8, 0x20);
    kept.lights = PatternBytes(2 * 24, 0x30);
    room.staticMeshes = PatternBytes(20, 0x40);
    return room;
}

} // namespace

LevelDescription DescribeSampleLevel() {
    LevelDescription level;
    level.palette = MakePalette();
    level.texturePages8 = MakePages();
    level.rooms.push_back(MakeRoom());
    level.floorData = {0, 0x8001, 0x0004, 0x0200, 0x8005, 0, 0, 0};

    level.meshes.resize(kSampleMeshCount);
    std::vector<bool> made(kSampleMeshCount, false);
    for (const Part& part : FigureParts()) {
        level.meshes[part.mesh] = MakePartMesh(level, part);
        made[part.mesh] = true;
    }
    for (size_t mesh = 0; mesh < kSampleMeshCount; ++mesh) {
        if (!made[mesh]) {
            level.meshes[mesh] = MakeSmallBox(level, static_cast<int>(mesh));
        }
    }
    // The last few carry light values, as static scenery does.
    for (size_t mesh = 36; mesh < kSampleMeshCount; ++mesh) {
        BuilderMesh& box = level.meshes[mesh];
        box.normals.clear();
        for (size_t i = 0; i < box.vertices.size(); ++i) {
            box.lightValues.push_back(static_cast<int16_t>(4096 + 512 * i));
        }
    }

    AddSkeleton(level);
    level.stateChanges = PatternBytes(6, 0x58);
    level.animDispatches = PatternBytes(8, 0x60);
    level.animCommands = {1, 2, 3, 4};
    level.staticMeshes = PatternBytes(32, 0x78);
    level.spriteTextures = PatternBytes(2 * 16, 0x80);
    level.spriteSequences = PatternBytes(8, 0x88);
    return level;
}
