#include "audio/cd/CdDevice.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <fstream>
#include <mutex>
#include <sstream>

namespace tarvel::audio {
namespace {

// The seam is process-wide by nature (tests set it before opening); the mutex keeps a test's
// change from racing a scan thread's open.
struct Override {
    std::mutex mutex;
    std::string path;
};

Override& TheOverride() {
    static Override o;
    return o;
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// mountinfo escapes blanks and backslashes in paths as octal (\040).
std::string Unescape(const std::string& s) {
    constexpr std::size_t kOctalDigits = 3;
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + kOctalDigits < s.size()) {
            const std::string oct = s.substr(i + 1, kOctalDigits);
            if (oct.find_first_not_of("01234567") == std::string::npos) {
                out += static_cast<char>(std::stoi(oct, nullptr, 8));
                i += kOctalDigits;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

}  // namespace

void SetCdDeviceOverride(std::string cueOrBinPath) {
    auto& o = TheOverride();
    const std::lock_guard lock(o.mutex);
    o.path = std::move(cueOrBinPath);
}

std::string MountSourceOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return {};
    }
    const unsigned wantMajor = major(st.st_dev);
    const unsigned wantMinor = minor(st.st_dev);
    std::ifstream info("/proc/self/mountinfo");
    std::string line;
    while (std::getline(info, line)) {
        // id parent major:minor root mountpoint options [optional...] - fstype source superopts
        std::istringstream in(line);
        std::string id, parent, devno;
        in >> id >> parent >> devno;
        unsigned maj = 0, min = 0;
        char colon = 0;
        std::istringstream dn(devno);
        if (!(dn >> maj >> colon >> min) || maj != wantMajor || min != wantMinor) {
            continue;
        }
        const auto dash = line.find(" - ");
        if (dash == std::string::npos) {
            continue;
        }
        std::istringstream tail(line.substr(dash + 3));
        std::string fstype, source;
        tail >> fstype >> source;
        return Unescape(source);
    }
    return {};
}

CdIoPtr OpenCdDevice(const std::string& stubPath) {
    std::string image;
    {
        auto& o = TheOverride();
        const std::lock_guard lock(o.mutex);
        image = o.path;
    }
    if (!image.empty()) {
        return CdIoPtr(
            cdio_open(image.c_str(), EndsWith(image, ".cue") ? DRIVER_BINCUE : DRIVER_UNKNOWN));
    }
    const std::string source = MountSourceOf(stubPath);
    if (!source.empty() && cdio_is_device(source.c_str(), DRIVER_DEVICE)) {
        if (CdIoPtr p{cdio_open(source.c_str(), DRIVER_DEVICE)}) {
            return p;
        }
    }
    // Null source: libcdio's default drive.
    return CdIoPtr(cdio_open(nullptr, DRIVER_DEVICE));
}

}  // namespace tarvel::audio
