#pragma once
// Helpers for tests of the toolkit: build and look at a chunk tree in memory,
// compare two trees, encode a subtree with the toolkit's writer and spell out
// the bytes of test inputs.

#include "tests/support/temp_dir.h"
#include "tests/support/toolkit_state.h"
#include "toolkit3ds/chunk_tree.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A database without a root, as InitDatabase3ds leaves it.
std::unique_ptr<Database3ds> EmptyDatabase();
// A database created as the given kind, with its default chunks.
std::unique_ptr<Database3ds> MakeDatabase(DatabaseKind3ds kind = kDatabaseMeshFile3ds);
// The file read into a new database; errors stay pending.
std::unique_ptr<Database3ds> ReadDatabaseFile(const std::string& path);

// A new chunk with the tag and a fresh record of the tag's layout (none for
// containers and flags).
std::unique_ptr<Chunk3ds> MakeChunk(uint32_t tag);
// MakeChunk, appended behind the parent's children; returns the chunk.
Chunk3ds* AppendChunk(Chunk3ds* parent, uint32_t tag);
// AppendChunk, returning the new record as Layout (none for another layout).
template <typename Layout> Layout* AppendRecord(Chunk3ds* parent, uint32_t tag) {
    return GetChunkData3ds<Layout>(AppendChunk(parent, tag));
}

// The chunk and its descendants as text, tags in upper-case hex with each
// chunk's children in parentheses: "AFFF(A000 A010(0011 0012))". Emptied
// chunks show as 0000. "none" for a missing chunk.
std::string TreeOutline(const Chunk3ds* chunk);

// The tags of the chunk's direct children as TreeOutline writes them: "3D3E AFFF 4000".
std::string ChildOutline(const Chunk3ds* chunk);
// The chunk's direct children, in order; none for a missing chunk.
std::vector<Chunk3ds*> Children(Chunk3ds* chunk);
// The first chunk with the tag in the subtree of start (pre-order), or none.
Chunk3ds* FindChunk(Chunk3ds* start, uint32_t tag);
// The database's 3D editor section (0x3D3D), or none.
Chunk3ds* Editor(Database3ds& db);
// The names in the material name chunks of the 3D editor section's materials,
// in file order.
std::vector<std::string> MaterialNames(Database3ds& db);
// The named object or the material of that name, through the name indexes.
Chunk3ds* ObjectByName(Database3ds& db, const std::string& name);
Chunk3ds* MaterialByName(Database3ds& db, const std::string& name);
// The record of the first chunk with the tag under start, as Layout, or none.
template <typename Layout> Layout* FindRecord(Chunk3ds* start, uint32_t tag) {
    return GetChunkData3ds<Layout>(FindChunk(start, tag));
}

// True when both chunks have the same tags, records and children, recursively.
bool SameTree(const Chunk3ds* a, const Chunk3ds* b);
// A deep copy of the chunk and its children, made with the toolkit.
std::unique_ptr<Chunk3ds> CopyTree(Chunk3ds* chunk);

// The bytes WriteChunk3ds writes for the chunk and its descendants. Writes a
// file in the working directory, so it needs a ScopedTempDir.
Bytes EncodeChunk(Chunk3ds* chunk);

// Bytes from hexadecimal digits; spaces are skipped: Hex("4D4D 06000000").
Bytes Hex(const char* digits);
// The value's four bytes, low byte first.
Bytes LittleEndian32(uint32_t value);
// One chunk for a test input: the header with the length that covers the
// body, then the body: ChunkBytes(0x0002, Hex("03000000")).
Bytes ChunkBytes(uint16_t tag, const Bytes& body = {});
// The bytes of a and then of b.
Bytes operator+(Bytes a, const Bytes& b);

// A fixture that starts and ends each test with the toolkit's state reset
// (ResetToolkit3ds) and runs it in a fresh temporary working directory.
class ToolkitTest : public ::testing::Test {
protected:
    void SetUp() override { ResetToolkit3ds(); }
    void TearDown() override { ResetToolkit3ds(); }

    ScopedTempDir dir;
};
