// tarvik-dump through the built program, and the options both programs answer.

#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"
#include "tests/support/tree_outline.h"
#include "toolkit3ds/chunk_tags.h"

namespace {

namespace fs = std::filesystem;

const std::string kGoldenFile = std::string(TARVIK_SOURCE_DIR) + "/tests/golden/KeshMesh.3ds";

// A mesh file with one object of four points and one face, and a keyframer node
// whose name holds a byte to escape. The object's name is one character longer
// than the format allows.
Bytes SmallFile(const char* vertexCount = "0400", const char* faceListLength = nullptr) {
    Bytes faces = ChunkBytes(kTagFaceList3ds, Hex("0100 0000 0100 0200 0700"));
    if (faceListLength != nullptr) {
        const Bytes length = Hex(faceListLength);
        std::copy(length.begin(), length.end(), faces.begin() + 2);
    }
    const Bytes mesh =
        ChunkBytes(kTagTriangleMesh3ds,
                   ChunkBytes(kTagVertexList3ds,
                              Hex(vertexCount) + Hex("00000000 00000000 00000000"     // (0, 0, 0)
                                                     "0000803F 00000000 00000000"     // (1, 0, 0)
                                                     "00000000 0000803F 00000000"     // (0, 1, 0)
                                                     "00000000 00000000 0000C03F")) + // (0, 0, 1.5)
                       faces);
    const Bytes editor =
        ChunkBytes(kTagMeshVersion3ds, Hex("03000000")) +
        ChunkBytes(kTagNamedObject3ds, Hex("547269616E676C655F303100") + mesh); // "Triangle_01"
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

const std::string kSmallFileDump =
    "0x4D4D mesh-file root (177 bytes)\n"
    "  0x0002 file version (10 bytes): 3\n"
    "  0x3D3D 3D editor section (112 bytes)\n"
    "    0x3D3E mesh version (10 bytes): 3\n"
    "    0x4000 named object (96 bytes): \"Triangle_01\" (11 characters, longer than 10)\n"
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

// Runs a shell command line in the directory, the dump program as $0.
ProcessResult Shell(const ScopedTempDir& dir, const std::string& commandLine) {
    return RunProgram({"/bin/sh", "-c", commandLine, TARVIK_DUMP_EXE}, dir.path());
}

std::string FirstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

TEST(TarvikDump, ShowsOneLinePerChunk) {
    ScopedTempDir dir;
    WriteFileBytes("small.3ds", SmallFile());
    const ProcessResult result = Dump(dir, {"small.3ds"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, kSmallFileDump);
    EXPECT_EQ(result.err, "");

    std::string full = kSmallFileDump;
    full.replace(full.find("..."), 3, "(0, 0, 1.5)");
    EXPECT_EQ(Dump(dir, {"--full", "small.3ds"}).out, full);

    // Numbers that need them get their labels.
    const std::string golden = Dump(dir, {kGoldenFile}).out;
    for (const char* line :
         {"0xA351 map tiling flags (8 bytes): 0x120: summed-area filter, ignore alpha\n",
          "0x7001 viewport layout (584 bytes): style 0, active 0, ready 1, window state 0, "
          "swap window 0, swap port 0, swap current 0\n",
          "0x7011 viewport entry (55 bytes): state 1 0, rectangle (0, 0, 1000, 1000), view "
          "camera, zoom 0, centre (0, 0, 0), angles 20 30, camera \"Camera1\"\n"}) {
        EXPECT_NE(golden.find(line), std::string::npos) << line;
    }
}

// Each prints what could be read, then on standard error what is wrong and
// where, then the toolkit's messages; the exit code is 1.
TEST(TarvikDump, DamagedFilesShowWhatIsThereThenWhatIsWrong) {
    ScopedTempDir dir;
    const Bytes small = SmallFile();
    WriteFileBytes("count.3ds", SmallFile("FFFF"));
    WriteFileBytes("cut.3ds", Bytes(small.begin(), small.begin() + 100));
    WriteFileBytes("faces.3ds", SmallFile("0400", "B80B0000")); // claims 3000 bytes
    WriteFileBytes("empty.3ds", {});
    WriteFileBytes("notes.txt", Hex("2D2D 2068656C6C6F0A")); // "-- hello"
    // Chunks cut at the file's end hold what the file does.
    const std::string cutDump =
        "0x4D4D mesh-file root (100 bytes)\n"
        "  0x0002 file version (10 bytes): 3\n"
        "  0x3D3D 3D editor section (84 bytes)\n"
        "    0x3D3E mesh version (10 bytes): 3\n"
        "    0x4000 named object (68 bytes): \"Triangle_01\" (11 characters, longer than 10)\n"
        "      0x4100 triangle mesh (50 bytes)\n"
        "        0x4110 vertex list (44 bytes): (unreadable)\n";
    const std::string cutProblem = ": chunk 0x4D4D at byte 0 claims 177 bytes, only 100 remain "
                                   "in the file";
    const struct {
        std::vector<std::string> args; // "sh" runs the rest as a shell command line
        std::string out;
        std::string problem;
    } kCases[] = {
        {{"count.3ds"},
         kSmallFileDump.substr(0, kSmallFileDump.find("        0x4110")) +
             "        0x4110 vertex list (56 bytes): (unreadable)\n",
         "count.3ds: chunk 0x4110 at byte 56: 65535 entries of 12 bytes need 786420 bytes, only "
         "48 remain in the chunk"},
        {{"cut.3ds"}, cutDump, "cut.3ds" + cutProblem},
        {{"sh", "cat cut.3ds | \"$0\" /dev/stdin"}, cutDump, "/dev/stdin" + cutProblem},
        // Cut at its parent's end, the face list holds its face; what follows is read.
        {{"faces.3ds"},
         kSmallFileDump,
         "faces.3ds: chunk 0x4120 at byte 112 claims 3000 bytes, only 16 remain in its parent "
         "0x4100"},
        {{"empty.3ds"}, "", "empty.3ds: empty file, not a 3DS file"},
        {{"notes.txt"},
         "",
         "notes.txt: not a 3DS file (starts with 0x2D2D, expected 0x4D4D, 0xC23D or 0x3DAA)"},
        {{"."}, "", ".: Is a directory"},
        {{"nowhere.3ds"}, "", "nowhere.3ds: No such file or directory"},
    };
    for (const auto& [args, out, problem] : kCases) {
        SCOPED_TRACE(args.back());
        const ProcessResult result = args[0] == "sh" ? Shell(dir, args[1]) : Dump(dir, args);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.out, out);
        EXPECT_EQ(FirstLine(result.err), problem);
        // The toolkit's messages follow, the cause last.
        EXPECT_TRUE(result.err.ends_with("Usually caused by a corrupt database or file\n") ||
                    result.err.ends_with("ERR_OPENING_FILE: Could not open requested file\n"))
            << result.err;
    }
}

TEST(TarvikDump, CopiesReplaceNoFileUnasked) {
    ScopedTempDir dir;
    const Bytes small = SmallFile();
    const Bytes old = Hex("0102 0304");
    WriteFileBytes("small.3ds", small);
    fs::create_hard_link("small.3ds", "hard.3ds");
    fs::create_symlink("small.3ds", "soft.3ds");
    // The source under another name, even with --force.
    for (const char* same : {"./small.3ds", "hard.3ds", "soft.3ds"}) {
        const ProcessResult result = Dump(dir, {"small.3ds", "-o", same, "--force"});
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err,
                  std::string(same) + ": the copy must not replace the file it is read from\n");
        EXPECT_TRUE(ReadFileBytes("small.3ds") == small);
    }
    // Every spelling of the copy's name, in any position; --force replaces.
    const std::vector<std::string> spellings[] = {{"small.3ds", "-o", "copy.3ds"},
                                                  {"--output", "copy.3ds", "small.3ds"},
                                                  {"--write", "copy.3ds", "small.3ds"}};
    for (std::vector<std::string> args : spellings) {
        SCOPED_TRACE(args[0]);
        WriteFileBytes("copy.3ds", old);
        const ProcessResult refused = Dump(dir, args);
        EXPECT_EQ(refused.exitCode, 1);
        EXPECT_EQ(refused.err, "copy.3ds: exists; add --force to replace it\n");
        EXPECT_TRUE(ReadFileBytes("copy.3ds") == old);
        args.push_back("--force");
        EXPECT_EQ(Dump(dir, args).exitCode, 0);
        EXPECT_TRUE(ReadFileBytes("copy.3ds") == small);
        fs::remove("copy.3ds");
        args.pop_back();
        EXPECT_EQ(Dump(dir, args).exitCode, 0);
        EXPECT_TRUE(ReadFileBytes("copy.3ds") == small);
    }

    // A write cut short, by an error or by the signal it raises, leaves the old copy whole.
    fs::copy_file(kGoldenFile, "golden.3ds");
    WriteFileBytes("copy.3ds", old);
    const auto before = SnapshotDirectory(dir.path());
    for (const char* signal : {"trap '' XFSZ; ", ""}) {
        const ProcessResult cut =
            Shell(dir, std::string(signal) +
                           "ulimit -c 0; ulimit -f 1; exec \"$0\" golden.3ds -o copy.3ds --force");
        EXPECT_NE(cut.exitCode, 0);
        EXPECT_EQ(SnapshotDirectory(dir.path()), before);
        if (*signal != '\0') {
            EXPECT_EQ(FirstLine(cut.err), "copy.3ds: File too large");
        }
    }
}

TEST(TarvikDump, BothProgramsAnswerHelpAndVersionAndWrongCommandsGetTheHelp) {
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
    EXPECT_EQ(Dump(dir, {"-h"}).out, Dump(dir, {"--help"}).out);
    // A file named like an option is still a file.
    EXPECT_EQ(RunProgram({TARVIK_EXE, "./--help"}, dir.path()).err,
              "./--help: No such file or directory\n");

    WriteFileBytes("small.3ds", SmallFile());
    const auto before = SnapshotDirectory(dir.path());
    const std::vector<std::string> wrongCommands[] = {
        {},
        {"small.3ds", "b.3ds"},
        {"small.3ds", "-o", "copy.3ds", "extra.3ds"},
        {"small.3ds", "-o", "copy.3ds", "--output", "other.3ds"},
        {"small.3ds", "-o"},
        {"--fill", "small.3ds"},
    };
    for (const std::vector<std::string>& args : wrongCommands) {
        SCOPED_TRACE(args.size());
        const ProcessResult wrong = Dump(dir, args);
        EXPECT_EQ(wrong.exitCode, 1);
        EXPECT_EQ(wrong.out, "");
        EXPECT_NE(wrong.err.find("Usage: "), std::string::npos);
        EXPECT_EQ(SnapshotDirectory(dir.path()), before);
    }
}

// Runs assimp from PATH with the arguments (env exits 127 when there is none).
ProcessResult Assimp(const std::vector<std::string>& args, const std::string& cwd) {
    std::vector<std::string> argv = {"/usr/bin/env", "assimp"};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv, cwd);
}

