#pragma once

#include "sceneapi/KXCamera.h"
#include "sceneapi/KXColor.h"
#include "sceneapi/KXObject.h"
#include "sceneapi/KXSceneExport.h"
#include "sceneapi/KXTriMesh.h"

#include <vector>

class KXLightModel;
class KXTexture2D;
class KXTexture3D;
class KXTextureAttributes;

// Base of what is drawn behind a scene. Apart from a single colour, a
// background is a tri-mesh that the background draws with a camera of its
// own, before the scene and without depth; the background owns both and
// builds them itself. Backgrounds with a texture also own a light model that
// lights their mesh.
//
// The background cameras are made for the renderers' handling of them:
// - Gradient and image backgrounds use an orthographic camera that looks at a
//   quad filling its view exactly. The quad lies at view depth 1 (one unit in
//   front of the eye), so an edit of the projection's z row, as tiled
//   rendering makes for perspective views, moves the quad the same way as a
//   perspective scene.
// - Sky boxes and sky domes use a perspective camera at the centre of their
//   mesh. The renderer turns the sky with the scene camera by giving the sky
//   camera a world matrix every frame, W = S × Ry × Rx × R for a sky box and
//   W = S × Ry × R for a sky dome (S the mirroring scale(-1, 1, 1), Rx a
//   quarter turn about x, Ry a half turn about y, R the rotation part of the
//   scene camera's view matrix × S), and uses the sky camera's own view and
//   projection. The sky camera's view (eye at the origin looking along +z
//   with -y up) and the sky meshes are laid out so that with such a W each
//   scene direction shows exactly where the scene camera shows it, not
//   mirrored. Until a renderer sets W, the world matrix is the one for a
//   scene camera looking along +y with +z up. The field of view and viewport
//   of the sky camera are the application's to keep equal to the scene
//   camera's; they start at the camera defaults.
//
// The light model of a textured background starts as six white directional
// lights along +x, -x, +y, -y, +z and -z: whichever way a normal points, the
// diffuse light on it adds up to at least full white, so the texture shows at
// full brightness.
class KXBackground : public KXObject
{
public:
    enum KXBACKGROUNDTYPE {
        KXBACKGROUNDTYPE_SINGLECOLOR = 0, // KXSingleColorBackground
        KXBACKGROUNDTYPE_GRADIENT = 1,    // KXGradientBackground
        KXBACKGROUNDTYPE_IMAGE = 2,       // KXImageBackground
        KXBACKGROUNDTYPE_SKYBOX = 3,      // KXSkyBox
        KXBACKGROUNDTYPE_SKYDOME = 4,     // KXSkyDome
    };

    KXBackground(const KXBackground&) = delete;

    virtual KXBACKGROUNDTYPE getBackgroundType() const = 0;

    // The camera the geometry is drawn with and the geometry; null for a
    // single colour.
    virtual KXCamera* getCamera() const { return nullptr; }
    virtual KXTriMesh* getGeometry() const { return nullptr; }
    // The lights the geometry is drawn with; null when it is drawn unlit.
    virtual KXLightModel* getLightModel() const { return nullptr; }

protected:
    KXBackground() = default;
    explicit KXBackground(KXScene* scene) : KXObject(scene) {}
};

// A plain colour; mid grey (0.5, 0.5, 0.5, 1) when new.
class KXSCENE_API KXSingleColorBackground : public KXBackground
{
public:
    KXSingleColorBackground() = default;
    explicit KXSingleColorBackground(KXScene* scene) : KXBackground(scene) {}

    KXBACKGROUNDTYPE getBackgroundType() const override { return KXBACKGROUNDTYPE_SINGLECOLOR; }

    const KXColor& getColor() const { return m_color; }
    void setColor(const KXColor& color);

private:
    KXColor m_color{0.5f, 0.5f, 0.5f, 1.0f};
};

// A vertical blend of colours from the bottom of the view (position 0) to the
// top (position 1), given as colour stops sorted by position: the colour is
// linear between neighbouring stops and constant beyond the first and the
// last. Two stops at the same position make a sharp edge. A new gradient runs
// from light grey (0.85, 0.85, 0.9) at the bottom to blue-grey
// (0.25, 0.35, 0.55) at the top.
//
// The geometry is a quad of horizontal bands, one band between each pair of
// neighbouring stops, with per-vertex colours and no normals or texture
// coordinates, filling the view of the background's camera exactly. It is
// built again whenever the colours change.
class KXSCENE_API KXGradientBackground : public KXBackground
{
public:
    struct KXColorStop {
        float position; // 0 at the bottom of the view, 1 at the top
        KXColor color;
    };

    KXGradientBackground();
    explicit KXGradientBackground(KXScene* scene);
    ~KXGradientBackground() override;

    KXBACKGROUNDTYPE getBackgroundType() const override { return KXBACKGROUNDTYPE_GRADIENT; }

    // Colours at the bottom (0) and the top (1) of the view.
    KXColor getBottomColor() const { return getColorAt(0.0f); }
    KXColor getTopColor() const { return getColorAt(1.0f); }
    // Sets the colour of the stop at the bottom (or top), adding one there
    // when the first (or last) stop lies inside the view.
    void setBottomColor(const KXColor& color);
    void setTopColor(const KXColor& color);
    // Replaces all stops by a two-colour blend.
    void setColors(const KXColor& bottom, const KXColor& top);

