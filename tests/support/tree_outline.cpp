#include "tests/support/tree_outline.h"

#include "toolkit3ds/database_reader.h"
#include "toolkit3ds/database_writer.h"
#include "toolkit3ds/errors.h"

#include <gtest/gtest.h>

#include <cstdio>

std::unique_ptr<Database3ds> EmptyDatabase() {
    std::unique_ptr<Database3ds> db;
    InitDatabase3ds(db);
    return db;
}

std::unique_ptr<Database3ds> MakeDatabase(DatabaseKind3ds kind) {
    std::unique_ptr<Database3ds> db = EmptyDatabase();
    CreateNewDatabase3ds(db.get(), kind);
    return db;
}

std::unique_ptr<Database3ds> ReadDatabaseFile(const std::string& path) {
    std::unique_ptr<Database3ds> db = EmptyDatabase();
    ReadDatabase3ds(OpenFile3ds(path.c_str(), "r"), db.get());
    return db;
}

std::unique_ptr<Chunk3ds> MakeChunk(uint32_t tag) {
    std::unique_ptr<Chunk3ds> chunk;
    NewChunkAndData3ds(&chunk, tag);
    return chunk;
}

Chunk3ds* AppendChunk(Chunk3ds* parent, uint32_t tag) {
    return AppendChild3ds(parent, MakeChunk(tag));
}

namespace {
std::string TagText(const Chunk3ds* chunk) {
    char tag[8];
    std::snprintf(tag, sizeof tag, "%04X", static_cast<unsigned>(chunk->tag));
    return tag;
}
} // namespace

std::string TreeOutline(const Chunk3ds* chunk) {
    if (chunk == nullptr) {
        return "none";
    }
    std::string text = TagText(chunk);
    for (const Chunk3ds* child = chunk->child.get(); child != nullptr; child = child->next.get()) {
        text += (child == chunk->child.get() ? "(" : " ") + TreeOutline(child);
    }
    return chunk->child != nullptr ? text + ")" : text;
}

std::string ChildOutline(const Chunk3ds* chunk) {
    std::string text;
    for (const Chunk3ds* child = chunk->child.get(); child != nullptr; child = child->next.get()) {
        text += (text.empty() ? "" : " ") + TagText(child);
    }
    return text;
}

std::vector<Chunk3ds*> Children(Chunk3ds* chunk) {
    std::vector<Chunk3ds*> children;
    for (Chunk3ds* child = chunk == nullptr ? nullptr : chunk->child.get(); child != nullptr;
         child = child->next.get()) {
        children.push_back(child);
    }
    return children;
}

Chunk3ds* FindChunk(Chunk3ds* start, uint32_t tag) {
    Chunk3ds* found = nullptr;
    SearchChunk3ds(start, tag, &found);
    return found;
}

Chunk3ds* Editor(Database3ds& db) {
    return FindChunk(db.root.get(), kTagEditor3ds);
}

std::vector<std::string> MaterialNames(Database3ds& db) {
    std::vector<std::string> names;
    for (Chunk3ds* chunk : Children(Editor(db))) {
        if (chunk->tag == kTagMaterial3ds) {
            auto* name = GetChunkData3ds<StringData3ds>(
                ReadChunkData3ds(FindChunk(chunk, kTagMaterialName3ds)));
            names.push_back(name == nullptr ? "" : name->text);
        }
    }
    return names;
}

Chunk3ds* ObjectByName(Database3ds& db, const std::string& name) {
    Chunk3ds* found = nullptr;
    FindNamedObject3ds(&db, name.c_str(), &found);
    return found;
}

Chunk3ds* MaterialByName(Database3ds& db, const std::string& name) {
    Chunk3ds* found = nullptr;
    FindMaterialByName3ds(&db, name.c_str(), &found);
    return found;
}

bool SameTree(const Chunk3ds* a, const Chunk3ds* b) {
    if (a == nullptr || b == nullptr) {
        return a == b;
    }
    // Both records present and equal, or both missing.
    const bool sameData = a->data && b->data ? *a->data == *b->data : a->data == b->data;
    if (a->tag != b->tag || !sameData) {
        return false;
    }
    const Chunk3ds* x = a->child.get();
    const Chunk3ds* y = b->child.get();
    for (; x != nullptr && y != nullptr; x = x->next.get(), y = y->next.get()) {
        if (!SameTree(x, y)) {
            return false;
        }
    }
    return x == nullptr && y == nullptr;
}

std::unique_ptr<Chunk3ds> CopyTree(Chunk3ds* chunk) {
    std::unique_ptr<Chunk3ds> copy;
    DuplicateChunk3ds(chunk, &copy);
    return copy;
}

Bytes EncodeChunk(Chunk3ds* chunk) {
    const char* name = "encoded_chunk.3ds";
    File3ds* file = OpenFile3ds(name, "w");
    if (file == nullptr) {
        ADD_FAILURE() << "cannot open " << name;
        return {};
    }
    SetCurrentFile3ds(file);
    WriteChunk3ds(chunk, file->index);
    CloseFile3ds(file);
    EXPECT_FALSE(ErrorPending3ds);
    return ReadFileBytes(name);
}

Bytes Hex(const char* digits) {
    std::string text(digits);
    std::erase(text, ' ');
    EXPECT_EQ(text.find_first_not_of("0123456789ABCDEF"), std::string::npos) << digits;
    EXPECT_EQ(text.size() % 2, 0u) << "odd number of hex digits: " << digits;
    Bytes bytes;
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        bytes.push_back(static_cast<unsigned char>(std::stoul(text.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

Bytes LittleEndian32(uint32_t value) {
    return {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
            static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
}

Bytes ChunkBytes(uint16_t tag, const Bytes& body) {
    const Bytes header = LittleEndian32(tag);
    return Bytes(header.begin(), header.begin() + 2) +
           LittleEndian32(static_cast<uint32_t>(kChunkHeaderSize3ds + body.size())) + body;
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
