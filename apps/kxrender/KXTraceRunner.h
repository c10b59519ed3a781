#pragma once

#include <csignal>

class KXRawImage2D;
class KXRayTracer;
class KXScene;

// What became of a trace.
enum class TraceOutcome { Finished, Stopped, Failed };

// Traces the scene into the image on a worker thread, limited to cpus
// processors when cpus > 0, while the calling thread shows the stage and
// its progress on stderr (unless quiet) and passes a non-zero *interrupted
// on to the tracer as a stop request. Failed when trace reports a failure
// (out of memory): the image then holds only part of the picture.
TraceOutcome traceWithProgress(KXRayTracer& tracer, const KXScene& scene, KXRawImage2D& image,
                               const volatile std::sig_atomic_t* interrupted, bool quiet, int cpus);

// Whether stderr is a terminal, where progress is shown on one line that is
// written over.
bool stderrIsTerminal();
