#pragma once

// Umbrella header of the renderer library: the scene graph it draws, the
// renderer interface, the canvas with its painters, the editor aids, the ray
// tracer and the library's version.
#include "KXDXRendererVersion.h"

#include "sceneapi/sceneapi.h"

#include "renderer/KXDevice.h"
#include "renderer/KXImageImpl.h"
#include "renderer/KXRenderState.h"
#include "renderer/KXRenderStateMgr.h"
#include "renderer/KXRenderSurface.h"
#include "renderer/KXRenderer.h"
#include "renderer/KXRendererFactory.h"
#include "renderer/KXResult.h"
#include "renderer/KXTextureFilter.h"

#include "canvas/KXCanvas.h"
#include "canvas/KXCanvasEvent.h"
#include "canvas/KXCanvasPainter.h"
#include "canvas/KXOverlayPainter.h"
#include "canvas/KXPlanarReflectionPainter.h"
#include "canvas/KXPlanarShadowPainter.h"
#include "canvas/KXPlanarSoftShadowPainter.h"
#include "canvas/KXViewFrustum.h"
#include "canvas/KXViewport.h"

#include "widgets/KXControllerGuide.h"
#include "widgets/KXLightDecorator.h"
#include "widgets/KXNodeControllers.h"
#include "widgets/KXNodeDecorators.h"
#include "widgets/KXSceneAxes.h"
#include "widgets/KXSceneDecorators.h"
#include "widgets/KXShapeSet.h"
#include "widgets/KXWidget.h"

#include "raytracer/KXRayTracer.h"
