// Benchmarks on the levels of bench_levels.h, six per level:
//   load/<level>     LoadLevel from the page cache, in level bytes per second
//   convert/<level>  ConvertModel into a fresh database, time per run
//   write/<level>    WriteDatabase3ds of the converted scene to a file, in
//                    output bytes per second
//   3ds/<level>      the whole 3DS path after loading (conversion, bitmaps,
//                    writing), CPU time per run
//   gltf/<level>     the whole glTF path after loading (the scene, the GLB
//                    bytes, writing), CPU time per run
//   run/<level>      the built program on the level, alternated with
//                    `cat level > /dev/null` in every iteration; its peak
//                    resident memory from GNU time's %M (/usr/bin/time)
//
// Usage: tarvik_bench [benchmark flags] {path of tarvik} {levels directory}
// Works in a fresh directory (ScratchDirectory below), where the conversions
// write their files, and removes it at the end. Prints the table of
// bench_table.h.

#include <benchmark/benchmark.h>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <vector>

#include "app/run_sequence.h"
#include "bench/bench_levels.h"
#include "bench/bench_table.h"
#include "convert/body_parts.h"
#include "convert/character_scene.h"
#include "convert/conversion_context.h"
#include "convert/gltf/gltf_writer.h"
#include "convert/level_checks.h"
#include "convert/model_assembly.h"
#include "level/animation_decoder.h"
#include "level/level_reader.h"
#include "toolkit3ds/database_writer.h"
#include "toolkit3ds/errors.h"

extern char** environ;

