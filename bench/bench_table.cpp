#include "bench/bench_table.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <utility>
#include <vector>

#include "bench/bench_levels.h"

namespace {

constexpr double kMega = 1e6;
constexpr double kMemoryAllowance = 16 * kMega; // peak memory may exceed the file by this

// Targets.
constexpr double kMaxRatioToCat = 1.0;
constexpr double kMaxMicrosecondsPerFace = 1.0;
constexpr double kMaxGrowthFor16TimesTheFaces = 17.0;
constexpr double kMinWriteBytesPerSecond = 1e9;
constexpr double kMaxGltfToThreeDs = 1.5;                // CPU time per model face
constexpr double kMaxGrowthFor4TimesTheAnimations = 4.4; // linear, with 10% to spare

double Seconds(const benchmark::BenchmarkReporter::Run& run) {
    return run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
}

double CpuSeconds(const benchmark::BenchmarkReporter::Run& run) {
    return run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
}

double Counter(const benchmark::BenchmarkReporter::Run& run, const char* name) {
    const auto found = run.counters.find(name);
    return found == run.counters.end() ? 0.0 : found->second.value;
}

// One row of the table, from the four benchmarks of a level; zero where a
// benchmark did not run.
struct Row {
    std::string label;
    double fileBytes = 0;
    double faces = 0;
    double loadBytesPerSecond = 0;
    double convertSeconds = 0;
    double writeBytesPerSecond = 0;
    double runSeconds = 0;
    double catSeconds = 0;
    double peakBytes = 0;
    double threeDsSeconds = 0; // CPU
    double gltfSeconds = 0;    // CPU
    double keyframeParts = 0;

    double GltfToThreeDs() const { return threeDsSeconds > 0 ? gltfSeconds / threeDsSeconds : 0; }
    double RatioToCat() const { return catSeconds > 0 ? runSeconds / catSeconds : 0; }
    double MicrosecondsPerFaceBeyondCat() const {
        return faces > 0 ? (runSeconds - catSeconds) / faces * kMega : 0;
    }
    double MemoryLimit() const { return fileBytes + kMemoryAllowance; }
};

std::string Fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// A dash for a measurement that was not taken.
std::string Cell(double value, int decimals) {
    return value > 0 ? Fixed(value, decimals) : "-";
}

const char* Verdict(bool met) {
    return met ? "met" : "**missed**";
}

} // namespace

BenchTable::BenchTable(std::string note)
    : console_(benchmark::ConsoleReporter::OO_Tabular), note_(std::move(note)) {
    console_.SetOutputStream(&std::cerr);
    console_.SetErrorStream(&std::cerr);
}

bool BenchTable::ReportContext(const Context& context) {
    machine_ = std::to_string(context.cpu_info.num_cpus) + " CPUs at " +
               Fixed(context.cpu_info.cycles_per_second / kMega, 0) + " MHz";
    return console_.ReportContext(context);
}

void BenchTable::ReportRuns(const std::vector<Run>& runs) {
    console_.ReportRuns(runs);
    for (const Run& run : runs) {
        if (run.error_occurred) {
            continue;
        }
        const std::string& name = run.run_name.function_name;
        if (run.run_type == Run::RT_Iteration && results_.count(name) == 0) {
            results_[name] = run;
        } else if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
            results_[name] = run;
            repetitions_ = static_cast<int>(run.repetitions);
        }
    }
}

