// kxrender: ray traces a glTF scene, or the built-in showcase scene, into an
// image file; or draws it through the image generator and the Direct3D
// renderer.

#include "KXRasterRender.h"
#include "KXRenderOptions.h"
#include "KXTraceRunner.h"

#include "raytracer/KXRayTracer.h"
#include "sceneapi/KXBackground.h"
#include "sceneapi/KXCamera.h"
#include "sceneapi/KXFileUtils.h"
#include "sceneapi/KXGltfLoader.h"
#include "sceneapi/KXImageUtils.h"
#include "sceneapi/KXRawImage2D.h"
#include "sceneapi/KXRoot.h"
#include "sceneapi/KXScene.h"
#include "sceneapi/KXShowcaseScene.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>
#include <stdexcept>
#include <system_error>
#include <thread>

#ifdef __linux__
#include <signal.h>
#endif

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130; // 128 + SIGINT, as shells report it

volatile std::sig_atomic_t g_interrupted = 0;

// Set by every allocation that fails, wherever it is in the program. The
// renderer's operations leave out what they find no memory for and go on,
// so a frame drawn while one failed may be missing parts of the scene.
std::atomic<bool> g_allocationFailed{false};

void noteFailedAllocation()
{
    g_allocationFailed.store(true);
    throw std::bad_alloc();
}

// Only records the request: the main thread, which polls anyway, passes it
// on to the tracer; the image generator asks for it before every tile. The
// handler is reset after the first signal, so a second Ctrl-C ends the
// program at once.
void onInterrupt(int)
{
    g_interrupted = 1;
}

void installInterruptHandler()
{
#ifdef __linux__
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
#else
    std::signal(SIGINT, onInterrupt);
#endif
}

// Gives the scene the background asked for on the command line, or, when it
// has none, the showcase's gradient, so that the image has no transparent
// holes.
void setBackground(KXScene& scene, const KXRenderOptions& options)
{
    KXRoot* root = scene.getRoot();
    if (!root)
        return;
    if (options.hasBackground) {
        auto single = KXMake<KXSingleColorBackground>();
        single->setColor(KXColor(options.background[0] / 255.0f, options.background[1] / 255.0f,
                                 options.background[2] / 255.0f, 1.0f));
        root->setBackground(single.get());
        return;
    }
    if (root->getBackground())
        return;
    auto background = KXMake<KXGradientBackground>();
    background->setColors(KXColor(0.85f, 0.88f, 0.92f, 1.0f), KXColor(0.25f, 0.4f, 0.7f, 1.0f));
    root->setBackground(background.get());
}

// Puts an orthographic camera in place of the scene's perspective one: the
// same eye, target, up and planes, its view as high as the perspective
// view is at the target.
void useOrthographicView(KXScene& scene)
{
    KXRoot* root = scene.getRoot();
    auto* perspective = root ? dynamic_cast<KXPerspectiveCamera*>(root->getCamera()) : nullptr;
    if (!perspective)
        return;
    auto ortho = KXMake<KXOrthoCamera>();
    ortho->setPosition(perspective->getEyePosition(), perspective->getTargetPosition(), perspective->getUpVector());
    ortho->setWorldMatrix(perspective->getWorldMatrix());
    ortho->setNearPlane(perspective->getNearPlane());
    ortho->setFarPlane(perspective->getFarPlane());
    const float distance = perspective->getEyePosition().distance(perspective->getTargetPosition());
    ortho->setViewportScale(2.0f * distance * std::tan(perspective->getFOV() / 2.0f));
    root->setCamera(ortho.get());
}

// Runs work on a worker thread while this one waits for it or for Ctrl-C.
// Returns false when interrupted first: the work is then left running, and
// the caller ends the program, which ends the work with it. Without a
// thread to run on, the work runs on this one and cannot be interrupted.
template <class Work>
bool runUntilInterrupted(Work&& work)
{
    std::atomic<bool> done{false};
    std::thread worker;
    try {
        worker = std::thread([&] {
            work();
            done = true;
        });
    } catch (const std::system_error&) {
        work();
        return true;
    } catch (const std::bad_alloc&) {
        work();
        return true;
    }
    while (!done && !g_interrupted)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (!done) {
        worker.detach();
        return false;
    }
    worker.join();
    return true;
}

