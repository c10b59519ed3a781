#pragma once

#include "sceneapi/KXMatrix2D.h"
#include "sceneapi/KXObject.h"
#include "sceneapi/KXSceneExport.h"

// How one texture stage combines its texture with the colour coming in: the
// colour operation and its two arguments, the source of the texture
// coordinates and a transform applied to them.
//
// New attributes modulate the texture with the incoming colour (operation
// modulate, argument 0 the texture, argument 1 the current colour), read
// coordinate set 0 and have the identity as texture matrix: the plain
// textured look. Codes outside the lists below are kept as set; the renderer
// draws an unknown operation as modulate, binds no coordinates for an
// unknown index and reads an unknown argument as the constant colour.
class KXSCENE_API KXTextureAttributes : public KXObject
{
public:
    // Colour operations. The renderer draws DECAL and COMBINE as MODULATE and
    // BLEND as a half-and-half blend of the two arguments; DOT3 is the
    // per-pixel bump term.
    enum KXTEXTUREOPERATION {
        KXTEXTUREOPERATION_DISABLE = 0,
        KXTEXTUREOPERATION_MODULATE = 1,
        KXTEXTUREOPERATION_MODULATE2X = 2,
        KXTEXTUREOPERATION_DECAL = 3,
        KXTEXTUREOPERATION_BLEND = 4,
        KXTEXTUREOPERATION_REPLACE = 5, // argument 0 alone
        KXTEXTUREOPERATION_COMBINE = 6,
        KXTEXTUREOPERATION_ADD = 7,
        KXTEXTUREOPERATION_ADDSIGNED = 8,
        KXTEXTUREOPERATION_ADDSIGNED2X = 9,
        KXTEXTUREOPERATION_SUBTRACT = 10,
        KXTEXTUREOPERATION_DOT3 = 11,
    };
    // Source of the texture coordinates: one of the mesh's coordinate sets,
    // or coordinates generated per vertex in camera space.
    enum KXTEXTUREINDEX {
        KXTEXTUREINDEX_TEXCOORD0 = 0,
        KXTEXTUREINDEX_TEXCOORD1 = 1,
        KXTEXTUREINDEX_TEXCOORD2 = 2,
        KXTEXTUREINDEX_TEXCOORD3 = 3,
        KXTEXTUREINDEX_TEXCOORD4 = 4,
        KXTEXTUREINDEX_TEXCOORD5 = 5,
        KXTEXTUREINDEX_TEXCOORD6 = 6,
        KXTEXTUREINDEX_TEXCOORD7 = 7,
        KXTEXTUREINDEX_CAMERASPACENORMAL = 8,
        KXTEXTUREINDEX_CAMERASPACEPOSITION = 9,
        KXTEXTUREINDEX_CAMERASPACEREFLECTION = 10, // reflection vector
        KXTEXTUREINDEX_SPHEREMAP = 11,
    };
    // Arguments of the colour operation (the enumeration keeps its historic
    // spelling).
    enum KXTEXTUREAGRVAL {
        KXTEXTUREARG_CONSTANT = 0,
        KXTEXTUREARG_CURRENT = 1, // the result of the previous stage (the lit colour at stage 0)
        KXTEXTUREARG_DIFFUSE = 2,
        KXTEXTUREARG_SPECULAR = 3,
        KXTEXTUREARG_TEXTURE = 4,
        KXTEXTUREARG_TEXTUREFACTOR = 5,
    };
    static constexpr int NUM_TEXTURE_ARGUMENTS = 2;

    KXTextureAttributes() = default;
    explicit KXTextureAttributes(KXScene* scene) : KXObject(scene) {}
    KXTextureAttributes(const KXTextureAttributes& other) = default;

    // Takes every setting of other (not its name, scene or observers) and
    // tells observers once when anything differed.
    void copy(const KXTextureAttributes& other);

    const KXMatrix2D& getTextureMatrix() const { return m_textureMatrix; }
    void setTextureMatrix(const KXMatrix2D& matrix);

    KXTEXTUREOPERATION getTextureOperation() const { return m_operation; }
    void setTextureOperation(KXTEXTUREOPERATION operation);

    KXTEXTUREINDEX getTextureIndex() const { return m_index; }
    void setTextureIndex(KXTEXTUREINDEX index);

    // Argument 0 or 1 of the colour operation; the constant colour for any
    // other i. Setting an argument other than 0 or 1 does nothing.
    KXTEXTUREAGRVAL getTextureArgument(int i) const;
    void setTextureArgument(int i, KXTEXTUREAGRVAL value);

private:
    KXMatrix2D m_textureMatrix;
    KXTEXTUREOPERATION m_operation = KXTEXTUREOPERATION_MODULATE;
    KXTEXTUREINDEX m_index = KXTEXTUREINDEX_TEXCOORD0;
    KXTEXTUREAGRVAL m_arguments[NUM_TEXTURE_ARGUMENTS] = {KXTEXTUREARG_TEXTURE, KXTEXTUREARG_CURRENT};
};
