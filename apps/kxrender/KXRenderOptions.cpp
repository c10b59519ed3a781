#include "KXRenderOptions.h"

#include "sceneapi/KXFileUtils.h"
#include "sceneapi/KXImageUtils.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// A whole decimal number in [lo, hi]; nothing before or after it.
bool parseNumber(const char* text, long lo, long hi, long& value)
{
    if (!text || !*text || !std::strchr("0123456789", text[0]))
        return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtol(text, &end, 10);
    return errno == 0 && *end == '\0' && value >= lo && value <= hi;
}

bool parseSize(const char* text, unsigned& width, unsigned& height)
{
    const char* x = text ? std::strpbrk(text, "xX") : nullptr;
    if (!x)
        return false;
    const std::string w(text, x);
    long wv = 0, hv = 0;
    if (!parseNumber(w.c_str(), 1, KXRENDER_MAX_RASTER_SIDE, wv) ||
        !parseNumber(x + 1, 1, KXRENDER_MAX_RASTER_SIDE, hv))
        return false;
    width = static_cast<unsigned>(wv);
    height = static_cast<unsigned>(hv);
    return true;
}

// Three whole numbers from 0 to 255 separated by commas.
bool parseColor(const char* text, unsigned char rgb[3])
{
    std::string rest = text ? text : "";
    for (int i = 0; i < 3; ++i) {
        const size_t comma = rest.find(',');
        if ((i < 2) != (comma != std::string::npos))
            return false;
        const std::string part = rest.substr(0, comma);
        long value = 0;
        if (!parseNumber(part.c_str(), 0, 255, value))
            return false;
        rgb[i] = static_cast<unsigned char>(value);
        rest = comma == std::string::npos ? std::string() : rest.substr(comma + 1);
    }
    return true;
}

// The option that the switch (an option without a value) name turns on;
// null when name is not a switch.
bool* switchOf(KXRenderOptions& options, const std::string& name)
{
    if (name == "--reflections")
        return &options.reflections;
    if (name == "--raster")
        return &options.raster;
    if (name == "--antialias")
        return &options.antialias;
    if (name == "--reflection")
        return &options.floorReflection;
    if (name == "--ortho")
        return &options.orthographic;
    if (name == "--aids")
        return &options.editorAids;
    return nullptr;
}

} // namespace

