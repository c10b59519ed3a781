// kxrender's trace: a failed trace is reported as such, and an interrupt
// stops the tracer.

#include "KXTraceRunner.h"

#include "raytracer/KXRayTracer.h"
#include "sceneapi/sceneapi.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

// A trace that runs out of memory.
class FailingTracer : public KXRayTracer
{
public:
    int trace(const KXScene*, KXRawImage2D&) override { return -1; }
};

// A first pass that lasts until the trace is asked to stop.
class UntilStoppedTracer : public KXRayTracer
{
protected:
    void tracePrimaryPass(KXRoot*, KXRawImage2D&, RTNodeCache&, const RTShapeTree*, RTMeshTreeMap&) override
    {
        while (!shouldStop())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
};

// A scene with a camera and one shape, so that the passes run.
void buildScene(KXScene& scene)
{
    auto root = KXMake<KXRoot>(&scene);
    auto camera = KXMake<KXPerspectiveCamera>();
    camera->setPosition(KXPosition(0, 0, 10), KXPosition(0, 0, 0), KXVector(0, 1, 0));
    root->setCamera(camera.get());
    auto box = KXMake<KXBox>();
    box->setParameters(KXPosition(0, 0, 0), 1, 1, 1);
    auto shape = KXMake<KXShape>();
    shape->setGeometry(box.get());
    root->addChild(shape.get());
    scene.setRoot(root.get());
}

} // namespace

TEST(TraceRunner, AFailedTraceIsReportedAsAFailure)
{
    KXScene scene;
    buildScene(scene);
    KXRawImage2D image(8, 8, KXRawImage2D::KXRAWIMAGE2D_RGBA);
    ASSERT_EQ(image.createData(), 0);
    volatile std::sig_atomic_t interrupted = 0;
    FailingTracer failing;
    EXPECT_EQ(traceWithProgress(failing, scene, image, &interrupted, true, 0), TraceOutcome::Failed);
    KXRayTracer tracer;
    EXPECT_EQ(traceWithProgress(tracer, scene, image, &interrupted, true, 0), TraceOutcome::Finished);
}

TEST(TraceRunner, AnInterruptStopsTheTrace)
{
    KXScene scene;
    buildScene(scene);
    KXRawImage2D image(8, 8, KXRawImage2D::KXRAWIMAGE2D_RGBA);
    ASSERT_EQ(image.createData(), 0);
    volatile std::sig_atomic_t interrupted = 1;
    UntilStoppedTracer tracer;
    EXPECT_EQ(traceWithProgress(tracer, scene, image, &interrupted, true, 0), TraceOutcome::Stopped);
    EXPECT_EQ(tracer.getStatus(), KXRayTracer::KXRT_DONE);
}
