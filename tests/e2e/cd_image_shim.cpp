// Preloaded into the player by the end-to-end tests: the program reads ".cda" tracks from a real
// drive and has no way to be pointed at a disc image from outside, so this library answers
// libcdio's request for a drive with the BIN/CUE image named by $TARVEL_E2E_CD_IMAGE.
// Every other open goes to libcdio unchanged.
#include <cdio/cdio.h>
#include <dlfcn.h>

#include <cstdlib>

namespace {

using OpenFn = CdIo_t* (*)(const char*, driver_id_t);

OpenFn RealOpen() {
    static const auto fn = reinterpret_cast<OpenFn>(dlsym(RTLD_NEXT, "cdio_open"));
    return fn;
}

}  // namespace

extern "C" CdIo_t* cdio_open(const char* source, driver_id_t driver) {
    const OpenFn real = RealOpen();
    if (real == nullptr) {
        return nullptr;
    }
    const char* image = std::getenv("TARVEL_E2E_CD_IMAGE");
    if (image != nullptr && *image != '\0' && driver == DRIVER_DEVICE) {
        return real(image, DRIVER_BINCUE);
    }
    return real(source, driver);
}
