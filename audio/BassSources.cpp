// Opening and freeing sources: the stream, music and CD forms.
#include <string>

#include "audio/Engine.h"
#include "audio/bass.h"

using tarvel::audio::ChannelKind;
using tarvel::audio::CreateStream;
using tarvel::audio::Engine;

namespace {
// The engine's rate, used by music loads that ask for rate 0.
constexpr DWORD kDefaultMusicRate = 44100;
// Flags a source keeps: looping and decode-only; everything else only steers the opening.
constexpr DWORD kKeptFlags = BASS_SAMPLE_LOOP | BASS_STREAM_DECODE;
}  // namespace

HSTREAM BASS_StreamCreateFile(BOOL mem, const void* file, DWORD offset, DWORD length, DWORD flags) {
    if (!file) {
        return 0;
    }
    if (mem) {
        if (length == 0) {
            return 0;
        }
        const auto* data = static_cast<const std::uint8_t*>(file) + offset;
        return CreateStream(tarvel::audio::OpenStreamMemory(data, length), flags & kKeptFlags,
                            ChannelKind::Stream);
    }
    if (offset != 0 || length != 0) {
        return 0;  // parts of files are not opened
    }
    return CreateStream(tarvel::audio::OpenStreamFile(static_cast<const char*>(file)),
                        flags & kKeptFlags, ChannelKind::Stream);
}

HMUSIC BASS_MusicLoad(BOOL mem, const void* file, DWORD offset, DWORD length, DWORD flags,
                      DWORD freq) {
    if (!file || mem || offset != 0 || length != 0) {
        return 0;  // modules load from files only
    }
    const DWORD rate = freq == 0 ? kDefaultMusicRate : freq;
    return CreateStream(tarvel::audio::OpenMusicFile(static_cast<const char*>(file), rate,
                                                     (flags & BASS_MUSIC_RAMP) != 0),
                        flags & kKeptFlags, ChannelKind::Music);
}

HSTREAM BASS_CD_StreamCreateFile(const char* file, DWORD flags) {
    if (!file) {
        return 0;
    }
    return CreateStream(tarvel::audio::OpenCdTrack(file), flags & kKeptFlags, ChannelKind::Stream);
}

BOOL BASS_StreamFree(HSTREAM handle) {
    return Engine::instance().free(handle, true, false);
}

BOOL BASS_MusicFree(HMUSIC handle) {
    return Engine::instance().free(handle, false, true);
}