    const std::vector<KXColorStop>& getColorStops() const { return m_stops; }
    // Positions are clamped to 0..1 and the stops sorted by position (stops
    // at the same position keep their order). Stops with a non-finite
    // position are dropped; a list left empty is ignored.
    void setColorStops(std::vector<KXColorStop> stops);
    // The colour at a position of the view, 0 bottom to 1 top.
    KXColor getColorAt(float position) const;

    KXOrthoCamera* getCamera() const override { return m_camera.get(); }
    KXTriMesh* getGeometry() const override { return m_geometry.get(); }

private:
    void init();
    void rebuildGeometry();

    std::vector<KXColorStop> m_stops;
    KXRef<KXOrthoCamera> m_camera;
    KXRef<KXTriMesh> m_geometry;
};

// An image stretched over the whole view. The geometry is a quad filling the
// view of the background's camera with normals toward the camera and texture
// coordinates (0, 0) at the top left and (1, 1) at the bottom right of the
// view.
//
// A new image background has a texture without an image, no texture
// attributes and the full-bright light model; all three may be replaced,
// also by null.
class KXSCENE_API KXImageBackground : public KXBackground
{
public:
    KXImageBackground();
    explicit KXImageBackground(KXScene* scene);
    ~KXImageBackground() override;

    KXBACKGROUNDTYPE getBackgroundType() const override { return KXBACKGROUNDTYPE_IMAGE; }

    KXTexture2D* getTexture2D() const { return m_texture.get(); }
    void setTexture2D(KXTexture2D* texture);
    KXTextureAttributes* getTextureAttributes() const { return m_attributes.get(); }
    void setTextureAttributes(KXTextureAttributes* attributes);
    KXLightModel* getLightModel() const override { return m_lightModel.get(); }
    void setLightModel(KXLightModel* lightModel);

    KXOrthoCamera* getCamera() const override { return m_camera.get(); }
    KXTriMesh* getGeometry() const override { return m_geometry.get(); }

private:
    void init();

    KXRef<KXTexture2D> m_texture;
    KXRef<KXTextureAttributes> m_attributes;
    KXRef<KXLightModel> m_lightModel;
    KXRef<KXOrthoCamera> m_camera;
    KXRef<KXTriMesh> m_geometry;
};

// A cube map around the eye. Also the scene's reflection environment when it
// is set as such on the root: its cube texture is then what reflective
// surfaces mirror.
//
// The geometry is a cube of half size 1 around the camera, seen from inside:
// four vertices per face, normals pointing inward, and cubic texture
// coordinates (s, t, r) that name the cube-map direction of each vertex.
// Cube-map directions follow the usual cube-map layout (faces +X, -X, +Y, -Y,
// +Z, -Z; +Y the top, +Z the front): scene direction (x, y, z) is cube-map
// direction (x, z, y). Scene up (+z) thus shows the top face, +y the front
// face and +x the right face, each the right way up and not mirrored.
//
// A new sky box has a cube texture without an image and the full-bright
// light model; both may be replaced, also by null.
class KXSCENE_API KXSkyBox : public KXBackground
{
public:
    KXSkyBox();
    explicit KXSkyBox(KXScene* scene);
    ~KXSkyBox() override;

    KXBACKGROUNDTYPE getBackgroundType() const override { return KXBACKGROUNDTYPE_SKYBOX; }

    KXTexture3D* getTexture3D() const { return m_texture.get(); }
    void setTexture3D(KXTexture3D* texture);
    KXLightModel* getLightModel() const override { return m_lightModel.get(); }
    void setLightModel(KXLightModel* lightModel);

    KXPerspectiveCamera* getCamera() const override { return m_camera.get(); }
    KXTriMesh* getGeometry() const override { return m_geometry.get(); }

private:
    void init();

    KXRef<KXTexture3D> m_texture;
    KXRef<KXLightModel> m_lightModel;
    KXRef<KXPerspectiveCamera> m_camera;
    KXRef<KXTriMesh> m_geometry;
};

// A panorama image over the upper half of the sky. Below the horizon nothing
// is drawn.
//
// The geometry is a hemisphere of radius 1 around the camera, seen from
// inside, with normals pointing inward and texture coordinates from the scene
// direction: u runs once around the horizon, clockwise seen from above,
// starting and ending at -y, with -x at u = 0.25, +y at 0.5 and +x at 0.75;
// v is 0 at the zenith and 1 at the horizon, linear in the elevation angle.
// The image thus shows the right way up and not mirrored, its top row at the
// zenith and its middle column straight ahead along +y.
//
// A new sky dome has a texture without an image and the full-bright light
// model; both may be replaced, also by null.
class KXSCENE_API KXSkyDome : public KXBackground
{
public:
    // Tessellation of the hemisphere: segments around the horizon and rings
    // from the horizon to the zenith.
    static constexpr int SEGMENTS = 48;
    static constexpr int RINGS = 12;

    KXSkyDome();
    explicit KXSkyDome(KXScene* scene);
    ~KXSkyDome() override;

    KXBACKGROUNDTYPE getBackgroundType() const override { return KXBACKGROUNDTYPE_SKYDOME; }

    KXTexture2D* getTexture2D() const { return m_texture.get(); }
    void setTexture2D(KXTexture2D* texture);
    KXLightModel* getLightModel() const override { return m_lightModel.get(); }
    void setLightModel(KXLightModel* lightModel);

    KXPerspectiveCamera* getCamera() const override { return m_camera.get(); }
    KXTriMesh* getGeometry() const override { return m_geometry.get(); }

private:
    void init();

    KXRef<KXTexture2D> m_texture;
    KXRef<KXLightModel> m_lightModel;
    KXRef<KXPerspectiveCamera> m_camera;
    KXRef<KXTriMesh> m_geometry;
};
