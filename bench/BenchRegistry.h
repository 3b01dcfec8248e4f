// Self-registering measurements for tarvel-bench. Each measurement is one bench_*.cpp file:
//
//   namespace {
//   int RunDecode(const std::vector<std::string>& args) { ...; return 0; }
//   }
//   TARVEL_BENCH(decode, "FILE", "decode speed through the engine and libmpg123", RunDecode)
//
// bench_main.cpp dispatches on the first argument; no central list needs editing.
#pragma once

#include <string>
#include <vector>

namespace tarvel::bench {

using BenchFn = int (*)(const std::vector<std::string>& args);

struct BenchEntry {
    std::string name;
    std::string usage;
    std::string summary;
    BenchFn run;
};

// Every registered measurement, in registration order.
std::vector<BenchEntry>& Registry();

struct Registrar {
    Registrar(const char* name, const char* usage, const char* summary, BenchFn run) {
        Registry().push_back({name, usage, summary, run});
    }
};

}  // namespace tarvel::bench

#define TARVEL_BENCH(name, usage, summary, fn) \
    static const ::tarvel::bench::Registrar tarvelBenchRegistrar_##name(#name, usage, summary, fn);
