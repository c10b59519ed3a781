#pragma once

#include <atomic>
#include <csignal>
#include <string>

struct KXRenderOptions;
class KXScene;

// What became of a raster image.
enum class RasterOutcome { Written, Stopped, Failed };

// Draws the scene through the image generator (off screen, by tiles when the
// image is larger than one render target) and writes options.outputPath.
// Tiled images report their progress on stderr unless options.quiet; a
// non-zero *interrupted stops the drawing between two tiles. An allocation
// that failed meanwhile (allocationFailed set, by the program's new handler)
// fails the image: the renderer leaves out what it finds no memory for, so
// the picture may lack parts of the scene. The image file appears only when
// it is complete: a stopped or failed image leaves no file behind and an
// existing file as it was. Failed comes with a message for the user.
RasterOutcome rasterRender(const KXScene& scene, const KXRenderOptions& options,
                           const volatile std::sig_atomic_t* interrupted, const std::atomic<bool>& allocationFailed,
                           std::string& error);
