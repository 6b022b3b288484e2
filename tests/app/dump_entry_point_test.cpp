// tarvik-dump through the built program, and the options both programs answer.

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"
#include "tests/support/tree_outline.h"
#include "toolkit3ds/chunk_tags.h"

namespace {

// A mesh file with one object of four points and one face, and a keyframer node
// whose name holds a byte to escape.
Bytes SmallFile(const char* vertexCount = "0400") {
    const Bytes mesh =
        ChunkBytes(kTagTriangleMesh3ds,
                   ChunkBytes(kTagVertexList3ds,
                              Hex(vertexCount) + Hex("00000000 00000000 00000000"     // (0, 0, 0)
                                                     "0000803F 00000000 00000000"     // (1, 0, 0)
                                                     "00000000 0000803F 00000000"     // (0, 1, 0)
                                                     "00000000 00000000 0000C03F")) + // (0, 0, 1.5)
                       ChunkBytes(kTagFaceList3ds, Hex("0100 0000 0100 0200 0700")));
    const Bytes editor = ChunkBytes(kTagMeshVersion3ds, Hex("03000000")) +
                         ChunkBytes(kTagNamedObject3ds, Hex("54726900") + mesh); // "Tri"
    return ChunkBytes(
        kTagMeshFile3ds,
        ChunkBytes(kTagFileVersion3ds, Hex("03000000")) + ChunkBytes(kTagEditor3ds, editor) +
            ChunkBytes(
                kTagKeyframer3ds,
                ChunkBytes(kTagKeyframerHeader3ds, Hex("0500 00 1E000000")) +
                    ChunkBytes(kTagObjectNode3ds,
                               ChunkBytes(kTagNodeId3ds, Hex("0000")) +
                                   ChunkBytes(kTagNodeHeader3ds, Hex("547F6900 0000 0000 FFFF")))));
}

const char* const kSmallFileDump =
    "0x4D4D mesh-file root (169 bytes)\n"
    "  0x0002 file version (10 bytes): 3\n"
    "  0x3D3D 3D editor section (104 bytes)\n"
    "    0x3D3E mesh version (10 bytes): 3\n"
    "    0x4000 named object (88 bytes): \"Tri\"\n"
    "      0x4100 triangle mesh (78 bytes)\n"
    "        0x4110 vertex list (56 bytes): 4 points: (0, 0, 0), (1, 0, 0), (0, 1, 0), ...\n"
    "        0x4120 face list (16 bytes): 1 face: (0 1 2, 0x7)\n"
    "  0xB000 keyframer section (49 bytes)\n"
    "    0xB00A keyframer header (13 bytes): revision 5, \"\", 30 frames\n"
    "    0xB002 object node (30 bytes)\n"
    "      0xB030 node number (8 bytes): 0\n"
    "      0xB010 node header (16 bytes): \"T\\x7Fi\", flags 0x0 0x0, parent none\n";

ProcessResult Dump(const ScopedTempDir& dir, const std::vector<std::string>& args) {
    std::vector<std::string> argv = {TARVIK_DUMP_EXE};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv, dir.path());
}

TEST(TarvikDump, ShowsOneLinePerChunk) {
    ScopedTempDir dir;
    WriteFileBytes("small.3ds", SmallFile());
    const ProcessResult result = Dump(dir, {"small.3ds"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, kSmallFileDump);
    EXPECT_EQ(result.err, "");
}

TEST(TarvikDump, BrokenFileShowsWhatCouldBeReadThenTheMessages) {
    ScopedTempDir dir;
    WriteFileBytes("broken.3ds", SmallFile("FFFF"));
    const ProcessResult result = Dump(dir, {"broken.3ds"});
    EXPECT_EQ(result.exitCode, 1);
    const std::string lines = kSmallFileDump;
    EXPECT_EQ(result.out, lines.substr(0, lines.find("4 points")) + "(unreadable)\n");
    EXPECT_EQ(result.err,
              "ERR_READING_DATABASE: Error occured while reading database\n"
              "ERR_INVALID_CHUNK: An invalid chunk structure was encountered while reading the "
              "database. Usually caused by a corrupt database or file\n");
}

TEST(TarvikDump, WritesACopyButNeverOverItsSource) {
    ScopedTempDir dir;
    WriteFileBytes("small.3ds", SmallFile());
    WriteFileBytes("broken.3ds", SmallFile("FFFF"));
    EXPECT_EQ(Dump(dir, {"--write", "copy.3ds", "small.3ds"}).exitCode, 0);
    EXPECT_TRUE(ReadFileBytes("copy.3ds") == SmallFile());

    const ProcessResult same = Dump(dir, {"--write", "./small.3ds", "small.3ds"});
    EXPECT_EQ(same.exitCode, 1);
    EXPECT_EQ(same.err, "./small.3ds: the copy must not replace the file it is read from\n");
    EXPECT_TRUE(ReadFileBytes("small.3ds") == SmallFile());

    EXPECT_EQ(Dump(dir, {"--write", "other.3ds", "broken.3ds"}).exitCode, 1);
    EXPECT_FALSE(std::filesystem::exists("other.3ds"));
    // A copy that could not be written whole is removed (here the link to the full device).
    if (std::filesystem::exists("/dev/full")) {
        std::filesystem::create_symlink("/dev/full", "full.3ds");
        EXPECT_EQ(Dump(dir, {"--write", "full.3ds", "small.3ds"}).exitCode, 1);
        EXPECT_FALSE(std::filesystem::is_symlink("full.3ds"));
    }
}

TEST(TarvikDump, BothProgramsAnswerHelpAndVersion) {
    ScopedTempDir dir;
    for (const char* program : {TARVIK_EXE, TARVIK_DUMP_EXE}) {
        SCOPED_TRACE(program);
        const ProcessResult help = RunProgram({program, "--help"}, dir.path());
        EXPECT_EQ(help.exitCode, 0);
        EXPECT_NE(help.out.find(std::string("Usage: ") + program), std::string::npos);
        EXPECT_EQ(help.err, "");
        const ProcessResult version = RunProgram({program, "--version"}, dir.path());
        EXPECT_EQ(version.exitCode, 0);
        EXPECT_EQ(version.out,
                  program == std::string(TARVIK_EXE) ? "Tarvik v1.0\n" : "tarvik-dump v1.0\n");
    }
    // A file named like an option is still a file.
    EXPECT_EQ(RunProgram({TARVIK_EXE, "./--help"}, dir.path()).err,
              "./--help: No such file or directory\n");
    const ProcessResult wrong = Dump(dir, {"a.3ds", "b.3ds"});
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_EQ(wrong.out, "");
    EXPECT_NE(wrong.err.find("Usage: "), std::string::npos);
}

} // namespace
