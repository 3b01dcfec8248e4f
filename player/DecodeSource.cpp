#include "player/DecodeSource.h"

namespace tarvel {

namespace {
constexpr BOOL kFromFile = 0;  // StreamCreateFile and MusicLoad: `file` is a path
}  // namespace

DecodeSource OpenDecodeSource(AudioPort& audio, const char* path, bool isCdTrack) {
    if (isCdTrack) {
        return {audio.CdStreamCreateFile(path, kSourceCdFlags), false};
    }
    const HSTREAM stream = audio.StreamCreateFile(kFromFile, path, 0, 0, kSourceStreamFlags);
    if (stream != 0) {
        return {stream, false};
    }
    const HMUSIC music = audio.MusicLoad(kFromFile, path, 0, 0, kSourceMusicFlags, 0);
    return {music, true};
}

void FreeDecodeSource(AudioPort& audio, DecodeSource source) {
    if (source.music) {
        audio.MusicFree(source.handle);
    } else {
        audio.StreamFree(source.handle);
    }
}

}  // namespace tarvel
