#include "KXTraceRunner.h"

#include "raytracer/KXRayTracer.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <new>
#include <system_error>
#include <thread>

#ifdef __linux__
#include <pthread.h>
#include <sched.h>
#include <unistd.h>
#endif

namespace {

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

} // namespace

bool stderrIsTerminal()
{
#ifdef __linux__
    return isatty(STDERR_FILENO) != 0;
#else
    return false;
#endif
}

TraceOutcome traceWithProgress(KXRayTracer& tracer, const KXScene& scene, KXRawImage2D& image,
                               const volatile std::sig_atomic_t* interrupted, bool quiet, int cpus)
{
    std::atomic<bool> done{false};
    int result = 0;
    auto work = [&] {
        limitProcessors(cpus);
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
        if (interrupted && *interrupted) {
            KXRayTracer::stop();
            stopRequested = true;
        }
        if (quiet)
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
        return TraceOutcome::Failed;
    return stopRequested ? TraceOutcome::Stopped : TraceOutcome::Finished;
}
