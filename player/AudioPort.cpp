#include "player/AudioPort.h"

namespace tarvel {

QWORD BassAudioPort::ChannelGetLength(DWORD handle) {
    return BASS_ChannelGetLength(handle);
}
QWORD BassAudioPort::ChannelSeconds2Bytes(DWORD handle, float secs) {
    return BASS_ChannelSeconds2Bytes(handle, secs);
}
BOOL BassAudioPort::ChannelGetInfo(DWORD handle, BASS_CHANNELINFO* info) {
    return BASS_ChannelGetInfo(handle, info);
}
BOOL BassAudioPort::ChannelGetAttributes(DWORD handle, DWORD* freq, DWORD* volume, int* pan) {
    return BASS_ChannelGetAttributes(handle, freq, volume, pan);
}
BOOL BassAudioPort::ChannelSetAttributes(DWORD handle, int freq, int volume, int pan) {
    return BASS_ChannelSetAttributes(handle, freq, volume, pan);
}
DWORD BassAudioPort::ChannelIsActive(DWORD handle) {
    return BASS_ChannelIsActive(handle);
}
DWORD BassAudioPort::ChannelGetLevel(DWORD handle) {
    return BASS_ChannelGetLevel(handle);
}
QWORD BassAudioPort::ChannelGetPosition(DWORD handle) {
    return BASS_ChannelGetPosition(handle);
}
BOOL BassAudioPort::ChannelSetPosition(DWORD handle, QWORD pos) {
    return BASS_ChannelSetPosition(handle, pos);
}
DWORD BassAudioPort::ChannelGetData(DWORD handle, void* buffer, DWORD length) {
    return BASS_ChannelGetData(handle, buffer, length);
}
HSYNC BassAudioPort::ChannelSetSync(DWORD handle, DWORD type, QWORD param, SYNCPROC* proc,
                                    void* user) {
    return BASS_ChannelSetSync(handle, type, param, proc, user);
}
BOOL BassAudioPort::ChannelRemoveSync(DWORD handle, HSYNC sync) {
    return BASS_ChannelRemoveSync(handle, sync);
}
BOOL BassAudioPort::ChannelDecodeAhead(DWORD handle) {
    return BASS_ChannelDecodeAhead(handle);
}
HSTREAM BassAudioPort::StreamCreateFile(BOOL mem, const void* file, DWORD offset, DWORD length,
                                        DWORD flags) {
    return BASS_StreamCreateFile(mem, file, offset, length, flags);
}
HMUSIC BassAudioPort::MusicLoad(BOOL mem, const void* file, DWORD offset, DWORD length, DWORD flags,
                                DWORD freq) {
    return BASS_MusicLoad(mem, file, offset, length, flags, freq);
}
HSTREAM BassAudioPort::CdStreamCreateFile(const char* file, DWORD flags) {
    return BASS_CD_StreamCreateFile(file, flags);
}
BOOL BassAudioPort::StreamFree(HSTREAM handle) {
    return BASS_StreamFree(handle);
}
BOOL BassAudioPort::MusicFree(HMUSIC handle) {
    return BASS_MusicFree(handle);
}
HSTREAM BassAudioPort::FxTempoCreate(DWORD chan, DWORD flags) {
    return BASS_FX_TempoCreate(chan, flags);
}
BOOL BassAudioPort::FxTempoSetOption(DWORD chan, DWORD option, DWORD value) {
    return BASS_FX_TempoSetOption(chan, option, value);
}

AudioPort& DefaultAudioPort() {
    static BassAudioPort port;
    return port;
}

}  // namespace tarvel