bool parseRenderOptions(int argc, const char* const* argv, KXRenderOptions& options, std::string& error)
{
    options = KXRenderOptions();
    bool positionalOnly = false;
    std::string sceneArgument; // as given, "showcase" included
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        // Options with a value take it from the next argument or after '='.
        std::string name = arg, inlineValue;
        bool hasInlineValue = false;
        if (!positionalOnly && arg.rfind("--", 0) == 0 && arg.find('=') != std::string::npos) {
            name = arg.substr(0, arg.find('='));
            inlineValue = arg.substr(arg.find('=') + 1);
            hasInlineValue = true;
        }
        auto value = [&](const char*& out) {
            if (hasInlineValue) {
                out = inlineValue.c_str();
                return true;
            }
            if (i + 1 >= argc) {
                error = "option " + name + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        const char* text = nullptr;
        long number = 0;

        if (positionalOnly || arg.empty() || arg[0] != '-' || arg == "-") {
            if (!sceneArgument.empty()) {
                error = "only one scene file can be rendered at a time ('" + sceneArgument + "' and '" + arg + "')";
                return false;
            }
            sceneArgument = arg;
            options.scenePath = arg == KXRENDER_SHOWCASE ? std::string() : arg;
        } else if (arg == "--") {
            positionalOnly = true;
        } else if (name == "-h" || name == "--help") {
            options.help = true;
            return true;
        } else if (name == "-o" || name == "--output") {
            if (!value(text))
                return false;
            options.outputPath = text;
        } else if (name == "--size") {
            if (!value(text))
                return false;
            if (!parseSize(text, options.width, options.height)) {
                error = "--size wants WIDTHxHEIGHT with each side from 1 to " +
                        std::to_string(KXRENDER_MAX_RASTER_SIDE) + ", not '" + text + "'";
                return false;
            }
        } else if (bool* flag = switchOf(options, name)) {
            if (hasInlineValue) {
                error = name + " takes no value";
                return false;
            }
            *flag = true;
        } else if (name == "--shadows") {
            if (!value(text))
                return false;
            const std::string kind(text);
            if (kind != "hard" && kind != "soft") {
                error = "--shadows wants 'hard' or 'soft', not '" + kind + "'";
                return false;
            }
            options.hardShadows = kind == "hard";
            options.softShadows = kind == "soft";
        } else if (name == "--background") {
            if (!value(text))
                return false;
            if (!parseColor(text, options.background)) {
                error = "--background wants R,G,B with each from 0 to 255, not '" + std::string(text) + "'";
                return false;
            }
            options.hasBackground = true;
        } else if (name == "--cpus") {
            if (!value(text))
                return false;
            if (!parseNumber(text, 1, 4096, number)) {
                error = "--cpus wants a number of processors from 1 up, not '" + std::string(text) + "'";
                return false;
            }
            options.cpus = static_cast<int>(number);
        } else if (name == "--quality") {
            if (!value(text))
                return false;
            if (!parseNumber(text, 1, 100, number)) {
                error = "--quality wants a number from 1 to 100, not '" + std::string(text) + "'";
                return false;
            }
            options.quality = static_cast<int>(number);
            options.qualityGiven = true;
        } else if (name == "-q" || name == "--quiet") {
            options.quiet = true;
        } else {
            error = "unknown option '" + arg + "'";
            return false;
        }
    }

    // The size limit depends on the renderer, which may be chosen after
    // --size.
    if (!options.raster && (options.width > KXRENDER_MAX_SIDE || options.height > KXRENDER_MAX_SIDE)) {
        error = "the ray tracer draws at most " + std::to_string(KXRENDER_MAX_SIDE) + " pixels a side, not " +
                std::to_string(options.width) + "x" + std::to_string(options.height) +
                " (--raster draws larger images)";
        return false;
    }
    if (options.raster &&
        static_cast<unsigned long long>(options.width) * options.height > KXRENDER_MAX_RASTER_PIXELS) {
        error = "--raster draws at most " + std::to_string(KXRENDER_MAX_RASTER_PIXELS) + " pixels (2^30), not " +
                std::to_string(options.width) + "x" + std::to_string(options.height);
        return false;
    }
    if (options.outputPath.empty()) {
        error = "no output file: give one with -o FILE (.png, .jpg or .bmp)";
        return false;
    }
    std::wstring widePath;
    if (!KXFileUtils::fromNativePath(options.outputPath.c_str(), widePath) ||
        KXImageUtils::getFileTypeFromExtension(widePath.c_str()) == KXImage2D::KXIMAGE2D_UNKNOWN) {
        error = "cannot tell the image format of '" + options.outputPath + "': end its name in .png, .jpg or .bmp";
        return false;
    }
    return true;
}

std::string renderUsage()
{
    return "Usage: kxrender [SCENE.gltf|SCENE.glb|showcase] -o IMAGE [options]\n"
           "\n"
           "Ray traces a glTF 2.0 scene, or the built-in showcase scene when no scene\n"
           "(or the word 'showcase') is given, and writes the image; with --raster it\n"
           "draws the scene through the Direct3D renderer instead. The image format\n"
           "follows the extension of IMAGE: .png, .jpg (.jpeg) or .bmp (also .tga,\n"
           ".ppm, .hdr, .pfm, .dds).\n"
           "\n"
           "Options:\n"
           "  -o, --output IMAGE   the image file to write (required)\n"
           "      --size WxH       image size in pixels (default 1024x768); up to 16384\n"
           "                       a side for the ray tracer, up to 65535 a side and\n"
           "                       2^30 pixels in all with --raster\n"
           "      --raster         draw with the Direct3D renderer off screen, in tiles\n"
           "                       when the image is larger than one render target\n"
           "      --antialias      smooth the edges of the --raster image (the ray\n"
           "                       tracer always does: there it changes nothing)\n"
           "      --shadows hard|soft\n"
           "                       hard or blurred shadows on the floor plane, cast\n"
           "                       by the scene's first directional light (--raster\n"
           "                       only)\n"
           "      --reflection     the floor mirrors the scene (--raster only)\n"
           "      --ortho          a parallel view from the scene camera's place,\n"
           "                       as high at its target as the perspective view\n"
           "      --aids           the editor's aids over the picture: the lights\n"
           "                       marked, the first shape selected with its move\n"
           "                       handles, the axes in the corner (--raster only)\n"
           "      --background R,G,B\n"
           "                       a single-colour background instead of the\n"
           "                       scene's own (each component 0 to 255)\n"
           "      --reflections    trace mirror reflections (ray tracer only)\n"
           "      --cpus N         trace on N processors, two threads each\n"
           "                       (default: every processor; ray tracer only)\n"
           "      --quality Q      JPEG quality from 1 to 100 (default 90; 95 with\n"
           "                       --raster, where a quality given costs a copy of\n"
           "                       the picture in memory)\n"
           "  -q, --quiet          no progress report on stderr\n"
           "  -h, --help           show this help and exit\n"
           "\n"
           "Ctrl-C stops the trace and still writes what was drawn so far; with\n"
           "--raster it stops between two tiles and writes nothing. While the\n"
           "scene loads it stops the program and writes nothing.\n"
           "Exit status: 0 done, 1 the scene or image could not be read, drawn or\n"
           "written, 2 bad arguments, 130 stopped by Ctrl-C.\n";
}
