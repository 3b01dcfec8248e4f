#include "audio/decoders/ContainerSniff.h"

#include <array>
#include <cstring>
#include <string_view>

namespace tarvel::audio {
namespace {

// Magic numbers at offset 0 of the other containers libsndfile reads: RIFX/RF64/BW64 WAV,
// AIFF/AIFC (FORM), Sun/NeXT AU (both byte orders), Sony Wave64, Apple CAF, NIST SPHERE,
// Creative VOC. A plain "RIFF" may hold any WAV coding and is told apart below.
constexpr std::array<std::string_view, 10> kOtherMagic = {
    "RIFX", "RF64", "BW64", "FORM", ".snd",
    "dns.", "riff", "caff", "NIST", "Creative Voice File\x1A"};

constexpr std::size_t kOggPageHeaderBytes = 27;
constexpr std::size_t kOggSegmentCountAt = 26;

bool Has(const std::uint8_t* p, std::size_t size, std::string_view magic) {
    return size >= magic.size() && std::memcmp(p, magic.data(), magic.size()) == 0;
}

Container SniffOgg(const std::uint8_t* head, std::size_t size) {
    if (size <= kOggSegmentCountAt) {
        return Container::kOggOther;
    }
    const std::size_t packet = kOggPageHeaderBytes + head[kOggSegmentCountAt];
    if (packet >= size) {
        return Container::kOggOther;
    }
    const std::uint8_t* p = head + packet;
    const std::size_t left = size - packet;
    if (Has(p, left, std::string_view("\x01vorbis", 7))) {
        return Container::kOggVorbis;
    }
    if (Has(p, left,
            std::string_view("\x7F"
                             "FLAC",
                             5))) {
        return Container::kOggFlac;
    }
    return Container::kOggOther;
}

}  // namespace

Container SniffContainer(const std::uint8_t* head, std::size_t size) {
    if (head == nullptr) {
        return Container::kUnknown;
    }
    if (Has(head, size, "RIFF")) {
        return size >= 12 && std::memcmp(head + 8, "WAVE", 4) == 0 ? Container::kRiffWave
                                                                   : Container::kOther;
    }
    if (Has(head, size, "fLaC")) {
        return Container::kFlac;
    }
    if (Has(head, size, "OggS")) {
        return SniffOgg(head, size);
    }
    for (const auto magic : kOtherMagic) {
        if (Has(head, size, magic)) {
            return Container::kOther;
        }
    }
    return Container::kUnknown;
}

}  // namespace tarvel::audio
