#pragma once

#include <string>

class KXRawImage2D;
class KXScene;

// Draws one frame of the scene through the canvas and the Direct3D renderer
// on a hidden window of the image's size and reads it back into image.
// False with a message for the user when the device cannot render it.
bool rasterRender(KXScene& scene, unsigned width, unsigned height, KXRawImage2D& image, std::string& error);
