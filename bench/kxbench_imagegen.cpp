// Converts the showcase scene with the image generator and prints how long
// the conversion took (rendering, encoding and writing the file) and the
// process's peak memory:
//
//   RESULT imagegen size=<w>x<h> maker=<simple|cpu|gpu> ms=<v> peak_rss_mb=<v>
//
// With --frames it renders the same number of pixels as single 1024 x 1024
// frames instead, through a generator no larger than one frame (one pass),
// each encoded in memory: the baseline a tiled picture is compared with.
//
//   RESULT imagegen_frames size=<w>x<h> frames=<n> ms=<v> peak_rss_mb=<v>
//
//   kxbench_imagegen [--size WxH] [--threads N] [--format png|jpg|bmp] [--antialias] [--frames]

#include "imagegen/KXImageMaker.h"
#include "imagegen/KXImgGen.h"
#include "renderer/KXResult.h"
#include "renderer/dx/KXDXDevice.h"
#include "sceneapi/KXFileUtils.h"
#include "sceneapi/KXImage2D.h"
#include "sceneapi/KXScene.h"
#include "sceneapi/KXShowcaseScene.h"

#include <swd3d9.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr unsigned kFrameSide = 1024;

struct Options {
    unsigned width = 8192;
    unsigned height = 8192;
    unsigned threads = 0; // 0: every processor
    std::string format = "png";
    bool antialias = false;
    bool frames = false;
};

bool parseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--size" && hasValue) {
            if (std::sscanf(argv[++i], "%ux%u", &options.width, &options.height) != 2 || options.width == 0 ||
                options.height == 0)
                return false;
        } else if (arg == "--threads" && hasValue) {
            const int threads = std::atoi(argv[++i]);
            if (threads < 1)
                return false;
            options.threads = static_cast<unsigned>(threads);
        } else if (arg == "--format" && hasValue) {
            options.format = argv[++i];
            if (options.format != "png" && options.format != "jpg" && options.format != "bmp")
                return false;
        } else if (arg == "--antialias") {
            options.antialias = true;
        } else if (arg == "--frames") {
            options.frames = true;
        } else {
            return false;
        }
    }
    return true;
}

KXImage2D::KXIMAGE2DFILETYPE fileTypeOf(const std::string& format)
{
    if (format == "jpg")
        return KXImage2D::KXIMAGE2D_JPG;
    if (format == "bmp")
        return KXImage2D::KXIMAGE2D_BMP;
    return KXImage2D::KXIMAGE2D_PNG;
}

// Every thread the process starts later inherits the first `threads`
// processors it may use (OpenMP's default team size follows them too).
void limitProcessors(unsigned threads)
{
    cpu_set_t allowed;
    if (threads == 0 || sched_getaffinity(0, sizeof allowed, &allowed) != 0)
        return;
    cpu_set_t chosen;
    CPU_ZERO(&chosen);
    unsigned count = 0;
    for (int cpu = 0; cpu < CPU_SETSIZE && count < threads; ++cpu)
        if (CPU_ISSET(cpu, &allowed)) {
            CPU_SET(cpu, &chosen);
            ++count;
        }
    sched_setaffinity(0, sizeof chosen, &chosen);
}

// The software device starts as many drawing threads as the machine has
// processors, whatever the affinity: its own setting limits them.
bool limitDeviceThreads(KXImgGen& generator, unsigned threads)
{
    if (threads == 0)
        return true;
    auto* device = dynamic_cast<KXDXDevice*>(generator.getDevice());
    return device && device->getD3DDevice() &&
           SUCCEEDED(SwD3D9SetRasterThreadCount(device->getD3DDevice(), threads));
}

