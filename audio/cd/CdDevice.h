// Which CD drive (or disc image) a ".cda" stub is read from.
//
// A stub lives on the file system of the disc it describes, so the drive is the device mounted
// where the stub is; failing that, the system's default CD drive. Tests point the reader at a
// BIN/CUE image instead through SetCdDeviceOverride. Called from any thread.
#pragma once

#include <cdio/cdio.h>

#include <memory>
#include <string>

namespace tarvel::audio {

struct CdIoCloser {
    void operator()(CdIo_t* p) const { cdio_destroy(p); }
};
using CdIoPtr = std::unique_ptr<CdIo_t, CdIoCloser>;

// Test seam: a ".cue" (or ".bin") path that every later OpenCdDevice uses instead of a drive;
// an empty string returns to real drives.
void SetCdDeviceOverride(std::string cueOrBinPath);

// The drive holding `stubPath`'s file system, else the default drive; null if there is none.
CdIoPtr OpenCdDevice(const std::string& stubPath);

// The block device mounted at the file system holding `path` ("/dev/sr0"), or empty.
std::string MountSourceOf(const std::string& path);

}  // namespace tarvel::audio
