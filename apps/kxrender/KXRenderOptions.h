#pragma once

#include <string>

// What the kxrender command line asks for.
struct KXRenderOptions {
    std::string scenePath;  // empty (no scene or the word "showcase"): the built-in showcase scene
    std::string outputPath; // its extension names the image format
    unsigned width = 1024;
    unsigned height = 768;
    bool reflections = false;
    bool raster = false; // draw through the image generator and the Direct3D renderer instead of tracing
    bool antialias = false; // smooth edges of the raster picture (the ray tracer always does)
    bool hardShadows = false;     // --shadows hard: shadows on the floor plane (raster)
    bool softShadows = false;     // --shadows soft: blurred shadows on the floor plane (raster)
    bool floorReflection = false; // --reflection: the floor mirrors the scene (raster)
    bool editorAids = false;      // --aids: light markers, selection, handles and axes (raster)
    bool orthographic = false;    // --ortho: a parallel view in place of the scene's perspective one
    bool hasBackground = false; // a single-colour background replaces the scene's own
    unsigned char background[3] = {0, 0, 0}; // red, green, blue
    int cpus = 0;       // 0: every processor
    int quality = 90;   // JPEG quality
    bool qualityGiven = false; // --quality was on the command line
    bool quiet = false; // no progress on stderr
    bool help = false;
};

// Largest image side the ray tracer draws.
constexpr unsigned KXRENDER_MAX_SIDE = 16384;
// Largest image the image generator draws (--raster): each side, and the
// number of pixels (4 GiB of raw pixels).
constexpr unsigned KXRENDER_MAX_RASTER_SIDE = 65535;
constexpr unsigned long long KXRENDER_MAX_RASTER_PIXELS = 1ull << 30;

// The scene argument that names the built-in showcase scene, as no scene
// argument does. A file of that name is given with a directory: ./showcase.
constexpr const char* KXRENDER_SHOWCASE = "showcase";

// Reads the arguments after the program name. False with a message for the
// user on a bad argument; --help sets help and needs nothing else.
bool parseRenderOptions(int argc, const char* const* argv, KXRenderOptions& options, std::string& error);

// The --help text.
std::string renderUsage();
