#include "tests/support/DiscImage.h"

#include "tests/support/ByteWriter.h"

#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace tarvel::test {
namespace {

constexpr std::uint32_t kSectorsPerSecond = 75;
constexpr std::uint32_t kSecondsPerMinute = 60;
constexpr std::uint32_t kCdaRiffSize = 36;
constexpr std::uint32_t kCdaFmtSize = 24;
constexpr std::uint16_t kCdaVersion = 1;

// Frame in the low byte, then second, then minute.
std::uint32_t Msf(std::uint32_t sectors) {
    const std::uint32_t frame = sectors % kSectorsPerSecond;
    const std::uint32_t seconds = sectors / kSectorsPerSecond;
    return frame | ((seconds % kSecondsPerMinute) << 8) | ((seconds / kSecondsPerMinute) << 16);
}

std::string CueTime(std::uint32_t sector) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02u:%02u:%02u", sector / kSectorsPerSecond / 60,
                  sector / kSectorsPerSecond % 60, sector % kSectorsPerSecond);
    return buf;
}

}  // namespace

DiscImage WriteDiscImage(const std::filesystem::path& dir, const std::vector<Pcm>& tracks,
                         const std::string& name) {
    DiscImage disc;
    disc.bin = dir / (name + ".bin");
    disc.cue = dir / (name + ".cue");
    std::ofstream bin(disc.bin, std::ios::binary | std::ios::trunc);
    std::ofstream cue(disc.cue, std::ios::trunc);
    cue << "FILE \"" << disc.bin.filename().string() << "\" BINARY\n";
    std::uint32_t sector = 0;
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const Pcm& pcm = tracks[i];
        if (pcm.rate != 44100 || pcm.channels != 2) {
            throw std::invalid_argument("CD tracks are 44.1 kHz stereo");
        }
        DiscTrack t;
        t.number = static_cast<int>(i + 1);
        t.firstSector = sector;
        t.sectors =
            static_cast<std::uint32_t>((pcm.frames() + kCdSectorFrames - 1) / kCdSectorFrames);
        t.bytes.assign(static_cast<std::size_t>(t.sectors) * kCdSectorBytes, 0);
        for (std::size_t s = 0; s < pcm.samples.size(); ++s) {
            const auto u = static_cast<std::uint16_t>(pcm.samples[s]);
            t.bytes[2 * s] = static_cast<std::uint8_t>(u);
            t.bytes[2 * s + 1] = static_cast<std::uint8_t>(u >> 8);
        }
        bin.write(reinterpret_cast<const char*>(t.bytes.data()),
                  static_cast<std::streamsize>(t.bytes.size()));
        char num[8];
        std::snprintf(num, sizeof num, "%02d", t.number);
        cue << "  TRACK " << num << " AUDIO\n    INDEX 01 " << CueTime(sector) << "\n";
        sector += t.sectors;
        disc.tracks.push_back(std::move(t));
    }
    if (!bin || !cue) {
        throw std::runtime_error("cannot write the disc image in " + dir.string());
    }
    return disc;
}

std::vector<std::uint8_t> EncodeCdaStub(int track, std::uint32_t firstSector, std::uint32_t sectors,
                                        std::uint32_t serial) {
    std::vector<std::uint8_t> b;
    PutTag(b, "RIFF");
    Put32(b, kCdaRiffSize);
    PutTag(b, "CDDA");
    PutTag(b, "fmt ");
    Put32(b, kCdaFmtSize);
    Put16(b, kCdaVersion);
    Put16(b, static_cast<std::uint16_t>(track));
    Put32(b, serial);
    Put32(b, firstSector);
    Put32(b, sectors);
    Put32(b, Msf(firstSector + kCdPregapSectors));
    Put32(b, Msf(sectors));
    return b;
}

void WriteCdaStub(const std::filesystem::path& path, const DiscTrack& track) {
    WriteBytes(path, EncodeCdaStub(track.number, track.firstSector, track.sectors));
}

}  // namespace tarvel::test
