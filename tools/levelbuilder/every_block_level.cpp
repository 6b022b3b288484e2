#include "tools/levelbuilder/every_block_level.h"

LevelDescription EveryBlockLevel(size_t pages) {
    LevelDescription d;
    for (size_t i = 0; i < d.palette.size(); ++i) {
        d.palette[i] = {static_cast<uint8_t>(i % 64), static_cast<uint8_t>(i * 3 % 64),
                        static_cast<uint8_t>((255 - i) % 64)};
    }
    d.texturePages8 = PatternBytes(pages * kPageBytes8, 1);
    d.texturePages16 = PatternBytes(pages * kPageBytes16, 2);

    BuilderRoom full;
    for (size_t i = 0; i < full.kept.info.size(); ++i) {
        full.kept.info[i] = static_cast<uint8_t>(0x90 + i);
    }
    full.kept.data = {1, 2, 3, 0xfffe};
    full.kept.portals = PatternBytes(2 * 32, 4);
    full.kept.numZSectors = 2;
    full.kept.numXSectors = 3;
    full.kept.sectors = PatternBytes(2 * 3 * 8, 5);
    full.kept.lights = PatternBytes(24, 6);
    full.staticMeshes = PatternBytes(2 * 20, 7);
    d.rooms = {full, BuilderRoom{}};
    d.floorData = {9, 8, 7};

    BuilderMesh normals;
    normals.centre = {10, -20, 30};
    normals.collisionRadius = 77777;
    normals.vertices = {{0, 0, 0}, {100, 0, 0}, {0, -100, 0}, {0, 0, 32767}};
    normals.normals = {{0, 0, 16384}, {0, 0, -16384}, {1, 2, 3}, {-32768, 0, 0}};
    normals.texturedQuads = {{{0, 1, 2, 3}, 1}};
    normals.texturedTriangles = {{{3, 2, 1}, 0}};
    normals.colouredQuads = {{{1, 2, 3, 0}, 0x0203}};
    normals.colouredTriangles = {{{2, 1, 0}, 0x0f}};

    BuilderMesh lights;
    lights.padBefore = 1;
    lights.negativeCounts = true;
    lights.vertices = {{-5, 6, -7}, {8, -9, 10}};
    lights.lightValues = {100, -200, 300, 8191};
    lights.colouredTriangles = {{{0, 1, 0}, 0x22}, {{1, 0, 1}, 0x33}, {{1, 1, 0}, 0x44}};

    d.meshes = {normals, lights, BuilderMesh{}};

    d.animations = PatternBytes(2 * 32, 10);
    d.stateChanges = PatternBytes(3 * 6, 11);
    d.animDispatches = PatternBytes(2 * 8, 12);
    d.animCommands = {5, 6, 7};
    d.meshTrees = PatternBytes(4 * 4, 13);
    d.frames = {11, 22, 33, 44, 55};
    d.moveables = PatternBytes(2 * 18, 14);
    d.staticMeshes = PatternBytes(3 * 32, 15);
    ObjectTexture first;
    first.attribute = 0x8001;
    first.tile = 1;
    first.vertices = {{{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}, {13, 14, 15, 16}}};
    ObjectTexture second;
    second.tile = 0;
    second.vertices = {{{0, 255, 0, 0}, {0, 0, 0, 255}, {0, 16, 0, 32}, {0, 47, 0, 63}}};
    d.objectTextures = {first, second};
    d.spriteTextures = PatternBytes(2 * 16, 16);
    d.spriteSequences = PatternBytes(2 * 8, 17);
    return d;
}