// Ends the program after a Ctrl-C that came before anything was drawn.
[[noreturn]] void exitInterrupted(const char* activity)
{
    std::fprintf(stderr, "kxrender: stopped while %s; nothing was written\n", activity);
    std::fflush(stderr);
    std::_Exit(kExitInterrupted);
}

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int run(int argc, char** argv)
{
    KXRenderOptions options;
    std::string error;
    if (!parseRenderOptions(argc - 1, argv + 1, options, error)) {
        std::fprintf(stderr, "kxrender: %s\nTry 'kxrender --help' for more information.\n", error.c_str());
        return kExitUsage;
    }
    if (options.help) {
        std::fputs(renderUsage().c_str(), stdout);
        return 0;
    }

    // From here on Ctrl-C is noted, not fatal: while the scene loads or the
    // image is allocated it ends the program with a message, later it stops
    // the drawing.
    installInterruptHandler();
    const auto start = std::chrono::steady_clock::now();
    const char* preparing = options.scenePath.empty() ? "building the scene" : "loading the scene";
    KXScene scene;
    if (options.scenePath.empty()) {
        std::exception_ptr failure;
        const bool built = runUntilInterrupted([&] {
            try {
                KXShowcaseScene::build(scene, options.width, options.height);
            } catch (...) {
                failure = std::current_exception();
            }
        });
        if (!built)
            exitInterrupted(preparing);
        if (failure)
            std::rethrow_exception(failure);
    } else {
        std::wstring path;
        if (!KXFileUtils::fromNativePath(options.scenePath.c_str(), path)) {
            std::fprintf(stderr, "kxrender: %s: the file name is not valid UTF-8\n", options.scenePath.c_str());
            return kExitFailure;
        }
        KXGltfLoadOptions loadOptions;
        loadOptions.viewportWidth = options.width;
        loadOptions.viewportHeight = options.height;
        int loaded = -1;
        if (!runUntilInterrupted([&] { loaded = KXGltfLoader::load(path.c_str(), scene, &error, loadOptions); }))
            exitInterrupted(preparing);
        if (loaded != 0) {
            std::fprintf(stderr, "kxrender: %s: %s\n", options.scenePath.c_str(), error.c_str());
            return kExitFailure;
        }
    }
    if (g_interrupted)
        exitInterrupted(preparing);
    setBackground(scene, options);
    if (options.orthographic)
        useOrthographicView(scene);
    // The view takes the image's proportions.
    if (KXCamera* camera = scene.getRoot()->getCamera())
        camera->setViewport(KXDimension2D(static_cast<float>(options.width), static_cast<float>(options.height)));

    if (options.raster) {
        g_allocationFailed.store(false);
        const RasterOutcome outcome = rasterRender(scene, options, &g_interrupted, g_allocationFailed, error);
        if (outcome == RasterOutcome::Stopped) {
            std::fprintf(stderr, "kxrender: stopped; nothing was written\n");
            return kExitInterrupted;
        }
        if (outcome == RasterOutcome::Failed) {
            std::fprintf(stderr, "kxrender: %s\n", error.c_str());
            return kExitFailure;
        }
        std::printf("kxrender: wrote %s (%u x %u, %.1f s)\n", options.outputPath.c_str(), options.width,
                    options.height, secondsSince(start));
        return 0;
    }

    KXRawImage2D image(options.width, options.height, KXRawImage2D::KXRAWIMAGE2D_RGBA);
    if (image.createData() != 0) {
        std::fprintf(stderr, "kxrender: not enough memory for a %u x %u image\n", options.width, options.height);
        return kExitFailure;
    }
    if (g_interrupted)
        exitInterrupted("allocating the image");
    KXRayTracer tracer;
    tracer.enableReflections(options.reflections);
    const auto traceStart = std::chrono::steady_clock::now();
    const TraceOutcome outcome = traceWithProgress(tracer, scene, image, &g_interrupted, options.quiet, options.cpus);
    if (outcome == TraceOutcome::Failed) {
        std::fprintf(stderr, "kxrender: not enough memory to trace a %u x %u image; nothing was written\n",
                     options.width, options.height);
        return kExitFailure;
    }
    const double tracing = secondsSince(traceStart);

    // Encoding a large image takes a while (a 16384 x 16384 PNG longer than
    // many traces), so the progress line says what is going on.
    const bool terminal = stderrIsTerminal();
    if (!options.quiet)
        std::fprintf(stderr, terminal ? "\rkxrender: writing %s   " : "kxrender: writing %s\n",
                     options.outputPath.c_str());
    const auto writeStart = std::chrono::steady_clock::now();
    std::wstring output;
    KXFileUtils::fromNativePath(options.outputPath.c_str(), output);
    const int written = KXImageUtils::saveRawImage2DToFile(&image, output.c_str(), options.quality);
    if (!options.quiet && terminal)
        std::fprintf(stderr, "\r%60s\r", "");
    if (written != 0) {
        std::fprintf(stderr, "kxrender: cannot write %s\n", options.outputPath.c_str());
        return kExitFailure;
    }
    if (outcome == TraceOutcome::Stopped) {
        std::fprintf(stderr, "kxrender: stopped; the part drawn so far is in %s\n", options.outputPath.c_str());
        return kExitInterrupted;
    }
    std::printf("kxrender: wrote %s (%u x %u, %.1f s: traced in %.1f s, written in %.1f s)\n",
                options.outputPath.c_str(), options.width, options.height, secondsSince(start), tracing,
                secondsSince(writeStart));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    // Whatever runs out of memory outside the libraries' operations (the
    // scene being built or loaded, the options, the messages) ends the
    // program with a message instead of an exception.
    std::set_new_handler(noteFailedAllocation);
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    std::fputs("kxrender: out of memory\n", stderr);
    return kExitFailure;
}
