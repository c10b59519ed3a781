#pragma once

#include <string>

// What the kxrender command line asks for.
struct KXRenderOptions {
    std::string scenePath;  // empty: the built-in showcase scene
    std::string outputPath; // its extension names the image format
    unsigned width = 1024;
    unsigned height = 768;
    bool reflections = false;
    bool raster = false; // draw through the canvas and the Direct3D renderer instead of tracing
    bool hasBackground = false; // a single-colour background replaces the scene's own
    unsigned char background[3] = {0, 0, 0}; // red, green, blue
    int cpus = 0;       // 0: every processor
    int quality = 90;   // JPEG quality
    bool quiet = false; // no progress on stderr
    bool help = false;
};

// Largest image side kxrender accepts.
constexpr unsigned KXRENDER_MAX_SIDE = 16384;

// Reads the arguments after the program name. False with a message for the
// user on a bad argument; --help sets help and needs nothing else.
bool parseRenderOptions(int argc, const char* const* argv, KXRenderOptions& options, std::string& error);

// The --help text.
std::string renderUsage();
