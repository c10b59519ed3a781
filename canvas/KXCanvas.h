#pragma once

#include "canvas/KXCanvasPainter.h"
#include "canvas/KXViewFrustum.h"
#include "canvas/KXViewport.h"
#include "renderer/KXExport.h"
#include "sceneapi/KXBounds.h"
#include "sceneapi/KXCamera.h"
#include "sceneapi/KXMatrix.h"
#include "sceneapi/KXObservable.h"

#include <memory>

class KXAppearance;
class KXBackground;
class KXControllerGuide;
class KXGeometry;
class KXGeometryGroup;
class KXGroup;
class KXLightDecorator;
class KXLightModel;
class KXNode;
class KXNodeControllers;
class KXNodeDecorators;
class KXRenderer;
class KXRenderStateMgr;
class KXRoot;
class KXScene;
class KXSceneAxes;
class KXSceneDecorators;
class KXSelection;
class KXShaderProgram;
class KXShape;
class KXSkyBox;
class KXSkyDome;
class KXStoryBoard;
class KXTexture2D;
class KXTexture3D;

// Draws one frame of a scene through a renderer: background, fog, camera,
// lights, the scene tree (opaque shapes, then transparent ones, with groups
// and large shapes culled against the view frustum), then the reflection,
// the hard or soft shadows, the editor aids and the overlay.
//
// Every step of the frame is a virtual operation, so derived canvases
// change a frame by overriding steps; render itself stays the same. Each
// step that changes a render-state family puts it back with the family's
// reset before it ends. Observers hear a KXCanvasEvent when the frame has
// begun and when it is about to end, both inside the renderer's open scene.
//
// The canvas never owns the renderer, the scene or the story board. It owns
// its four painters and the editor aids it creates.
class KXDXRENDERER_API KXCanvas : public KXObservable
{
public:
    // Pass numbers of drawGroup and drawShape: 0 draws opaque shapes only, 1
    // transparent shapes only, any other value every shape.
    enum KXPASS : unsigned {
        KXPASS_OPAQUE = 0,
        KXPASS_TRANSPARENT = 1,
        KXPASS_ALL = 2,
    };
    // Shapes with more triangles than this are culled on their own; smaller
    // ones only with their group.
    static constexpr int CULL_TRIANGLE_THRESHOLD = 256;

    KXCanvas();
    KXCanvas(const KXCanvas&) = delete;
    KXCanvas& operator=(const KXCanvas&) = delete;
    ~KXCanvas() override;

    // One frame. Without a renderer (or one that is not initialised), a
    // scene, a root or a root camera nothing happens at all: no scene is
    // opened and no event is sent.
    virtual void render(const KXScene* scene, const KXStoryBoard* storyBoard);

    // The steps of a frame, in the order render runs them.
    // beginFrame opens the renderer's scene and tells observers; endFrame
    // tells them and closes it.
    virtual void beginFrame();
    virtual void endFrame();
    // Clears depth only; the colour target is cleared by drawBackground.
    virtual void clearDepth();
    // Clears the colour target and draws the root's background; with no
    // background the colour target is left as it is.
    virtual void drawBackground(KXCamera* camera, KXRoot* root);
    // Light decorators (when lights are shown), then the root's light model.
    virtual void setupLights(KXCamera* camera, KXRoot* root, KXSelection* selection);
    virtual void applyCamera(KXCamera* camera);
    // The opaque pass, then the transparent shapes twice: first their faces
    // that the opaque pass culls, without depth writes, then the others with
    // depth writes. Two-sided meshes are left out of the first: they draw
    // both their sides, far side first, in the second.
    virtual void drawScene(KXRoot* root, KXSelection* selection);
    // Culls the group against the frustum, applies its appearance and draws
    // its enabled children placed by their transforms.
    virtual void drawGroup(KXGroup* group, KXSelection* selection, unsigned pass);
    // Draws the shape when its transparency fits the pass, with its selected
    // appearance when useSelectedAppearance is set and it has one.
    virtual void drawShape(KXShape* shape, int useSelectedAppearance, unsigned pass);
    // Material, textures of stages 0 up to the first empty one (a cube
    // texture without an image binds the scene's environment cube) and depth
    // bias.
    virtual void applyAppearance(KXAppearance* appearance);
    // Unbinds the textures and clears the depth bias; the material stays.
    virtual void restoreAppearance();
    virtual void drawGeometry(KXGeometry* geometry, KXShaderProgram* shader);
    virtual void drawGeometryGroup(KXGeometryGroup* group, KXShaderProgram* shader);
    // Controller guide blended over the scene, then the node controllers on
    // a cleared depth buffer.
    virtual void drawEditorAids(KXCamera* camera, KXRoot* root, KXSelection* selection);

