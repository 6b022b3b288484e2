#pragma once
// The benchmarks' report: Google Benchmark's console lines go to standard
// error as the runs finish; at the end one markdown table goes to standard
// output, one row per benchmark level, followed by the targets met or missed.
//
// It reads the benchmarks by name, "<kind>/<level>", with the kinds "load",
// "convert", "write", "3ds", "gltf" and "run" (tarvik_bench.cpp), and takes
// the median of the repetitions when there are several.

#include <benchmark/benchmark.h>
#include <map>
#include <string>

class BenchTable : public benchmark::BenchmarkReporter {
public:
    explicit BenchTable(std::string note); // printed above the table
    bool ReportContext(const Context& context) override;
    void ReportRuns(const std::vector<Run>& runs) override;
    void Finalize() override;

private:
    benchmark::ConsoleReporter console_;
    std::map<std::string, Run> results_; // by benchmark name, the median when repeated
    int repetitions_ = 1;
    std::string machine_;
    std::string note_;
};
