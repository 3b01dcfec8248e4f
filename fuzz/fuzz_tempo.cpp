// The tempo path as the player drives it: open like LOAD (stream, then module), wrap the source in
// a tempo stream, change the speed while reading, seek, and go back to normal speed. Any rate or
// channel count a header claims reaches the stretcher this way.
#include <array>
#include <cstdint>
#include <vector>

#include "audio/bass.h"
#include "fuzz/FuzzInput.h"

namespace {
// Tempo changes the speed box can ask for (percent minus 100), picked by the input's last byte.
constexpr std::array<float, 6> kTempos = {-50.0f, -25.0f, 0.0f, 50.0f, 100.0f, 300.0f};
constexpr DWORD kReadBytes = 10240;
constexpr int kReadsPerStep = 4;

void ReadSome(DWORD handle, std::vector<std::uint8_t>& buf) {
    for (int i = 0; i < kReadsPerStep; ++i) {
        const DWORD got = BASS_ChannelGetData(handle, buf.data(), kReadBytes);
        if (got == 0 || got == BASS_ERROR_DWORD) {
            return;
        }
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const tarvel::fuzz::MemoryFile file(data, size);
    const std::string path = file.path();
    DWORD source = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_DECODE);
    if (source == 0) {
        source = BASS_MusicLoad(0, path.c_str(), 0, 0,
                                BASS_MUSIC_DECODE | BASS_MUSIC_PRESCAN | BASS_MUSIC_RAMP, 0);
    }
    if (source == 0) {
        return 0;
    }
    const DWORD tempo =
        BASS_FX_TempoCreate(source, BASS_FX_FREESOURCE | BASS_SAMPLE_LOOP | BASS_STREAM_DECODE);
    if (tempo == 0) {
        BASS_StreamFree(source);
        BASS_MusicFree(source);
        return 0;
    }
    BASS_CHANNELINFO info{};
    BASS_ChannelGetInfo(tempo, &info);
    std::vector<std::uint8_t> buf(kReadBytes);
    ReadSome(tempo, buf);
    BASS_FX_TempoSet(tempo, kTempos[data[size - 1] % kTempos.size()], static_cast<float>(info.freq),
                     0.0f);
    BASS_FX_TempoSetOption(tempo, BASS_FX_TEMPO_OPTION_SEQUENCE_MS, 32);
    BASS_FX_TempoSetOption(tempo, BASS_FX_TEMPO_OPTION_SEEKWINDOW_MS, 20);
    ReadSome(tempo, buf);
    const QWORD length = BASS_ChannelGetLength(tempo);
    if (length != BASS_ERROR_QWORD) {
        BASS_ChannelSetPosition(tempo, length / 2);
        ReadSome(tempo, buf);
    }
    BASS_FX_TempoSet(tempo, 0.0f, static_cast<float>(info.freq), 0.0f);
    ReadSome(tempo, buf);
    BASS_ChannelGetPosition(tempo);
    BASS_StreamFree(tempo);
    return 0;
}
