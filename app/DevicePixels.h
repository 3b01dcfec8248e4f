// The window is drawn in device pixels: 890 x 73, captions in 8-point Tahoma at 96 dpi. Neither
// the environment's scale factors nor the screen's reported resolution may rescale it.
#pragma once

namespace tarvel {

// Call before the application object is created.
void UseDevicePixels();

}  // namespace tarvel
