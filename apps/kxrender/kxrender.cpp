// kxrender: ray traces a glTF scene, or the built-in showcase scene, into an
// image file; or draws it through the image generator and the Direct3D
// renderer.

#include "KXRasterRender.h"
#include "KXRenderOptions.h"

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
#include <new>
#include <stdexcept>
#include <system_error>
#include <thread>

#ifdef __linux__
#include <pthread.h>
#include <sched.h>
#include <unistd.h>
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

// The tracer runs two threads for every processor the calling thread may
// use, so the processors given to the tracing thread set its thread count.
void limitProcessors(int cpus)
{
#ifdef __linux__
    if (cpus <= 0)
        return;
    cpu_set_t allowed;
    if (sched_getaffinity(0, sizeof allowed, &allowed) != 0)
        return;
    cpu_set_t chosen;
    CPU_ZERO(&chosen);
    int count = 0;
    for (int cpu = 0; cpu < CPU_SETSIZE && count < cpus; ++cpu)
        if (CPU_ISSET(cpu, &allowed)) {
            CPU_SET(cpu, &chosen);
            ++count;
        }
    pthread_setaffinity_np(pthread_self(), sizeof chosen, &chosen);
#else
    (void)cpus;
#endif
}

const char* stageName(KXRayTracer::KXRTSTATUS status)
{
    switch (status) {
    case KXRayTracer::KXRT_PREPARING:
        return "preparing the scene";
    case KXRayTracer::KXRT_BACKGROUND:
        return "drawing the background";
    case KXRayTracer::KXRT_FIRSTPASS:
        return "tracing";
    case KXRayTracer::KXRT_ANTIALIAS:
        return "smoothing edges";
    default:
        return "finishing";
    }
}

bool stderrIsTerminal()
{
#ifdef __linux__
    return isatty(STDERR_FILENO) != 0;
#else
    return false;
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

// What became of a trace.
enum class TraceOutcome { Finished, Stopped, OutOfMemory };

// Traces on a worker thread while this one reports progress and passes a
// Ctrl-C on to the tracer.
TraceOutcome trace(KXScene& scene, KXRawImage2D& image, const KXRenderOptions& options)
{
    KXRayTracer tracer;
    tracer.enableReflections(options.reflections);
    std::atomic<bool> done{false};
    int result = 0;
    auto work = [&] {
        limitProcessors(options.cpus);
        result = tracer.trace(&scene, image);
        done = true;
    };
    // Without a thread to trace on, the trace runs on this one, silently.
    std::thread worker;
    try {
        worker = std::thread(work);
    } catch (const std::system_error&) {
        work();
    } catch (const std::bad_alloc&) {
        work();
    }

    const bool terminal = stderrIsTerminal();
    const auto start = std::chrono::steady_clock::now();
    KXRayTracer::KXRTSTATUS shownStage = KXRayTracer::KXRT_DONE;
    int shownPercent = -1;
    bool stopRequested = false;
    while (!done) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        // Asked again at every poll: a trace clears the stop flag when it
        // starts, so a request made just before would be lost.
        if (g_interrupted) {
            KXRayTracer::stop();
            stopRequested = true;
        }
        if (options.quiet)
            continue;
        const KXRayTracer::KXRTSTATUS stage = tracer.getStatus();
        const int percent = static_cast<int>(100.0f * tracer.getProgress());
        // Short traces finish without a word; long ones show where they are.
        if (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(500) ||
            stage == KXRayTracer::KXRT_DONE)
            continue;
        if (terminal && (stage != shownStage || percent != shownPercent))
            std::fprintf(stderr, "\rkxrender: %s %3d%%   ", stageName(stage), percent);
        else if (!terminal && stage != shownStage)
            std::fprintf(stderr, "kxrender: %s\n", stageName(stage));
        shownStage = stage;
        shownPercent = percent;
    }
    if (worker.joinable())
        worker.join();
    if (terminal && shownStage != KXRayTracer::KXRT_DONE)
        std::fprintf(stderr, "\r%60s\r", "");
    if (result != 0)
        return TraceOutcome::OutOfMemory;
    return stopRequested ? TraceOutcome::Stopped : TraceOutcome::Finished;
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

    KXScene scene;
    if (options.scenePath.empty()) {
        KXShowcaseScene::build(scene, options.width, options.height);
    } else {
        std::wstring path;
        if (!KXFileUtils::fromNativePath(options.scenePath.c_str(), path)) {
            std::fprintf(stderr, "kxrender: %s: the file name is not valid UTF-8\n", options.scenePath.c_str());
            return kExitFailure;
        }
        KXGltfLoadOptions loadOptions;
        loadOptions.viewportWidth = options.width;
        loadOptions.viewportHeight = options.height;
        if (KXGltfLoader::load(path.c_str(), scene, &error, loadOptions) != 0) {
            std::fprintf(stderr, "kxrender: %s: %s\n", options.scenePath.c_str(), error.c_str());
            return kExitFailure;
        }
    }
    setBackground(scene, options);
    if (options.orthographic)
        useOrthographicView(scene);
    // The view takes the image's proportions.
    if (KXCamera* camera = scene.getRoot()->getCamera())
        camera->setViewport(KXDimension2D(static_cast<float>(options.width), static_cast<float>(options.height)));

    const auto start = std::chrono::steady_clock::now();
    if (options.raster) {
        g_allocationFailed.store(false);
        installInterruptHandler();
        const RasterOutcome outcome = rasterRender(scene, options, &g_interrupted, g_allocationFailed, error);
        if (outcome == RasterOutcome::Stopped) {
            std::fprintf(stderr, "kxrender: stopped; nothing was written\n");
            return kExitInterrupted;
        }
        if (outcome == RasterOutcome::Failed) {
            std::fprintf(stderr, "kxrender: %s\n", error.c_str());
            return kExitFailure;
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("kxrender: wrote %s (%u x %u, %.1f s)\n", options.outputPath.c_str(), options.width,
                    options.height, seconds);
        return 0;
    }

    KXRawImage2D image(options.width, options.height, KXRawImage2D::KXRAWIMAGE2D_RGBA);
    if (image.createData() != 0) {
        std::fprintf(stderr, "kxrender: not enough memory for a %u x %u image\n", options.width, options.height);
        return kExitFailure;
    }
    installInterruptHandler();
    const TraceOutcome outcome = trace(scene, image, options);
    if (outcome == TraceOutcome::OutOfMemory) {
        std::fprintf(stderr, "kxrender: not enough memory to trace a %u x %u image\n", options.width,
                     options.height);
        return kExitFailure;
    }
    const bool finished = outcome == TraceOutcome::Finished;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    std::wstring output;
    KXFileUtils::fromNativePath(options.outputPath.c_str(), output);
    if (KXImageUtils::saveRawImage2DToFile(&image, output.c_str(), options.quality) != 0) {
        std::fprintf(stderr, "kxrender: cannot write %s\n", options.outputPath.c_str());
        return kExitFailure;
    }
    if (!finished) {
        std::fprintf(stderr, "kxrender: stopped; the part drawn so far is in %s\n", options.outputPath.c_str());
        return kExitInterrupted;
    }
    std::printf("kxrender: wrote %s (%u x %u, %.1f s)\n", options.outputPath.c_str(), options.width, options.height,
                seconds);
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
