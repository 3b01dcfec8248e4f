// A small 4-channel ProTracker module for tests: one looped sample, notes on a few rows, and a
// pattern break so the song is short. No module files ship with the tests.
#pragma once

#include <cstdint>
#include <vector>

namespace tarvel::test {

struct ModOptions {
    int patterns = 2;         // distinct patterns, each played once in order
    int rowsPerPattern = 16;  // a pattern break after this many rows (1..64)
    // Songs in the order list, each `patterns` long; every song's last row jumps back to its
    // first order, so a player that follows the order list never reaches the next song.
    int subsongs = 1;
};

// At the default speed (6 ticks of 20 ms per row) each row lasts 0.12 s.
inline constexpr double kModSecondsPerRow = 0.12;

std::vector<std::uint8_t> EncodeMod(const ModOptions& options = {});
// Byte offset and size of the pattern data in a module written by EncodeMod.
std::size_t ModPatternOffset();
std::size_t ModPatternBytes(const ModOptions& options);

}  // namespace tarvel::test
