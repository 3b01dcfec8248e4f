// Writes the seed corpus for the fuzz targets: one folder per target with a few tiny, valid
// inputs made by the test helpers (WAV in several sample formats, layer 1 MPEG, a module, stubs).
#include <filesystem>
#include <iostream>

#include "tests/support/DiscImage.h"
#include "tests/support/ModuleWriter.h"
#include "tests/support/Mp1Writer.h"
#include "tests/support/TestAudio.h"

namespace fs = std::filesystem;
using namespace tarvel::test;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_seeds DIR\n";
        return 2;
    }
    const fs::path root = argv[1];
    for (const char* t :
         {"fuzz_sndfile", "fuzz_flac", "fuzz_vorbis", "fuzz_memory_wav", "fuzz_mpeg", "fuzz_module",
          "fuzz_cda", "fuzz_stream_file", "fuzz_tempo"}) {
        fs::create_directories(root / t);
    }
    const Pcm stereo = MakeSine(8000, 2, 64, 440.0);
    const Pcm mono = MakeRamp(11025, 1, 50);
    int n = 0;
    for (const WavFormat f : {WavFormat::kU8, WavFormat::kS16, WavFormat::kS24, WavFormat::kS32,
                              WavFormat::kFloat32, WavFormat::kFloat64}) {
        for (const bool ext : {false, true}) {
            const auto image = EncodeWav(n % 2 ? mono : stereo, {f, ext, n % 3 == 0});
            const std::string name = "wav" + std::to_string(n++);
            WriteBytes(root / "fuzz_sndfile" / name, image);
            WriteBytes(root / "fuzz_memory_wav" / name, image);
            WriteBytes(root / "fuzz_stream_file" / name, image);
        }
    }
    WriteBytes(root / "fuzz_mpeg" / "mp1_stereo", EncodeMp1Tone({44100, 2, 6, 3, 0.5}));
    WriteBytes(root / "fuzz_mpeg" / "mp1_mono", EncodeMp1Tone({32000, 1, 5, 7, 0.3}));
    WriteBytes(root / "fuzz_stream_file" / "mp1", EncodeMp1Tone({48000, 2, 5, 2, 0.5}));
    WriteBytes(root / "fuzz_module" / "mod", EncodeMod({1, 4}));
    WriteBytes(root / "fuzz_module" / "mod_songs", EncodeMod({1, 4, 3}));
    // The tempo path: ordinary shapes and the ones the stretcher cannot take as they are.
    struct Shape {
        std::uint32_t rate;
        std::uint32_t channels;
    };
    for (const Shape s : {Shape{8000, 2}, Shape{44100, 1}, Shape{192000, 2}, Shape{352800, 2},
                          Shape{384000, 1}, Shape{44100, 6}, Shape{44100, 16}, Shape{22050, 17}}) {
        const std::string name = "wav_" + std::to_string(s.rate) + "_" + std::to_string(s.channels);
        WriteBytes(root / "fuzz_tempo" / name,
                   EncodeWav(MakeSine(s.rate, s.channels, 1024, 440.0)));
    }
    WriteBytes(root / "fuzz_tempo" / "mp1", EncodeMp1Tone({44100, 2, 6, 3, 0.5}));
    WriteBytes(root / "fuzz_tempo" / "mod", EncodeMod({1, 4}));
    for (int track = 1; track <= 4; ++track) {
        WriteBytes(root / "fuzz_cda" / ("track" + std::to_string(track)),
                   EncodeCdaStub(track, 0, 10));
    }
    return 0;
}
