// Writes the seed corpus of the 3DS file fuzz target into the directory
// given: a new database, the every-layout scene, and each chunk of the
// scene's 3D editor and keyframer sections alone in a new database, so that
// the fuzzer starts from small files that still reach every record layout.

#include <cstdio>
#include <memory>
#include <string>

#include "toolkit3ds/database_writer.h"
#include "toolkit3ds/errors.h"
#include "tools/scenebuilder/every_layout_scene.h"

namespace {

bool Write(const std::string& path, Database3ds* db) {
    File3ds* file = OpenFile3ds(path.c_str(), "w");
    WriteDatabase3ds(file, db);
    CloseFile3ds(file);
    return !ErrorPending3ds;
}

Chunk3ds* Find(Database3ds* db, uint32_t tag) {
    Chunk3ds* found = nullptr;
    SearchChunk3ds(db->root.get(), tag, &found);
    return found;
}

// Writes each child of the scene's section, but the defaults, alone in a new database.
bool WriteEachChild(const std::string& directory, const char* prefix, Database3ds* scene,
                    uint32_t sectionTag) {
    int count = 0;
    for (Chunk3ds* child = Find(scene, sectionTag)->child.get(); child != nullptr;
         child = child->next.get()) {
        if (child->tag == kTagMeshVersion3ds || child->tag == kTagKeyframerHeader3ds) {
            continue;
        }
        std::unique_ptr<Database3ds> db;
        InitDatabase3ds(db);
        CreateNewDatabase3ds(db.get(), kDatabaseMeshFile3ds);
        std::unique_ptr<Chunk3ds> copy;
        DuplicateChunk3ds(child, &copy);
        if (ErrorPending3ds) {
            return false;
        }
        AppendChild3ds(Find(db.get(), sectionTag), std::move(copy));
        char name[32];
        std::snprintf(name, sizeof name, "/%s_%02d.3ds", prefix, ++count);
        if (!Write(directory + name, db.get())) {
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "Usage: %s {directory}\n", argc > 0 ? argv[0] : "make_3ds_seeds");
        return 1;
    }
    const std::string directory = argv[1];
    std::unique_ptr<Database3ds> empty;
    InitDatabase3ds(empty);
    CreateNewDatabase3ds(empty.get(), kDatabaseMeshFile3ds);
    std::unique_ptr<Database3ds> scene = BuildEveryLayoutScene();
    const bool written = !ErrorPending3ds && Write(directory + "/new_database.3ds", empty.get()) &&
                         Write(directory + "/every_layout.3ds", scene.get()) &&
                         WriteEachChild(directory, "editor", scene.get(), kTagEditor3ds) &&
                         WriteEachChild(directory, "keyframer", scene.get(), kTagKeyframer3ds);
    if (!written) {
        std::fprintf(stderr, "%s: cannot write the seeds\n", directory.c_str());
        PrintErrors3ds(stderr);
        return 1;
    }
    CloseAllFiles3ds();
    return 0;
}