void BenchTable::Finalize() {
    console_.Finalize();
    std::vector<Row> rows;
    for (const BenchLevel& level : kBenchLevels) {
        Row row;
        row.label = std::string(level.label);
        const std::string name(level.name);
        if (const auto load = results_.find("load/" + name); load != results_.end()) {
            row.loadBytesPerSecond = Counter(load->second, "bytes_per_second");
            row.fileBytes = Counter(load->second, "file_bytes");
        }
        if (const auto convert = results_.find("convert/" + name); convert != results_.end()) {
            row.convertSeconds = Seconds(convert->second);
            row.faces = Counter(convert->second, "faces");
        }
        if (const auto write = results_.find("write/" + name); write != results_.end()) {
            row.writeBytesPerSecond = Counter(write->second, "bytes_per_second");
        }
        if (const auto path = results_.find("3ds/" + name); path != results_.end()) {
            row.threeDsSeconds = CpuSeconds(path->second);
        }
        if (const auto path = results_.find("gltf/" + name); path != results_.end()) {
            row.gltfSeconds = CpuSeconds(path->second);
            row.keyframeParts = Counter(path->second, "keyframe_parts");
            row.faces = Counter(path->second, "faces");
        }
        if (const auto run = results_.find("run/" + name); run != results_.end()) {
            row.runSeconds = Seconds(run->second);
            row.catSeconds = Counter(run->second, "cat_seconds");
            row.peakBytes = Counter(run->second, "peak_bytes");
            row.faces = Counter(run->second, "faces");
            row.fileBytes = Counter(run->second, "file_bytes");
        }
        rows.push_back(row);
    }

    std::printf("Medians of %d repetitions on %s, %s. MB = 10^6 bytes; model faces are the "
                "triangles of the converted figure.\n\n",
                repetitions_, machine_.c_str(), note_.c_str());
    std::printf(
        "| Level | File (MB) | Model faces | Load (MB/s) | Convert (µs/face) | Write (MB/s) "
        "| Tarvik (ms) | cat (ms) | Tarvik / cat | Beyond cat (µs/face) | Peak memory (MB) "
        "| Limit: file + 16 MB | Keyframes x parts | 3DS path (ms CPU) | glTF path (ms CPU) "
        "| glTF / 3DS |\n");
    std::printf("|---|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|\n");
    for (const Row& row : rows) {
        std::printf(
            "| %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s |\n",
            row.label.c_str(), Cell(row.fileBytes / kMega, 1).c_str(), Cell(row.faces, 0).c_str(),
            Cell(row.loadBytesPerSecond / kMega, 0).c_str(),
            Cell(row.faces > 0 ? row.convertSeconds / row.faces * kMega : 0, 3).c_str(),
            Cell(row.writeBytesPerSecond / kMega, 0).c_str(), Cell(row.runSeconds * 1e3, 2).c_str(),
            Cell(row.catSeconds * 1e3, 2).c_str(), Cell(row.RatioToCat(), 2).c_str(),
            row.runSeconds > 0 ? Fixed(row.MicrosecondsPerFaceBeyondCat(), 3).c_str() : "-",
            Cell(row.peakBytes / kMega, 1).c_str(),
            Cell(row.fileBytes > 0 ? row.MemoryLimit() / kMega : 0, 1).c_str(),
            Cell(row.keyframeParts, 0).c_str(), Cell(row.threeDsSeconds * 1e3, 2).c_str(),
            Cell(row.gltfSeconds * 1e3, 2).c_str(), Cell(row.GltfToThreeDs(), 2).c_str());
    }

    // The rows as kBenchLevels orders them: the large level, the dense
    // figures (the 16x ones last), the animations.
    constexpr size_t kFirstLargeRow = 3;
    constexpr size_t kLastDenseRow = 4;
    const Row& large = rows[0];
    const Row& dense1 = rows[1];
    const Row& dense16 = rows[3];
    std::printf("\nTargets:\n");
    if (large.runSeconds > 0) {
        std::printf("- large level, small figure: Tarvik / cat = %.2f (at most %.1f): %s\n",
                    large.RatioToCat(), kMaxRatioToCat,
                    Verdict(large.RatioToCat() <= kMaxRatioToCat));
    }
    double worstPerFace = 0;
    bool perFaceMeasured = false;
    for (size_t i = 1; i <= kLastDenseRow; ++i) {
        if (rows[i].runSeconds > 0 && rows[i].faces > 0) {
            perFaceMeasured = true;
            worstPerFace = std::max(worstPerFace, rows[i].MicrosecondsPerFaceBeyondCat());
        }
    }
    if (perFaceMeasured) {
        std::printf("- time beyond cat per model face, dense figures: at most %.3f µs "
                    "(at most %.1f): %s\n",
                    worstPerFace, kMaxMicrosecondsPerFace,
                    Verdict(worstPerFace <= kMaxMicrosecondsPerFace));
    }
    if (dense1.convertSeconds > 0 && dense16.convertSeconds > 0) {
        const double growth = dense16.convertSeconds / dense1.convertSeconds;
        std::printf("- conversion of 16x the faces: %.1f times the 1x time (at most %.0f): %s\n",
                    growth, kMaxGrowthFor16TimesTheFaces,
                    Verdict(growth <= kMaxGrowthFor16TimesTheFaces));
    }
    if (dense1.runSeconds > 0 && dense16.runSeconds > 0) {
        const double growth =
            (dense16.runSeconds - dense16.catSeconds) / (dense1.runSeconds - dense1.catSeconds);
        std::printf("- whole run beyond cat with 16x the faces: %.1f times the 1x time (at most "
                    "%.0f): %s\n",
                    growth, kMaxGrowthFor16TimesTheFaces,
                    Verdict(growth <= kMaxGrowthFor16TimesTheFaces));
    }
    if (dense16.writeBytesPerSecond > 0) {
        std::printf("- writing the 16x figure: %.0f MB/s (at least %.0f): %s\n",
                    dense16.writeBytesPerSecond / kMega, kMinWriteBytesPerSecond / kMega,
                    Verdict(dense16.writeBytesPerSecond >= kMinWriteBytesPerSecond));
    }
    // The glTF path's fixed costs (the PNG textures, the JSON) show on the
    // small figures; the target is the cost per face on the large ones.
    double worstGltf = 0;
    for (size_t i = kFirstLargeRow; i <= kLastDenseRow; ++i) {
        worstGltf = std::max(worstGltf, rows[i].GltfToThreeDs());
    }
    if (worstGltf > 0) {
        std::printf("- glTF path against the 3DS path, CPU time per model face, 16x figures: at "
                    "most %.2f times (at most %.1f): %s\n",
                    worstGltf, kMaxGltfToThreeDs, Verdict(worstGltf <= kMaxGltfToThreeDs));
    }
    const Row& anims16 = rows[5];
    const Row& anims64 = rows[6];
    if (anims16.gltfSeconds > 0 && anims64.gltfSeconds > 0) {
        const double growth = anims64.gltfSeconds / anims16.gltfSeconds;
        std::printf("- glTF path with 4 times the keyframes x parts (64 x her animations against "
                    "16 x): %.2f times the time (at most %.1f), %.3f µs per added keyframe x "
                    "part: %s\n",
                    growth, kMaxGrowthFor4TimesTheAnimations,
                    (anims64.gltfSeconds - anims16.gltfSeconds) /
                        (anims64.keyframeParts - anims16.keyframeParts) * kMega,
                    Verdict(growth <= kMaxGrowthFor4TimesTheAnimations));
    }
    bool withinMemory = true;
    bool measured = false;
    for (const Row& row : rows) {
        if (row.peakBytes > 0) {
            measured = true;
            withinMemory = withinMemory && row.peakBytes <= row.MemoryLimit();
        }
    }
    if (measured) {
        std::printf("- peak memory at most the file size plus 16 MB on every level: %s\n",
                    Verdict(withinMemory));
    }
}
