#include "KXRasterRender.h"

#include "KXEditorAidsSetup.h"
#include "KXRenderOptions.h"
#include "KXTraceRunner.h"

#include "canvas/KXCanvas.h"
#include "canvas/KXPlanarShadowPainter.h"
#include "canvas/KXPlanarSoftShadowPainter.h"
#include "imagegen/KXImgGen.h"
#include "imagegen/KXStatusMgr.h"
#include "renderer/KXResult.h"
#include "sceneapi/KXFileUtils.h"
#include "sceneapi/KXImage2D.h"
#include "sceneapi/KXImageUtils.h"
#include "sceneapi/KXLight.h"
#include "sceneapi/KXLightModel.h"
#include "sceneapi/KXRawImage2D.h"
#include "sceneapi/KXRoot.h"
#include "sceneapi/KXScene.h"

#include <cstdio>

#ifdef __linux__
#include <unistd.h>
#endif

namespace {

// The tiles done, on one line rewritten in place on a terminal; elsewhere
// (a log file) one line when the tiling starts. A picture of one tile says
// nothing. Asked before every tile, it stops the conversion once Ctrl-C
// has been pressed.
class TileProgress final : public IKXStatusMgr
{
public:
    TileProgress(bool quiet, const volatile std::sig_atomic_t* interrupted, const std::string& outputPath)
        : m_quiet(quiet), m_terminal(stderrIsTerminal()), m_interrupted(interrupted), m_outputPath(outputPath)
    {
    }
    TileProgress(const TileProgress&) = delete;
    TileProgress& operator=(const TileProgress&) = delete;

    void setProgress(unsigned done, unsigned total) override
    {
        if (m_quiet || total <= 1)
            return;
        if (!m_terminal) {
            if (done == 0)
                std::fprintf(stderr, "kxrender: drawing %u tiles\n", total);
            return;
        }
        // The last tile is followed by the encoding, which takes a while
        // for a large picture.
        if (done == total)
            std::fprintf(stderr, "\rkxrender: tile %u/%u, writing %s   ", done, total, m_outputPath.c_str());
        else
            std::fprintf(stderr, "\rkxrender: tile %u/%u   ", done, total);
        m_shown = true;
    }

    bool isCancelled() override { return m_interrupted && *m_interrupted != 0; }

    // Clears the progress line, if one was shown.
    void finish()
    {
        if (m_shown)
            std::fprintf(stderr, "\r%*s\r", static_cast<int>(40 + m_outputPath.size()), "");
        m_shown = false;
    }

private:
    bool m_quiet;
    bool m_terminal;
    const volatile std::sig_atomic_t* m_interrupted;
    std::string m_outputPath;
    bool m_shown = false;
};

// Aims the shadow painters at the scene's sun: its first directional light
// that casts shadows, else its first directional light (the painters' own
// light shines straight down).
void aimShadowsAtTheSun(KXCanvas& canvas, const KXScene& scene)
{
    auto* hard =
        dynamic_cast<KXPlanarShadowPainter*>(canvas.getPainter(KXCanvasPainter::KXCANVASPAINTER_PLANARSHADOW));
    auto* soft = dynamic_cast<KXPlanarSoftShadowPainter*>(
        canvas.getPainter(KXCanvasPainter::KXCANVASPAINTER_PLANARSOFTSHADOW));
    const KXRoot* root = scene.getRoot();
    const KXLightModel* lights = root ? root->getLightModel() : nullptr;
    if (!lights)
        return;
    const KXDirectionalLight* sun = nullptr;
    for (int i = 0; i < lights->getNumLights(); ++i) {
        const auto* light = dynamic_cast<const KXDirectionalLight*>(lights->getLight(i));
        if (light && (!sun || (light->getCastShadows() && !sun->getCastShadows())))
            sun = light;
    }
    if (!sun)
        return;
    if (hard)
        hard->setLightDirection(sun->getDirection());
    // The light camera's up is free: y, which a light along y replaces.
    if (soft)
        soft->setLightDirection(sun->getDirection(), KXUnitVector(0.0f, 1.0f, 0.0f));
}

// Puts the finished file in place of the image path (replacing a file
// there, which some systems refuse to do in one step).
bool moveInto(const std::string& from, const std::string& to)
{
    if (std::rename(from.c_str(), to.c_str()) == 0)
        return true;
    std::remove(to.c_str());
    return std::rename(from.c_str(), to.c_str()) == 0;
}

} // namespace