namespace {

constexpr const char* kCat = "/bin/cat";
constexpr const char* kGnuTime = "/usr/bin/time";
constexpr const char* kPeakFile = "peak.txt";
constexpr const char* kWrittenFile = "written.3ds";

double Now() {
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double FileSize(const std::string& path) {
    struct stat status = {};
    return stat(path.c_str(), &status) == 0 ? static_cast<double>(status.st_size) : 0.0;
}

// Triangles of the converted figure: two per quad, one per triangle.
double ModelFaces(const LevelData& level) {
    double faces = 0;
    for (const BodyPart& part : kBodyParts) {
        const MeshRecord& mesh = level.meshes[part.meshNumber];
        faces += 2.0 * static_cast<double>(mesh.texturedQuads.size() + mesh.colouredQuads.size()) +
                 static_cast<double>(mesh.texturedTriangles.size() + mesh.colouredTriangles.size());
    }
    return faces;
}

// Keyframes times joints of her animations, the glTF path's animation work.
double KeyframeParts(const LevelData& level) {
    const SkeletonResult skeleton = DecodePlayerSkeleton(level);
    if (!skeleton.skeleton) {
        return 0;
    }
    double keyframes = 0;
    for (const DecodedAnimation& animation :
         DecodePlayerAnimations(level, *skeleton.skeleton).animations) {
        keyframes += static_cast<double>(animation.keyframes.size());
    }
    return keyframes * kSkeletonMeshCount;
}

// Empties the working directory. Every run writes into an empty directory:
// truncating a file that holds blocks makes some file systems (ext4) write it
// back on close, a cost of the file system that cat never pays.
void RemoveOutputs() {
    for (const auto& entry : std::filesystem::directory_iterator(".")) {
        std::filesystem::remove(entry.path());
    }
}

// Loads a level ready for conversion; false, with the benchmark skipped and
// the reason given, when it is not.
bool LoadForConversion(benchmark::State& state, const std::string& path, LevelLoadResult& loaded) {
    loaded = LoadLevel(path);
    std::string problem = loaded.problem;
    if (loaded.status == LevelLoadStatus::Loaded) {
        problem = CheckLevelForConversion(loaded.level);
    }
    if (!problem.empty()) {
        state.SkipWithError((path + ": " + problem).c_str());
        return false;
    }
    return true;
}

// Converts the level into a new database. The conversion writes into the
// level's faces, so the caller hands it a fresh copy of the meshes each time.
std::unique_ptr<Database3ds> Convert(LevelData& level) {
    ClearErrors3ds();
    ConversionContext context(level);
    std::unique_ptr<Database3ds> db;
    InitDatabase3ds(db);
    CreateNewDatabase3ds(db.get(), kDatabaseMeshFile3ds);
    ConvertModel(context, db.get());
    return db;
}

// Runs `run` on the level in every iteration, each time on a fresh copy of
// its meshes (a conversion writes into their faces) in an empty directory.
template <typename Run> void EachOnFreshMeshes(benchmark::State& state, LevelData& level, Run run) {
    const std::vector<MeshRecord> meshes = level.meshes;
    for (auto _ : state) {
        state.PauseTiming();
        level.meshes = meshes;
        RemoveOutputs();
        state.ResumeTiming();
        if (!run()) {
            state.SkipWithError("the conversion failed");
            break;
        }
    }
    state.counters["faces"] = ModelFaces(level);
}

void BenchLoad(benchmark::State& state, const std::string& path) {
    for (auto _ : state) {
        const LevelLoadResult loaded = LoadLevel(path);
        if (loaded.status != LevelLoadStatus::Loaded) {
            state.SkipWithError(loaded.problem.c_str());
            break;
        }
        benchmark::DoNotOptimize(loaded.level.meshes.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(FileSize(path)));
    state.counters["file_bytes"] = FileSize(path);
}

void BenchConvert(benchmark::State& state, const std::string& path) {
    LevelLoadResult loaded;
    if (!LoadForConversion(state, path, loaded)) {
        return;
    }
    EachOnFreshMeshes(state, loaded.level, [&] {
        std::unique_ptr<Database3ds> db = Convert(loaded.level);
        state.PauseTiming();
        const bool failed = ErrorPending3ds;
        ReleaseDatabase3ds(db);
        state.ResumeTiming();
        return !failed;
    });
}

void BenchThreeDsPath(benchmark::State& state, const std::string& path) {
    LevelLoadResult loaded;
    if (!LoadForConversion(state, path, loaded)) {
        return;
    }
    EachOnFreshMeshes(state, loaded.level, [&] {
        std::unique_ptr<Database3ds> db = Convert(loaded.level);
        File3ds* file = OpenFile3ds(kWrittenFile, "w");
        WriteDatabase3ds(file, db.get());
        CloseAllFiles3ds();
        ReleaseDatabase3ds(db);
        return !ErrorPending3ds;
    });
}

void BenchGltfPath(benchmark::State& state, const std::string& path) {
    LevelLoadResult loaded;
    if (!LoadForConversion(state, path, loaded)) {
        return;
    }
    EachOnFreshMeshes(state, loaded.level, [&] {
        ConversionContext context(loaded.level);
        CharacterScene scene;
        if (!BuildCharacterScene(context, scene)) {
            return false;
        }
        return WriteGlbFile(scene, "bench", kGltfFileName) == 0;
    });
    state.counters["keyframe_parts"] = KeyframeParts(loaded.level);
}

void BenchWrite(benchmark::State& state, const std::string& path) {
    LevelLoadResult loaded;
    if (!LoadForConversion(state, path, loaded)) {
        return;
    }
    std::unique_ptr<Database3ds> db = Convert(loaded.level);
    for (auto _ : state) {
        state.PauseTiming();
        RemoveOutputs();
        state.ResumeTiming();
        File3ds* file = OpenFile3ds(kWrittenFile, "w");
        WriteDatabase3ds(file, db.get());
        CloseAllFiles3ds();
        if (ErrorPending3ds) {
            state.SkipWithError("writing raised a toolkit error");
            break;
        }
    }
    ReleaseDatabase3ds(db);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(FileSize(kWrittenFile)));
}

struct Finished {
    double seconds = 0;
    int status = -1; // as wait4 reports it
};

// Runs a program with standard output sent to /dev/null and times it from
// the spawn to the end of the wait.
Finished Spawn(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    Finished finished;
    const double start = Now();
    pid_t child = 0;
    if (posix_spawn(&child, args[0], &actions, nullptr, args.data(), environ) == 0) {
        while (waitpid(child, &finished.status, 0) < 0 && errno == EINTR) {
        }
        finished.seconds = Now() - start;
    }
    posix_spawn_file_actions_destroy(&actions);
    return finished;
}

// The program's peak resident memory in bytes as GNU time's %M gives it, or
// 0 without GNU time. Not taken from our own spawn: a child started by a
// process as large as this one inherits that process's peak (ru_maxrss
// survives exec), while GNU time is small.
double PeakBytes(const std::string& tarvik, const std::string& path) {
    RemoveOutputs();
    if (Spawn({kGnuTime, "-f", "%M", "-o", kPeakFile, tarvik, path}).status != 0) {
        return 0;
    }
    double kilobytes = 0;
    if (std::FILE* file = std::fopen(kPeakFile, "r")) {
        if (std::fscanf(file, "%lf", &kilobytes) != 1) {
            kilobytes = 0;
        }
        std::fclose(file);
    }
    return kilobytes * 1024;
}

void BenchRun(benchmark::State& state, const std::string& tarvik, const std::string& path) {
    LevelLoadResult loaded;
    if (!LoadForConversion(state, path, loaded)) {
        return;
    }
    Spawn({kCat, path}); // the level into the page cache
    const double peakBytes = PeakBytes(tarvik, path);
    double catSeconds = 0;
    for (auto _ : state) {
        RemoveOutputs();
        const Finished cat = Spawn({kCat, path});
        const Finished run = Spawn({tarvik, path});
        if (run.status != 0 || cat.status != 0) {
            state.SkipWithError("tarvik or cat failed on the level");
            break;
        }
        state.SetIterationTime(run.seconds);
        catSeconds += cat.seconds;
    }
    state.counters["cat_seconds"] =
        benchmark::Counter(catSeconds, benchmark::Counter::kAvgIterations);
    state.counters["peak_bytes"] = peakBytes;
    state.counters["file_bytes"] = FileSize(path);
    state.counters["faces"] = ModelFaces(loaded.level);
}

// A fresh directory to work in, removed with everything in it at the end.
// Under $TARVIK_BENCH_DIR when set, else under /dev/shm where it exists, so
// that the outputs go to memory and the disk's file system does not time
// itself into the runs; else under $TMPDIR or /tmp.
class ScratchDirectory {
public:
    ScratchDirectory() {
        std::string base = "/tmp";
        std::error_code ignored;
        if (const char* chosen = std::getenv("TARVIK_BENCH_DIR")) {
            base = chosen;
        } else if (std::filesystem::is_directory("/dev/shm", ignored)) {
            base = "/dev/shm";
        } else if (const char* temporary = std::getenv("TMPDIR")) {
            base = temporary;
        }
        std::string pattern = base + "/tarvik-bench-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            std::fprintf(stderr, "%s: %s\n", pattern.c_str(), std::strerror(errno));
            std::exit(1);
        }
        path_ = pattern;
        std::filesystem::current_path(path_);
    }
    ~ScratchDirectory() {
        std::error_code ignored;
        std::filesystem::current_path("/", ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "Usage: %s [benchmark flags] {path of tarvik} {levels directory}\n",
                     argv[0]);
        return 1;
    }
    const std::string tarvik = std::filesystem::absolute(argv[1]);
    const std::string levels = std::filesystem::absolute(argv[2]);
    ScratchDirectory scratch;

    for (const BenchLevel& level : kBenchLevels) {
        const std::string name(level.name);
        const std::string path = levels + "/" + name + ".qlv";
        if (FileSize(path) == 0) {
            std::fprintf(stderr, "%s: missing; make_bench_levels writes it\n", path.c_str());
            return 1;
        }
        benchmark::RegisterBenchmark(("load/" + name).c_str(), BenchLoad, path)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("convert/" + name).c_str(), BenchConvert, path)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("write/" + name).c_str(), BenchWrite, path)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("3ds/" + name).c_str(), BenchThreeDsPath, path)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("gltf/" + name).c_str(), BenchGltfPath, path)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("run/" + name).c_str(), BenchRun, tarvik, path)
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime();
    }
    BenchTable table("outputs written under " +
                     std::filesystem::path(scratch.path()).parent_path().string());
    benchmark::RunSpecifiedBenchmarks(&table);
    benchmark::Shutdown();
    return 0;
}