    // Frames drawn as tiles of a larger picture (the image generator sets
    // this around each tile): the rectangle `tile` of a width × height
    // picture is what the renderer's viewport shows. The aids placed on the
    // screen (the scene axes) are placed on the picture, and the aids' sizes
    // follow the picture's size, not the tile's.
    void setPictureTile(unsigned width, unsigned height, const KXViewport& tile);
    void clearPictureTile() { m_tiled = false; }
    // False for a frame that is the whole view.
    bool getPictureTile(unsigned& width, unsigned& height, KXViewport& tile) const;

    // Also writes the renderer into the painters.
    void setRenderer(KXRenderer* renderer);
    KXRenderer* getRenderer() const { return m_renderer; }

    void enableSpecular(int enable) { m_specular = enable; }
    void enableShadows(int enable) { m_shadows = enable; }
    void enableSoftShadows(int enable) { m_softShadows = enable; }
    void enableReflection(int enable) { m_reflection = enable; }
    // show: draw the light decorators while the lights are set up; detail is
    // read by the light-decorator drawing while show is set.
    void showLights(int show, int detail)
    {
        m_showLights = show;
        m_showLightsDetail = detail;
    }
    int getShowLights() const { return m_showLights; }
    int getShowLightsDetail() const { return m_showLightsDetail; }

    // The painter of a type; null for a type outside KXCANVASPAINTERTYPE, and
    // for a painter the canvas had no memory to make (it tries again at the
    // next frame).
    KXCanvasPainter* getPainter(KXCanvasPainter::KXCANVASPAINTERTYPE type) const;

    // Editor aids: each create returns the new object, or null (changing
    // nothing) when the canvas has one already.
    KXNodeDecorators* createNodeDecorators();
    KXNodeControllers* createNodeControllers();
    KXSceneDecorators* createSceneDecorators();
    KXLightDecorator* createLightDecorator();
    KXControllerGuide* createControllerGuide();
    KXSceneAxes* createSceneAxes();
    void destroyNodeControllers();
    void destroySceneAxes();
    KXNodeDecorators* getNodeDecorators() const { return m_nodeDecorators.get(); }
    KXNodeControllers* getNodeControllers() const { return m_nodeControllers.get(); }
    KXSceneDecorators* getSceneDecorators() const { return m_sceneDecorators.get(); }
    KXLightDecorator* getLightDecorator() const { return m_lightDecorator.get(); }
    KXControllerGuide* getControllerGuide() const { return m_controllerGuide.get(); }
    KXSceneAxes* getSceneAxes() const { return m_sceneAxes.get(); }

    // Values of the current (or last) frame, for the editor aids.
    const KXStoryBoard* getStoryBoard() const { return m_storyBoard; }
    KXTexture3D* getEnvironmentTexture() const { return m_environmentTexture; }
    KXCamera::KXCAMERATYPE getCameraType() const { return m_cameraType; }
    const KXPosition& getEyePosition() const { return m_eyePosition; }
    float getViewportScale() const { return m_viewportScale; }
    // The smaller of the renderer viewport's width and height, in pixels.
    float getViewportSize() const { return m_viewportSize; }
    const KXMatrix& getSceneScaleMatrix() const { return m_sceneScaleMatrix; }
    const KXMatrix& getSceneOffsetMatrix() const { return m_sceneOffsetMatrix; }
    float getSceneRadius() const { return m_sceneRadius; }
    const KXPosition& getSceneCenter() const { return m_sceneCenter; }
    // The root's bounds, kept as they were while a node controller is selected.
    const KXBounds& getReferenceBounds() const { return m_referenceBounds; }
    // Position of the first enabled light of the last light model applied
    // (the origin unless it is a point or spot light).
    const KXPosition& getFirstLightPosition() const { return m_firstLightPosition; }
    const KXViewFrustum& getViewFrustum() const { return m_frustum; }