// The dump without the lengths and the chunks a copy gains: versions, the
// keyframer header and node numbers.
std::string WithoutGains(const std::string& dump) {
    static const std::regex gained("[^\n]*0x(0002|3D3E|B00A|B030) [^\n]*\n| \\(\\d+ bytes\\)");
    return std::regex_replace(dump, gained, "");
}

// Files other programs wrote: each dumps, and its copy holds the same chunks
// but those a copy gains, writes again unchanged and reads in assimp.
TEST(TarvikDump, FilesOfOtherProgramsDumpAndCopy) {
    ScopedTempDir dir;
    if (Assimp({"version"}, dir.path()).exitCode == 127) {
        GTEST_SKIP() << "assimp is not installed (Debian package assimp-utils)";
    }
    const std::vector<std::string> corpus = ListDirectory(TARVIK_FOREIGN_DIR);
    ASSERT_GE(corpus.size(), 6u) << "the build exports the corpus when assimp is installed";
    bool longNameSeen = false;
    for (const std::string& name : corpus) {
        SCOPED_TRACE(name);
        const std::string path = std::string(TARVIK_FOREIGN_DIR) + "/" + name;
        const ProcessResult dump = Dump(dir, {"--full", path});
        EXPECT_EQ(dump.exitCode, 0);
        EXPECT_EQ(dump.err, "");
        longNameSeen = longNameSeen || dump.out.find(", longer than ") != std::string::npos;

        ASSERT_EQ(Dump(dir, {path, "-o", "copy.3ds", "--force"}).exitCode, 0);
        EXPECT_EQ(WithoutGains(Dump(dir, {"--full", "copy.3ds"}).out), WithoutGains(dump.out));
        ASSERT_EQ(Dump(dir, {"copy.3ds", "-o", "again.3ds", "--force"}).exitCode, 0);
        EXPECT_TRUE(ReadFileBytes("again.3ds") == ReadFileBytes("copy.3ds"));
        const ProcessResult info = Assimp({"info", "copy.3ds"}, dir.path());
        EXPECT_EQ(info.exitCode, 0) << info.err;
    }
    EXPECT_TRUE(longNameSeen);
}

} // namespace
