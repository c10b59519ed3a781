#pragma once

#include "renderer/KXExport.h"
#include "sceneapi/KXColor.h"
#include "sceneapi/KXMatrix.h"

#include <atomic>
#include <memory>

class KXAppearance;
class KXBackground;
class KXCamera;
class KXGeometry;
class KXLightModel;
class KXRawImage2D;
class KXRoot;
class KXScene;

class RTEdgeMask;
class RTMeshTreeMap;
class RTNodeCache;
class RTShapeTree;
class RTTextureCache;

// Renders a scene on the processor into a raw image the caller allocated.
//
// A trace runs in five stages (see KXRTSTATUS): the scene is flattened into
// acceleration structures, the background is drawn, one primary ray per
// pixel is traced, and pixels on edges are traced again with nine sub-samples.
// Every stage that touches pixels runs in parallel over image rows with twice
// as many threads as processors, while the calling thread waits.
//
// Any thread may call stop() while a trace runs: the trace abandons the
// current stage within one pixel per worker thread, keeps what it drew and
// returns. The stop and stopped flags are shared by every tracer of the
// process.
class KXDXRENDERER_API KXRayTracer
{
public:
    enum KXRTSTATUS {
        KXRT_PREPARING = 0, // flattening the scene and building the trees
        KXRT_BACKGROUND = 1,
        KXRT_FIRSTPASS = 2, // one primary ray per pixel
        KXRT_ANTIALIAS = 3, // edge mask and supersampling
        KXRT_DONE = 4,      // idle, finished or abandoned
    };

    KXRayTracer();
    KXRayTracer(const KXRayTracer&) = delete;
    KXRayTracer& operator=(const KXRayTracer&) = delete;
    virtual ~KXRayTracer();

    // Traces the scene into the image, which keeps its size and format.
    // -1 when the image has no width, no height or no pixels, or when memory
    // ran out (the image then holds what was drawn); 0 otherwise, whether
    // the trace finished, was stopped or had nothing to draw.
    virtual int trace(const KXScene* scene, KXRawImage2D& image);

    // Asks every running trace to stop. Safe from any thread at any time.
    static void stop();
    // 1 while no trace runs (also before the first), 0 while one runs.
    static int hasStopped();

    // Turns reflection rays on or off for the following traces.
    void enableReflections(bool enable) { m_reflectionsEnabled = enable ? 1 : 0; }
    bool areReflectionsEnabled() const { return m_reflectionsEnabled != 0; }

    KXRTSTATUS getStatus() const { return m_status.load(std::memory_order_relaxed); }
    // How far the current stage has come, 0..1; readable from another thread
    // while trace runs (getStatus names the stage).
    float getProgress() const;

protected:
    // The stages of a trace, in the order trace calls them. shapeTree is
    // null when the scene has no enabled shape.
    virtual void fillImage(KXRawImage2D& image, const KXColor& color);
    virtual void renderBackground(KXRoot* root, KXRawImage2D& image);
    virtual void tracePrimaryPass(KXRoot* root, KXRawImage2D& image, RTNodeCache& nodeCache,
                                  const RTShapeTree* shapeTree, RTMeshTreeMap& meshTrees);
    virtual void traceAntialiasPass(KXRoot* root, KXRawImage2D& image, RTNodeCache& nodeCache,
                                    const RTShapeTree* shapeTree, RTMeshTreeMap& meshTrees,
                                    RTEdgeMask& edgeMask);
    virtual void renderSingleColorBackground(KXBackground* background, KXRawImage2D& image);
    virtual void renderTexturedBackground(KXBackground* background, KXRawImage2D& image);
    virtual void renderBackgroundGeometry(KXGeometry* geometry, KXAppearance* appearance,
                                          KXLightModel* lightModel, const KXMatrix& transform,
                                          KXCamera* camera, KXRawImage2D& image);

    // The number of worker threads of the pixel stages: twice the
    // processors available to the calling thread.
    static int getNumThreads();
    // Whether the current stage should end: stop() was called or a worker
    // ran out of memory.
    bool shouldStop() const;

private:
    template <class Pixel>
    void forEachRow(KXRawImage2D& image, unsigned pass, Pixel&& pixel);
    template <int SPAN, class Span>
    void forEachSpan(KXRawImage2D& image, unsigned pass, Span&& span);
    void beginStage(KXRTSTATUS status, unsigned rows);

    KXMatrix m_lightToWorld;
    std::unique_ptr<RTTextureCache> m_textureCache;
    int m_reflectionsEnabled = 0;
    std::atomic<KXRTSTATUS> m_status{KXRT_DONE};
    std::atomic<unsigned> m_rowsDone{0};
    std::atomic<unsigned> m_rowsTotal{0};
    std::atomic<bool> m_failed{false};
};
