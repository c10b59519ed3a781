#pragma once

#include "sceneapi/KXObject.h"
#include "sceneapi/KXSceneExport.h"

class KXMaterial;
class KXPolygonAttributes;
class KXShaderProgram;
class KXTexture;
class KXTextureAttributes;

// How a shape looks: a material, up to eight texture stages (each a texture
// with optional texture attributes), polygon attributes and a shader
// program. Every part may be null.
//
// The appearance holds a reference to each part (see KXObject): a part made
// with a create… operation or handed over with a set… operation while nobody
// else holds it belongs to the appearance and is deleted with it; a part that
// others hold too is shared. Parts must therefore be made with new, never on
// the stack.
//
// The appearance observes its parts and tells its own observers of any
// change of a part (and of the images of its textures), so that whoever
// watches the appearance need not watch every part.
class KXSCENE_API KXAppearance : public KXObject, public KXObserver
{
public:
    static constexpr int MAX_TEXTURES = 8;

    KXAppearance() = default;
    explicit KXAppearance(KXScene* scene) : KXObject(scene) {}
    // Parts may be shared, so a copy would have to decide between sharing and
    // duplicating them; share parts explicitly with the setters instead.
    KXAppearance(const KXAppearance&) = delete;
    ~KXAppearance() override;

    KXMaterial* getMaterial() const { return m_material; }
    void setMaterial(KXMaterial* material);
    // Makes a new material (with the appearance's scene and the material's
    // defaults), sets it in place of the one held before and returns it.
    KXMaterial* createMaterial();

    // The texture of a stage 0..7; null for an empty stage or a stage out of
    // range. The renderer uses stages from 0 up to the first empty one.
    KXTexture* getTexture(int stage) const;
    // A stage out of range does nothing; null empties the stage.
    void setTexture(int stage, KXTexture* texture);
    // Makes a KXTexture2D for type 0 (KXTexture::KXTEXTURE_2D) or a
    // KXTexture3D for type 1 (KXTexture::KXTEXTURE_3D), sets it at the stage
    // and returns it. Null, changing nothing, for another type or a stage
    // out of range.
    KXTexture* createTexture(int type, int stage);
    // Stages in use: those from 0 up to the first without a texture.
    int getNumTextures() const;

    // The texture attributes of a stage 0..7; null when the stage has none
    // (the renderer then uses the attribute defaults) or is out of range.
    KXTextureAttributes* getTextureAttributes(int stage) const;
    void setTextureAttributes(int stage, KXTextureAttributes* attributes);
    // Null, changing nothing, for a stage out of range.
    KXTextureAttributes* createTextureAttributes(int stage);

    KXPolygonAttributes* getPolygonAttributes() const { return m_polygonAttributes; }
    void setPolygonAttributes(KXPolygonAttributes* attributes);
    KXPolygonAttributes* createPolygonAttributes();

    KXShaderProgram* getShaderProgram() const { return m_shaderProgram; }
    void setShaderProgram(KXShaderProgram* program);

    void update(KXObservable* source, const KXEvent& event) override;

private:
    // Puts part into slot: references and observes the new part, and lets go
    // of the old one once no other slot holds it. Tells observers when the
    // slot changed.
    template <class T>
    void replacePart(T*& slot, T* part);
    // Whether any slot holds part.
    bool holdsPart(const KXObservable* part) const;

    KXMaterial* m_material = nullptr;
    KXTexture* m_textures[MAX_TEXTURES] = {};
    KXTextureAttributes* m_textureAttributes[MAX_TEXTURES] = {};
    KXPolygonAttributes* m_polygonAttributes = nullptr;
    KXShaderProgram* m_shaderProgram = nullptr;
};
