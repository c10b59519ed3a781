# Headers of the library folders that are not part of its interface: the
# install rules leave them out and the installed-tree test refuses them.
# A new internal header in sceneapi/, canvas/, renderer/, resources/,
# imagegen/ or widgets/ belongs here (the ray tracer installs only
# KXRayTracer.h).
set(KX_INTERNAL_HEADERS
  sceneapi/KXImageCodec.h
  sceneapi/KXGltfData.h
  renderer/KXOutOfMemory.h
  renderer/dx/KXDXSurfaceReader.h
  resources/KXDXResourceSaver.h
  imagegen/KXPictureCamera.h
  imagegen/KXCanvasRendererLoan.h
  canvas/KXFloorSheet.h
  canvas/KXShapeWalk.h
  canvas/KXShadowFootprint.h
  widgets/KXAidSize.h)