double peakRssMb()
{
    if (FILE* status = std::fopen("/proc/self/status", "r")) {
        char line[256];
        long kb = -1;
        while (std::fgets(line, sizeof line, status))
            if (std::sscanf(line, "VmHWM: %ld kB", &kb) == 1)
                break;
        std::fclose(status);
        if (kb >= 0)
            return kb / 1024.0;
    }
    rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

const char* makerName(const KXImageMaker* maker)
{
    if (!maker)
        return "none";
    switch (maker->getMakerType()) {
    case KXImageMaker::KXMAKER_SIMPLE:
        return "simple";
    case KXImageMaker::KXMAKER_CPU:
        return "cpu";
    case KXImageMaker::KXMAKER_GPU:
        return "gpu";
    }
    return "unknown";
}

double elapsedMs(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// The whole picture written to a temporary file, deleted after.
int convertPicture(const Options& options)
{
    KXScene scene;
    KXShowcaseScene::build(scene, options.width, options.height);
    const KXDimension2D dimension(static_cast<float>(options.width), static_cast<float>(options.height));
    KXImgGen generator(dimension, options.antialias ? 1 : 0);
    if (generator.initialize() != KXRESULT_OK || !limitDeviceThreads(generator, options.threads)) {
        std::fprintf(stderr, "kxbench_imagegen: the image generator cannot start\n");
        return 1;
    }

    std::string path = "/tmp/kxbench_imagegen_XXXXXX." + options.format;
    const int fd = mkstemps(&path[0], static_cast<int>(options.format.size() + 1));
    if (fd < 0) {
        std::fprintf(stderr, "kxbench_imagegen: cannot make a temporary file\n");
        return 1;
    }
    close(fd);
    std::wstring widePath;
    KXFileUtils::fromNativePath(path.c_str(), widePath);

    const auto start = std::chrono::steady_clock::now();
    const int result = generator.convertToFile(&scene, widePath.c_str(), fileTypeOf(options.format),
                                               KXPosition2D(0.0f, 0.0f), dimension, nullptr, nullptr);
    const double ms = elapsedMs(start);
    unlink(path.c_str());
    if (result != KXRESULT_OK) {
        std::fprintf(stderr, "kxbench_imagegen: the conversion failed (%d)\n", result);
        return 1;
    }
    std::printf("RESULT imagegen size=%ux%u maker=%s ms=%.1f peak_rss_mb=%.1f\n", options.width, options.height,
                makerName(generator.getLastMaker()), ms, peakRssMb());
    return 0;
}

// As many 1024 x 1024 frames as the picture has pixels, each rendered in one
// pass and encoded in memory.
int convertFrames(const Options& options)
{
    const unsigned long long pixels = static_cast<unsigned long long>(options.width) * options.height;
    const unsigned long long framePixels = static_cast<unsigned long long>(kFrameSide) * kFrameSide;
    const unsigned frames = static_cast<unsigned>((pixels + framePixels - 1) / framePixels);

    KXScene scene;
    KXShowcaseScene::build(scene, kFrameSide, kFrameSide);
    const KXDimension2D dimension(static_cast<float>(kFrameSide), static_cast<float>(kFrameSide));
    KXImgGen generator(dimension, options.antialias ? 1 : 0);
    if (generator.initialize() != KXRESULT_OK || !limitDeviceThreads(generator, options.threads)) {
        std::fprintf(stderr, "kxbench_imagegen: the image generator cannot start\n");
        return 1;
    }

    const auto start = std::chrono::steady_clock::now();
    for (unsigned frame = 0; frame < frames; ++frame) {
        KXImage2D image;
        const int result = generator.convert(&scene, &image, fileTypeOf(options.format), KXPosition2D(0.0f, 0.0f),
                                             dimension, nullptr, nullptr);
        if (result != KXRESULT_OK) {
            std::fprintf(stderr, "kxbench_imagegen: frame %u failed (%d)\n", frame, result);
            return 1;
        }
    }
    const double ms = elapsedMs(start);
    if (!generator.getLastMaker() || generator.getLastMaker()->getMakerType() != KXImageMaker::KXMAKER_SIMPLE)
        std::fprintf(stderr, "kxbench_imagegen: the frames were not rendered in one pass (maker %s)\n",
                     makerName(generator.getLastMaker()));
    std::printf("RESULT imagegen_frames size=%ux%u frames=%u ms=%.1f peak_rss_mb=%.1f\n", options.width,
                options.height, frames, ms, peakRssMb());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!parseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: kxbench_imagegen [--size WxH] [--threads N] [--format png|jpg|bmp] "
                             "[--antialias] [--frames]\n");
        return 2;
    }
    limitProcessors(options.threads);
    return options.frames ? convertFrames(options) : convertPicture(options);
}
