// The hidden module buttons in the top strip: each names a module program that this player does
// not launch; a click only tells whether the program file exists in the current folder.
#pragma once

#include <array>

namespace tarvel {

struct ModuleButton {
    const char* caption;
    const char* program;
};

inline constexpr int kModuleButtonCount = 8;
inline constexpr std::array<ModuleButton, kModuleButtonCount> kModuleButtons{{
    {"四　択　問　題", "P1.exe"},
    {"デ ィ ク テ ー シ ョ ン", "P2.exe"},
    {"リ　ス　ニ　ン　グ", "P3.exe"},
    {"速　　読", "P4.exe"},
    {"音　声　編　集", "P5.exe"},
    {"記　録　一　覧", "P6.exe"},
    {"問　題　自　作", "P7.exe"},
    {"設　　定", "P8.exe"},
}};

}  // namespace tarvel
