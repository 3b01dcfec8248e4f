// The ".cda" stub parser, and the CD decoder opened from the stub against a small disc image
// written once at start-up.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include <cdio/logging.h>

#include "audio/cd/CdDevice.h"
#include "audio/cd/CdSectorReader.h"
#include "audio/cd/CdaStub.h"
#include "fuzz/FuzzInput.h"

namespace {

constexpr std::uint32_t kTrackSectors[] = {20, 7, 33};

// Two-track-plus image in a private temp folder: raw sectors of a simple pattern.
void WriteImage() {
    const auto dir =
        std::filesystem::temp_directory_path() / ("tarvel-fuzz-cd-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream bin(dir / "disc.bin", std::ios::binary);
    std::ofstream cue(dir / "disc.cue");
    cue << "FILE \"disc.bin\" BINARY\n";
    std::uint32_t sector = 0;
    int track = 1;
    for (const std::uint32_t n : kTrackSectors) {
        std::vector<char> bytes(n * tarvel::audio::kCdSectorBytes, static_cast<char>(track));
        bin.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        cue << "  TRACK 0" << track << " AUDIO\n    INDEX 01 00:" << (sector / 75 < 10 ? "0" : "")
            << sector / 75 << ':' << (sector % 75 < 10 ? "0" : "") << sector % 75 << "\n";
        sector += n;
        ++track;
    }
    tarvel::audio::SetCdDeviceOverride((dir / "disc.cue").string());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    cdio_loglevel_default = CDIO_LOG_ERROR;  // the short test tracks draw pregap warnings
    WriteImage();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!tarvel::audio::ParseCdaStub(data, size)) {
        return 0;
    }
    const tarvel::fuzz::MemoryFile file(data, size);
    if (auto d = tarvel::audio::OpenCdTrack(file.path())) {
        tarvel::fuzz::Exercise(*d);
    }
    return 0;
}