    // Sets the light model's ambient light and its enabled lights (at their
    // light-model indices). With a camera, the lights of a model that is not
    // fixed move with the camera. The camera may be null.
    void applyLightModel(KXCamera* camera, KXLightModel* lightModel);
    // 1 for a material whose diffuse alpha is not exactly 1 or a shader
    // program flagged transparent; 0 otherwise and for null.
    static int isTransparent(KXAppearance* appearance);

protected:
    // Puts a painter of the caller's in place of the canvas's painter of
    // that type and hands it the renderer. Null and types outside
    // KXCANVASPAINTERTYPE are ignored.
    void replacePainter(KXCanvasPainter::KXCANVASPAINTERTYPE type, std::unique_ptr<KXCanvasPainter> painter);
    // Groups and large shapes are culled against this camera's view for the
    // rest of the frame (render starts every frame with the root camera's).
    void cullWith(const KXCamera& camera);

private:
    KXRenderStateMgr* getStates() const;
    void applyFog(KXRoot* root);
    void drawSkyBox(KXCamera* camera, KXSkyBox* skyBox);
    void drawSkyDome(KXCamera* camera, KXSkyDome* skyDome);
    // What the sky box and the sky dome share: a white material, no depth, the
    // background's own lights and camera (turned with the scene camera) and
    // stage 0 clamped, bound to the cube or the panorama.
    void drawSky(KXCamera* camera, KXBackground* sky, bool withQuarterTurn, KXTexture3D* cube, KXTexture2D* panorama);
    // The sky camera's world matrix: the scene camera's orientation only, as
    // the sky meshes are laid out for it. withQuarterTurn for the sky box.
    static KXMatrix skyWorldMatrix(KXCamera* camera, bool withQuarterTurn);
    void drawSceneDecorators(unsigned pass);
    void drawSelectionDecorator(KXNode* node, KXSelection* selection);
    // Whether the node's bounds, placed in the scene, are not wholly outside
    // the frustum.
    bool isNodeVisible(const KXNode* node) const;
    // Whether the shape draws anything (itself or its selection decorator)
    // in the pass.
    bool drawsInPass(KXShape* shape, unsigned pass) const;
    void runShadowPainter(const KXScene* scene);
    std::unique_ptr<KXCanvasPainter>* painterSlot(KXCanvasPainter::KXCANVASPAINTERTYPE type);

    KXRenderer* m_renderer = nullptr;
    std::unique_ptr<KXNodeDecorators> m_nodeDecorators;
    std::unique_ptr<KXNodeControllers> m_nodeControllers;
    std::unique_ptr<KXLightDecorator> m_lightDecorator;
    std::unique_ptr<KXControllerGuide> m_controllerGuide;
    std::unique_ptr<KXSceneDecorators> m_sceneDecorators;
    int m_specular = 1;
    int m_shadows = 0;
    int m_softShadows = 0;
    int m_reflection = 0;
    int m_showLights = 0;
    int m_showLightsDetail = 0;
    KXTexture3D* m_environmentTexture = nullptr;
    KXCamera::KXCAMERATYPE m_cameraType = KXCamera::KXCAMERATYPE_PERSPECTIVE;
    KXPosition m_eyePosition;
    float m_viewportScale = 1.0f;
    float m_viewportSize = 1.0f;
    KXMatrix m_sceneScaleMatrix;
    KXMatrix m_sceneOffsetMatrix;
    float m_sceneRadius = 0.0f;
    KXPosition m_sceneCenter;
    std::unique_ptr<KXCanvasPainter> m_shadowPainter;
    std::unique_ptr<KXCanvasPainter> m_reflectionPainter;
    std::unique_ptr<KXCanvasPainter> m_softShadowPainter;
    std::unique_ptr<KXCanvasPainter> m_overlayPainter;
    const KXStoryBoard* m_storyBoard = nullptr;
    // Mirrors z: the lights of a model that is not fixed are given in a
    // camera space that looks down +z, the scene's view space looks down -z.
    const KXMatrix m_lightAxisFlip{1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f,
                                   0.0f, 0.0f, -1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f};
    KXPosition m_firstLightPosition;
    std::unique_ptr<KXSceneAxes> m_sceneAxes;
    KXBounds m_referenceBounds;
    bool m_hasReferenceBounds = false;
    KXViewFrustum m_frustum;
    // Set while the transparent shapes' far sides are drawn.
    bool m_farSidePass = false;
    // The picture a tiled frame belongs to.
    bool m_tiled = false;
    unsigned m_pictureWidth = 0;
    unsigned m_pictureHeight = 0;
    KXViewport m_tile;
};
