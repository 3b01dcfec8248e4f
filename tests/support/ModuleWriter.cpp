#include "tests/support/ModuleWriter.h"

#include <cmath>
#include <cstring>
#include <numbers>

namespace tarvel::test {
namespace {

constexpr std::size_t kTitleBytes = 20;
constexpr std::size_t kSampleHeaders = 31;
constexpr std::size_t kSampleHeaderBytes = 30;
constexpr std::size_t kOrderEntries = 128;
constexpr std::size_t kRows = 64;
constexpr std::size_t kChannels = 4;
constexpr std::size_t kCellBytes = 4;
constexpr std::size_t kPatternBytes = kRows * kChannels * kCellBytes;
constexpr std::size_t kSampleWords = 512;  // 1024 bytes of 8-bit sample
constexpr std::uint8_t kVolume = 64;
constexpr std::uint8_t kRestart = 127;
constexpr std::uint8_t kEffectPatternBreak = 0xD;
constexpr std::uint8_t kEffectPositionJump = 0xB;
constexpr std::uint16_t kPeriods[4] = {428, 381, 339, 320};  // C-2, D-2, E-2, F-2

void PutBe16(std::vector<std::uint8_t>& b, std::uint16_t v) {
    b.push_back(static_cast<std::uint8_t>(v >> 8));
    b.push_back(static_cast<std::uint8_t>(v));
}

void SetCell(std::uint8_t* cell, int sample, std::uint16_t period, int effect, int param) {
    cell[0] = static_cast<std::uint8_t>((sample & 0xF0) | ((period >> 8) & 0x0F));
    cell[1] = static_cast<std::uint8_t>(period);
    cell[2] = static_cast<std::uint8_t>(((sample & 0x0F) << 4) | (effect & 0x0F));
    cell[3] = static_cast<std::uint8_t>(param);
}

}  // namespace

std::size_t ModPatternOffset() {
    return kTitleBytes + kSampleHeaders * kSampleHeaderBytes + 2 + kOrderEntries + 4;
}

std::size_t ModPatternBytes(const ModOptions& options) {
    return static_cast<std::size_t>(options.patterns * options.subsongs) * kPatternBytes;
}

std::vector<std::uint8_t> EncodeMod(const ModOptions& o) {
    std::vector<std::uint8_t> b(kTitleBytes, 0);
    std::memcpy(b.data(), "tarvel test", 11);
    for (std::size_t s = 0; s < kSampleHeaders; ++s) {
        b.insert(b.end(), 22, 0);  // name
        const bool used = s == 0;
        PutBe16(b, used ? kSampleWords : 0);
        b.push_back(0);  // finetune
        b.push_back(used ? kVolume : 0);
        PutBe16(b, 0);                        // loop start
        PutBe16(b, used ? kSampleWords : 1);  // loop length: the whole sample
    }
    const int total = o.patterns * o.subsongs;
    b.push_back(static_cast<std::uint8_t>(total));
    b.push_back(kRestart);
    for (std::size_t i = 0; i < kOrderEntries; ++i) {
        b.push_back(i < static_cast<std::size_t>(total) ? static_cast<std::uint8_t>(i) : 0);
    }
    b.insert(b.end(), {'M', '.', 'K', '.'});
    for (int p = 0; p < total; ++p) {
        std::vector<std::uint8_t> pat(kPatternBytes, 0);
        for (int row = 0; row < o.rowsPerPattern; row += 4) {
            const auto r = static_cast<std::size_t>(row);
            const std::size_t ch = (r / 4) % kChannels;
            SetCell(&pat[(r * kChannels + ch) * kCellBytes], 1,
                    kPeriods[(r / 4 + static_cast<std::size_t>(p)) % 4], 0, 0);
        }
        const auto last = static_cast<std::size_t>(o.rowsPerPattern - 1);
        if (o.rowsPerPattern < static_cast<int>(kRows)) {
            SetCell(&pat[(last * kChannels + 3) * kCellBytes], 0, 0, kEffectPatternBreak, 0);
        }
        if (o.subsongs > 1 && p % o.patterns == o.patterns - 1) {
            SetCell(&pat[(last * kChannels + 2) * kCellBytes], 0, 0, kEffectPositionJump,
                    p - (o.patterns - 1));
        }
        b.insert(b.end(), pat.begin(), pat.end());
    }
    // One cycle of a sine over the sample: a clean tone at any pitch.
    for (std::size_t i = 0; i < kSampleWords * 2; ++i) {
        const double v = std::sin(2.0 * std::numbers::pi * static_cast<double>(i) / 64.0);
        b.push_back(static_cast<std::uint8_t>(static_cast<std::int8_t>(std::lrint(v * 100.0))));
    }
    return b;
}

}  // namespace tarvel::test
