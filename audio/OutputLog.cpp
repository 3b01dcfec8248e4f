#include "audio/OutputLog.h"

#include <cstdio>
#include <cstdlib>

namespace tarvel::audio {

namespace {
constexpr double kNsPerMs = 1e6;

// Read on the thread that opens the output, which is also the only one that changes the
// environment (at start-up, before any output opens).
bool EnabledByEnvironment() {
    const char* v = std::getenv("TARVEL_OUTPUT_LOG");  // NOLINT(concurrency-mt-unsafe)
    return v != nullptr && *v != '\0' && *v != '0';
}
}  // namespace

OutputLog::OutputLog(std::uint64_t periodNs) : OutputLog(EnabledByEnvironment(), periodNs) {}

void OutputLog::check(CallbackStats& stats, std::uint64_t passNs) {
    if (!enabled_) {
        return;
    }
    const std::uint64_t underruns = stats.underruns();
    if (underruns < underruns_) {
        underruns_ = 0;  // the figures were reset
    }
    if (underruns > underruns_) {
        std::fprintf(stderr, "tarvel-player: output: ring short %llu time(s)\n",
                     static_cast<unsigned long long>(underruns - underruns_));
        underruns_ = underruns;
    }
    const std::uint64_t gap = stats.takeRecentGapNs();
    if (gap > lateNs_) {
        std::fprintf(stderr, "tarvel-player: output: %.1f ms between two device calls\n",
                     static_cast<double>(gap) / kNsPerMs);
    }
    if (passNs >= kLongPassNs) {
        std::fprintf(stderr, "tarvel-player: output: render pass took %.1f ms\n",
                     static_cast<double>(passNs) / kNsPerMs);
    }
    std::fflush(stderr);
}

}  // namespace tarvel::audio
