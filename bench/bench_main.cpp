// tarvel-bench: runs one registered measurement, named by the first argument.
#include <cstdio>
#include <string>
#include <vector>

#include "bench/BenchRegistry.h"

namespace tarvel::bench {

std::vector<BenchEntry>& Registry() {
    static std::vector<BenchEntry> entries;
    return entries;
}

}  // namespace tarvel::bench

namespace {
void PrintUsage() {
    std::fprintf(stderr, "usage: tarvel-bench MEASUREMENT ARGS...\n");
    for (const auto& e : tarvel::bench::Registry()) {
        std::fprintf(stderr, "  %s %s\n      %s\n", e.name.c_str(), e.usage.c_str(),
                     e.summary.c_str());
    }
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage();
        return 2;
    }
    const std::string name = argv[1];
    for (const auto& e : tarvel::bench::Registry()) {
        if (e.name == name) {
            return e.run(std::vector<std::string>(argv + 2, argv + argc));
        }
    }
    std::fprintf(stderr, "unknown measurement '%s'\n", name.c_str());
    PrintUsage();
    return 2;
}