RasterOutcome rasterRender(const KXScene& scene, const KXRenderOptions& options,
                           const volatile std::sig_atomic_t* interrupted, const std::atomic<bool>& allocationFailed,
                           std::string& error)
{
    const std::string size = std::to_string(options.width) + " x " + std::to_string(options.height);
    const KXDimension2D dimension(static_cast<float>(options.width), static_cast<float>(options.height));
    // The largest picture chooses how the generator draws it: in one pass,
    // by tiles on the device, or by tiles in main memory.
    KXImgGen generator(dimension, options.antialias ? 1 : 0);
    if (generator.initialize() != KXRESULT_OK) {
        error = "no Direct3D 9 device is available";
        return RasterOutcome::Failed;
    }

    // The image is written beside its final name and takes that name when it
    // is complete, so that nothing half-written is left by a failure or a
    // stop, and a file already there survives them.
    const std::string partialPath = options.outputPath + ".partial";
    std::wstring widePartial, wideOutput;
    if (!KXFileUtils::fromNativePath(partialPath.c_str(), widePartial) ||
        !KXFileUtils::fromNativePath(options.outputPath.c_str(), wideOutput)) {
        error = options.outputPath + ": the file name is not valid UTF-8";
        return RasterOutcome::Failed;
    }
    const KXImage2D::KXIMAGE2DFILETYPE fileType = KXImageUtils::getFileTypeFromExtension(wideOutput.c_str());

    TileProgress progress(options.quiet, interrupted, options.outputPath);
    KXCanvas canvas;
    canvas.enableShadows(options.hardShadows ? 1 : 0);
    canvas.enableSoftShadows(options.softShadows ? 1 : 0);
    canvas.enableReflection(options.floorReflection ? 1 : 0);
    if (options.hardShadows || options.softShadows)
        aimShadowsAtTheSun(canvas, scene);
    if (options.editorAids)
        setUpEditorAids(canvas, scene);
    const KXPosition2D origin(0.0f, 0.0f);
    int result = KXRESULT_OK;
    const bool streamed = fileType == KXImage2D::KXIMAGE2D_PNG || fileType == KXImage2D::KXIMAGE2D_BMP ||
                          (fileType == KXImage2D::KXIMAGE2D_JPG && !options.qualityGiven);
    if (streamed) {
        // The generator encodes the picture as it holds it, without a copy
        // of its own: the way to write the largest pictures.
        result = generator.convertToFile(&scene, widePartial.c_str(), fileType, origin, dimension, &progress, &canvas);
    } else {
        // Other formats, and JPEG at a quality of the user's choice, are
        // encoded from a copy of the picture in main memory.
        KXRawImage2D image;
        result = generator.convert(&scene, &image, origin, dimension, &progress, &canvas);
        if (result == KXRESULT_OK) {
            KXImage2D encoded;
            if (KXImageUtils::encode(&image, &encoded, fileType, options.quality) != 0 ||
                KXImageUtils::saveImage2DToFile(&encoded, widePartial.c_str()) != 0)
                result = KXRESULT_FAILED;
        }
    }
    progress.finish();

    const bool complete = result == KXRESULT_OK && !allocationFailed.load();
    if (complete && moveInto(partialPath, options.outputPath))
        return RasterOutcome::Written;
    std::remove(partialPath.c_str());
    if (result == KXRESULT_CANCELLED)
        return RasterOutcome::Stopped;
    if (allocationFailed.load())
        error = "not enough memory to draw a " + size + " image";
    else if (result == KXRESULT_OK)
        error = "cannot write " + options.outputPath;
    else if (result == KXRESULT_NULLARGUMENT)
        error = "the image generator cannot make a " + size + " image";
    else
        error = "cannot draw a " + size + " image or write it to " + options.outputPath;
    return RasterOutcome::Failed;
}
