#include "sceneapi/KXAppearance.h"
#include "sceneapi/KXControl.h"
#include "sceneapi/KXImage2D.h"
#include "sceneapi/KXImage3D.h"
#include "sceneapi/KXMaterial.h"
#include "sceneapi/KXParameter.h"
#include "sceneapi/KXPolygonAttributes.h"
#include "sceneapi/KXShaderProgram.h"
#include "sceneapi/KXTexture2D.h"
#include "sceneapi/KXTexture3D.h"
#include "sceneapi/KXTextureAttributes.h"
#include "sceneapi/KXVariable.h"
#include "sceneapi/KXVariant.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

// Counts the object events an observable sends.
class EventCounter : public KXObserver
{
public:
    void update(KXObservable*, const KXEvent& event) override
    {
        if (!dynamic_cast<const KXObjectEvent*>(&event))
            return;
        if (event.getKind() == KXObjectEvent::KXOBJECTEVENT_CHANGED)
            ++changes;
        else if (event.getKind() == KXObjectEvent::KXOBJECTEVENT_DESTROYING)
            ++destructions;
    }
    int changes = 0;
    int destructions = 0;
};

// An implementation that records its own deletion.
class CountingProgramImpl : public KXShaderProgramImpl
{
public:
    explicit CountingProgramImpl(int& deaths) : m_deaths(deaths) {}
    ~CountingProgramImpl() override { ++m_deaths; }

private:
    int& m_deaths;
};

// A variable that records its deletion and clones into its own class.
class CountingVariable : public KXVariable
{
public:
    CountingVariable(const KXVariant& value, int& deaths) : KXVariable(value), m_deaths(deaths) {}
    ~CountingVariable() override { ++m_deaths; }
    KXVariable* clone() const override { return new CountingVariable(*this); }

private:
    CountingVariable(const CountingVariable&) = default;
    int& m_deaths;
};

KXRef<KXImage2D> makeImage(unsigned char byte)
{
    return KXMake<KXImage2D>(&byte, 1, KXImage2D::KXIMAGE2D_BMP);
}

KXParameter* makeParameter(const wchar_t* name, KXVariable* variable = nullptr)
{
    KXParameter* parameter = new KXParameter(nullptr, variable);
    parameter->setName(name);
    return parameter;
}

} // namespace

// ---------------------------------------------------------------- material

TEST(MaterialTest, NewMaterialIsOpaqueAndSettersNotifyOnlyRealChanges)
{
    KXMaterial material;
    // An opaque diffuse alpha keeps shapes out of the transparent pass.
    EXPECT_EQ(material.getDiffuseColor().getA(), 1.0f);
    EXPECT_EQ(material.getShininess(), 0.0f);

    EventCounter counter;
    material.registerObserver(&counter);
    material.setDiffuseColor(material.getDiffuseColor());
    material.setShininess(0.0f);
    EXPECT_EQ(counter.changes, 0);

    material.setEmissiveColor(KXColor(0.1f, 0.2f, 0.3f, 0.4f));
    material.setShininess(5.0f);
    EXPECT_EQ(counter.changes, 2);

    // Setting everything at once is a single change, and none when nothing differs.
    const KXColor zero(0, 0, 0, 0);
    material.set(zero, KXColor(1, 1, 1, 0.3f), zero, zero, 5.0f);
    EXPECT_EQ(counter.changes, 3);
    material.set(zero, KXColor(1, 1, 1, 0.3f), zero, zero, 5.0f);
    EXPECT_EQ(counter.changes, 3);
    EXPECT_EQ(material.getDiffuseColor(), KXColor(1, 1, 1, 0.3f));
    EXPECT_EQ(material.getAmbientColor(), zero);
    material.unregisterObserver(&counter);
}

// ---------------------------------------------------------------- textures

TEST(TextureTest, ImageSharedByTexturesLivesWhileAnyHoldsIt)
{
    EventCounter imageEvents;
    KXImage2D* image = new KXImage2D();
    image->registerObserver(&imageEvents);

    KXRef<KXTexture2D> first = KXMake<KXTexture2D>();
    KXRef<KXTexture2D> second = KXMake<KXTexture2D>();
    first->setImage2D(image);
    second->setImage2D(image);
    EXPECT_EQ(image->getRefCount(), 2);
    EXPECT_EQ(first->getImage2D(), image);

    first->setImage2D(nullptr);
    EXPECT_EQ(imageEvents.destructions, 0);
    EXPECT_EQ(image->getRefCount(), 1);

    // The last holder gone, the image goes with it.
    second = nullptr;
    EXPECT_EQ(imageEvents.destructions, 1);
}

TEST(TextureTest, ImageHeldByItsCreatorOutlivesTheAppearance)
{
    // The pattern of code that makes an image, lends it to an appearance and
    // later drops both in any order.
    KXRef<KXImage2D> image = makeImage(7);
    KXAppearance* appearance = new KXAppearance(nullptr);
    auto* texture = static_cast<KXTexture2D*>(appearance->createTexture(KXTexture::KXTEXTURE_2D, 0));
    texture->setImage2D(image.get());
    EXPECT_EQ(image->getRefCount(), 2);
    delete appearance;
    EXPECT_EQ(image->getRefCount(), 1);
    EXPECT_EQ(image->getSize(), 1u);
}

TEST(TextureTest, ImageDataChangeReachesTextureAndAppearanceObservers)
{
    KXRef<KXImage3D> cube = KXMake<KXImage3D>();
    KXRef<KXAppearance> appearance = KXMake<KXAppearance>();
    auto* texture = static_cast<KXTexture3D*>(appearance->createTexture(KXTexture::KXTEXTURE_3D, 1));
    texture->setImage3D(cube.get());

    EventCounter textureEvents, appearanceEvents;
    texture->registerObserver(&textureEvents);
    appearance->registerObserver(&appearanceEvents);
    const unsigned char face = 1;
    cube->setComponentData(0, &face, 1, KXImage2D::KXIMAGE2D_PNG);
    EXPECT_EQ(textureEvents.changes, 1);
    EXPECT_EQ(appearanceEvents.changes, 1);

    // A released image no longer speaks for the texture.
    texture->setImage3D(nullptr);
    textureEvents.changes = 0;
    cube->setComponentData(1, &face, 1, KXImage2D::KXIMAGE2D_PNG);
    EXPECT_EQ(textureEvents.changes, 0);
    texture->unregisterObserver(&textureEvents);
    appearance->unregisterObserver(&appearanceEvents);
}

TEST(TextureTest, CopySharesTheImageAndKeepsFilters)
{
    KXRef<KXImage2D> image = makeImage(1);
    KXRef<KXTexture2D> original = KXMake<KXTexture2D>();
    original->setImage2D(image.get());
    original->setMinFilter(KXTexture::KXTEXTUREFILTER_ANISOTROPIC);
    {
        KXRef<KXTexture2D> copy = KXMake<KXTexture2D>(*original);
        EXPECT_EQ(copy->getImage2D(), image.get());
        EXPECT_EQ(copy->getMinFilter(), KXTexture::KXTEXTUREFILTER_ANISOTROPIC);
        EXPECT_EQ(image->getRefCount(), 3);
    }
    EXPECT_EQ(image->getRefCount(), 2);
}

// ---------------------------------------------------------------- texture attributes

TEST(TextureAttributesTest, DefaultsGiveThePlainTexturedLook)
{
    KXTextureAttributes attributes;
    EXPECT_EQ(attributes.getTextureOperation(), KXTextureAttributes::KXTEXTUREOPERATION_MODULATE);
    EXPECT_EQ(attributes.getTextureIndex(), KXTextureAttributes::KXTEXTUREINDEX_TEXCOORD0);
    EXPECT_EQ(attributes.getTextureArgument(0), KXTextureAttributes::KXTEXTUREARG_TEXTURE);
    EXPECT_EQ(attributes.getTextureArgument(1), KXTextureAttributes::KXTEXTUREARG_CURRENT);
    EXPECT_TRUE(attributes.getTextureMatrix().isIdentity());
}

TEST(TextureAttributesTest, ArgumentsOutsideZeroAndOneAreIgnored)
{
    KXTextureAttributes attributes;
    EventCounter counter;
    attributes.registerObserver(&counter);
    attributes.setTextureArgument(2, KXTextureAttributes::KXTEXTUREARG_SPECULAR);
    attributes.setTextureArgument(-1, KXTextureAttributes::KXTEXTUREARG_SPECULAR);
    EXPECT_EQ(counter.changes, 0);
    EXPECT_EQ(attributes.getTextureArgument(2), KXTextureAttributes::KXTEXTUREARG_CONSTANT);
    EXPECT_EQ(attributes.getTextureArgument(-1), KXTextureAttributes::KXTEXTUREARG_CONSTANT);
    EXPECT_EQ(attributes.getTextureArgument(1), KXTextureAttributes::KXTEXTUREARG_CURRENT);
    attributes.unregisterObserver(&counter);
}

TEST(TextureAttributesTest, CopyTakesEverySettingFromTheArgumentWithOneNotification)
{
    KXTextureAttributes source;
    source.setTextureMatrix(KXMatrix2D::scaling(2.0f, 3.0f));
    source.setTextureOperation(KXTextureAttributes::KXTEXTUREOPERATION_ADDSIGNED);
    source.setTextureIndex(KXTextureAttributes::KXTEXTUREINDEX_SPHEREMAP);
    source.setTextureArgument(0, KXTextureAttributes::KXTEXTUREARG_DIFFUSE);
    source.setTextureArgument(1, KXTextureAttributes::KXTEXTUREARG_TEXTUREFACTOR);

    KXTextureAttributes target;
    EventCounter counter;
    target.registerObserver(&counter);
    target.copy(source);
    EXPECT_EQ(counter.changes, 1);
    EXPECT_EQ(target.getTextureMatrix(), KXMatrix2D::scaling(2.0f, 3.0f));
    EXPECT_EQ(target.getTextureOperation(), KXTextureAttributes::KXTEXTUREOPERATION_ADDSIGNED);
    EXPECT_EQ(target.getTextureIndex(), KXTextureAttributes::KXTEXTUREINDEX_SPHEREMAP);
    EXPECT_EQ(target.getTextureArgument(0), KXTextureAttributes::KXTEXTUREARG_DIFFUSE);
    EXPECT_EQ(target.getTextureArgument(1), KXTextureAttributes::KXTEXTUREARG_TEXTUREFACTOR);
    // The source is read, never written.
    EXPECT_EQ(source.getTextureOperation(), KXTextureAttributes::KXTEXTUREOPERATION_ADDSIGNED);

    target.copy(source);
    target.copy(target);
    EXPECT_EQ(counter.changes, 1);
    target.unregisterObserver(&counter);
}

// ---------------------------------------------------------------- appearance

TEST(AppearanceTest, CreateTextureMakesTheClassOfTheTypeAndRefusesTheRest)
{
    KXRef<KXAppearance> appearance = KXMake<KXAppearance>();
    KXTexture* flat = appearance->createTexture(0, 0);
    KXTexture* cube = appearance->createTexture(1, 7);
    ASSERT_NE(flat, nullptr);
    ASSERT_NE(cube, nullptr);
    EXPECT_NE(dynamic_cast<KXTexture2D*>(flat), nullptr);
    EXPECT_EQ(flat->getTextureType(), KXTexture::KXTEXTURE_2D);
    EXPECT_NE(dynamic_cast<KXTexture3D*>(cube), nullptr);
    EXPECT_EQ(cube->getTextureType(), KXTexture::KXTEXTURE_3D);
    EXPECT_EQ(appearance->getTexture(0), flat);
    EXPECT_EQ(appearance->getTexture(7), cube);

    EXPECT_EQ(appearance->createTexture(2, 0), nullptr);
    EXPECT_EQ(appearance->createTexture(-1, 0), nullptr);
    EXPECT_EQ(appearance->createTexture(0, 8), nullptr);
    EXPECT_EQ(appearance->createTexture(0, -1), nullptr);
    EXPECT_EQ(appearance->getTexture(0), flat);
    EXPECT_EQ(appearance->getTexture(8), nullptr);
    EXPECT_EQ(appearance->createTextureAttributes(8), nullptr);
    EXPECT_EQ(appearance->getTextureAttributes(-1), nullptr);
}

TEST(AppearanceTest, NumTexturesCountsStagesUpToTheFirstGap)
{
    KXRef<KXAppearance> appearance = KXMake<KXAppearance>();
    EXPECT_EQ(appearance->getNumTextures(), 0);
    appearance->createTexture(0, 0);
    appearance->createTexture(0, 1);
    appearance->createTexture(0, 3);
    EXPECT_EQ(appearance->getNumTextures(), 2);
    appearance->createTexture(1, 2);
    EXPECT_EQ(appearance->getNumTextures(), 4);
    appearance->setTexture(0, nullptr);
    EXPECT_EQ(appearance->getNumTextures(), 0);
}

TEST(AppearanceTest, CreateReplacesAndReleasesTheOldPart)
{
    KXRef<KXAppearance> appearance = KXMake<KXAppearance>();
    EventCounter firstEvents;
    KXMaterial* first = appearance->createMaterial();
    first->registerObserver(&firstEvents);
    KXMaterial* second = appearance->createMaterial();
    EXPECT_NE(second, first);
    EXPECT_EQ(appearance->getMaterial(), second);
    EXPECT_EQ(firstEvents.destructions, 1);

    EventCounter attributeEvents;
    appearance->createTextureAttributes(3)->registerObserver(&attributeEvents);
    appearance->createTextureAttributes(3);
    EXPECT_EQ(attributeEvents.destructions, 1);

    EventCounter polygonEvents;
    appearance->createPolygonAttributes()->registerObserver(&polygonEvents);
    appearance->setPolygonAttributes(nullptr);
    EXPECT_EQ(polygonEvents.destructions, 1);
    EXPECT_EQ(appearance->getPolygonAttributes(), nullptr);
}

TEST(AppearanceTest, PartsSharedBetweenAppearancesAndStagesAreReleasedOnce)
{
    EventCounter materialEvents, textureEvents, programEvents;
    KXMaterial* material = new KXMaterial();
    KXTexture2D* texture = new KXTexture2D();
    KXShaderProgram* program = new KXShaderProgram();
    material->registerObserver(&materialEvents);
    texture->registerObserver(&textureEvents);
    program->registerObserver(&programEvents);

    KXAppearance* a = new KXAppearance();
    KXAppearance* b = new KXAppearance();
    a->setMaterial(material);
    b->setMaterial(material);
    a->setTexture(0, texture);
    a->setTexture(1, texture);
    b->setTexture(0, texture);
    a->setShaderProgram(program);
    b->setShaderProgram(program);
    EXPECT_EQ(material->getRefCount(), 2);
    EXPECT_EQ(texture->getRefCount(), 3);

    delete a;
    EXPECT_EQ(materialEvents.destructions + textureEvents.destructions + programEvents.destructions, 0);
    EXPECT_EQ(texture->getRefCount(), 1);
    // b still follows the shared parts.
    EventCounter bEvents;
    b->registerObserver(&bEvents);
    material->setShininess(20.0f);
    texture->setMagFilter(KXTexture::KXTEXTUREFILTER_POINT);
    program->setTransparent(true);
    EXPECT_EQ(bEvents.changes, 3);
    b->unregisterObserver(&bEvents);

    delete b;
    EXPECT_EQ(materialEvents.destructions, 1);
    EXPECT_EQ(textureEvents.destructions, 1);
    EXPECT_EQ(programEvents.destructions, 1);
}

TEST(AppearanceTest, TextureInTwoStagesIsFollowedUntilBothLetGo)
{
    KXRef<KXAppearance> appearance = KXMake<KXAppearance>();
    KXRef<KXTexture2D> texture = KXMake<KXTexture2D>();
    appearance->setTexture(0, texture.get());
    appearance->setTexture(1, texture.get());

    EventCounter events;
    appearance->registerObserver(&events);
    appearance->setTexture(0, nullptr);
    EXPECT_EQ(events.changes, 1);
    texture->setMipFilter(KXTexture::KXTEXTUREFILTER_POINT);
    EXPECT_EQ(events.changes, 2);
    appearance->setTexture(1, nullptr);
    texture->setMipFilter(KXTexture::KXTEXTUREFILTER_LINEAR);
    EXPECT_EQ(events.changes, 3);
    EXPECT_EQ(texture->getRefCount(), 1);
    appearance->unregisterObserver(&events);
}

TEST(AppearanceTest, ChangesOfPartsPropagateToAppearanceObservers)
{
    KXRef<KXAppearance> appearance = KXMake<KXAppearance>();
    KXMaterial* material = appearance->createMaterial();
    KXTextureAttributes* attributes = appearance->createTextureAttributes(0);
    KXPolygonAttributes* polygon = appearance->createPolygonAttributes();

    EventCounter events;
    appearance->registerObserver(&events);
    material->setDiffuseColor(KXColor(1, 0, 0, 0.5f));
    EXPECT_EQ(events.changes, 1);
    attributes->setTextureOperation(KXTextureAttributes::KXTEXTUREOPERATION_ADD);
    EXPECT_EQ(events.changes, 2);
    polygon->setPolygonOffset(-1.0f);
    EXPECT_EQ(events.changes, 3);

    // A material the appearance let go of no longer speaks for it.
    KXRef<KXMaterial> old = material;
    appearance->createMaterial();
    EXPECT_EQ(events.changes, 4);
    old->setShininess(9.0f);
    EXPECT_EQ(events.changes, 4);
    appearance->unregisterObserver(&events);
}

TEST(AppearanceTest, CreatedPartsShareTheAppearanceScene)
{
    KXScene* scene = reinterpret_cast<KXScene*>(0x1000); // never dereferenced
    KXRef<KXAppearance> appearance = KXMake<KXAppearance>(scene);
    EXPECT_EQ(appearance->createMaterial()->getScene(), scene);
    EXPECT_EQ(appearance->createTexture(1, 0)->getScene(), scene);
    EXPECT_EQ(appearance->createTextureAttributes(0)->getScene(), scene);
    EXPECT_EQ(appearance->createPolygonAttributes()->getScene(), scene);
}

// ---------------------------------------------------------------- shader program

TEST(ShaderProgramTest, ImplementationIsDiscardedWhenTheEffectIsStaleAndOnDestruction)
{
    int deaths = 0;
    KXShaderProgram* program = new KXShaderProgram();
    program->setSource("technique T {}");
    program->setImplementation(new CountingProgramImpl(deaths));

    // Settings that do not touch the compiled effect keep it.
    program->setSource(std::string("technique T {}"));
    program->setTransparent(true);
    program->addParameter(makeParameter(L"p"));
    EXPECT_NE(program->getImplementation(), nullptr);
    EXPECT_EQ(deaths, 0);

    program->setSource("technique U {}", 14);
    EXPECT_EQ(program->getImplementation(), nullptr);
    EXPECT_EQ(deaths, 1);

    KXRef<KXImage2D> image = makeImage(1);
    program->setImplementation(new CountingProgramImpl(deaths));
    program->setImage(L"tex", image.get());
    EXPECT_EQ(deaths, 2);

    program->setImplementation(new CountingProgramImpl(deaths));
    image->setData("xy", 2, KXImage2D::KXIMAGE2D_PNG);
    EXPECT_EQ(deaths, 3);

    program->setImplementation(new CountingProgramImpl(deaths));
    program->removeImage(L"tex");
    EXPECT_EQ(deaths, 4);

    // Replacing the implementation disposes of the one before.
    program->setImplementation(new CountingProgramImpl(deaths));
    program->setImplementation(new CountingProgramImpl(deaths));
    EXPECT_EQ(deaths, 5);

    delete program;
    EXPECT_EQ(deaths, 6);
}

TEST(ShaderProgramTest, SourceBytesAreKeptAsGiven)
{
    KXShaderProgram program;
    EXPECT_EQ(program.getSourceBuffer(), nullptr);
    EXPECT_EQ(program.getSourceSize(), 0u);

    const char source[] = {'a', '\0', 'b'};
    EXPECT_EQ(program.setSource(source, 3), 0);
    ASSERT_EQ(program.getSourceSize(), 3u);
    EXPECT_EQ(program.getSourceBuffer()[2], 'b');

    EXPECT_EQ(program.setSource(nullptr, 4), -3);
    EXPECT_EQ(program.getSourceSize(), 3u);
    EXPECT_EQ(program.setSource(nullptr, 0), 0);
    EXPECT_EQ(program.getSourceBuffer(), nullptr);
}

TEST(ShaderProgramTest, ImagesAreFoundByExactNameAndHeldByReference)
{
    KXRef<KXImage2D> wood = makeImage(1);
    KXRef<KXImage2D> stone = makeImage(2);
    KXRef<KXShaderProgram> program = KXMake<KXShaderProgram>();
    program->setImage(L"Diffuse", wood.get());
    program->setImage(L"Bump", wood.get());
    EXPECT_EQ(program->getImage(L"Diffuse"), wood.get());
    EXPECT_EQ(program->getImage(L"diffuse"), nullptr);
    EXPECT_EQ(program->getImage(L"Diff"), nullptr);
    EXPECT_EQ(program->getImage(nullptr), nullptr);
    EXPECT_EQ(program->getNumImages(), 2);
    EXPECT_EQ(wood->getRefCount(), 3);

    program->setImage(L"Diffuse", stone.get());
    EXPECT_EQ(program->getImage(L"Diffuse"), stone.get());
    EXPECT_EQ(wood->getRefCount(), 2);
    EXPECT_STREQ(program->getImageName(0), L"Diffuse");
    EXPECT_EQ(program->getImageName(2), nullptr);

    // The image under a second name is still followed.
    int deaths = 0;
    program->setImplementation(new CountingProgramImpl(deaths));
    wood->setData("z", 1, KXImage2D::KXIMAGE2D_BMP);
    EXPECT_EQ(deaths, 1);

    EXPECT_FALSE(program->removeImage(L"Missing"));
    program->setImage(L"Bump", nullptr);
    EXPECT_EQ(program->getNumImages(), 1);
    EXPECT_EQ(wood->getRefCount(), 1);
    program = nullptr;
    EXPECT_EQ(stone->getRefCount(), 1);
}

TEST(ShaderProgramTest, FindParameterMatchesExactlyAndTheFirstWins)
{
    KXShaderProgram program;
    KXParameter* unnamed = makeParameter(L"");
    KXParameter* first = makeParameter(L"Strength");
    KXParameter* second = makeParameter(L"Strength");
    KXParameter* other = makeParameter(L"strength");
    program.addParameter(unnamed);
    program.addParameter(first);
    program.addParameter(second);
    program.addParameter(other);
    program.addParameter(nullptr);
    program.addParameter(first);
    ASSERT_EQ(program.getNumParameters(), 4);
    EXPECT_EQ(program.getParameter(3), other);
    EXPECT_EQ(program.getParameter(4), nullptr);

    EXPECT_EQ(program.findParameter(L"Strength"), first);
    EXPECT_EQ(program.findParameter(L"strength"), other);
    EXPECT_EQ(program.findParameter(L"STRENGTH"), nullptr);
    EXPECT_EQ(program.findParameter(L"Strengt"), nullptr);
    EXPECT_EQ(program.findParameter(L""), nullptr);
    EXPECT_EQ(program.findParameter(nullptr), nullptr);
}

TEST(ShaderProgramTest, ParametersAreOwnedAndCopiesCloneThem)
{
    int deaths = 0;
    KXRef<KXImage2D> image = makeImage(1);
    KXShaderProgram* program = new KXShaderProgram();
    program->setSource("fx");
    program->setImage(L"tex", image.get());
    program->addParameter(makeParameter(L"a", new CountingVariable(KXVariant(0.5f), deaths)));
    program->setImplementation(new CountingProgramImpl(deaths));

    KXShaderProgram* copy = new KXShaderProgram(*program);
    EXPECT_EQ(copy->getImplementation(), nullptr);
    EXPECT_EQ(copy->getSource(), "fx");
    EXPECT_EQ(copy->getImage(L"tex"), image.get());
    ASSERT_EQ(copy->getNumParameters(), 1);
    KXParameter* cloned = copy->getParameter(0);
    EXPECT_NE(cloned, program->getParameter(0));
    EXPECT_EQ(cloned->getName(), L"a");
    ASSERT_NE(dynamic_cast<CountingVariable*>(cloned->getVariable()), nullptr);
    EXPECT_EQ(cloned->getVariable()->getValue().getFloat(), 0.5f);

    // Each program deletes its own parameter (and the original its implementation).
    program->removeAllParameters();
    EXPECT_EQ(program->getNumParameters(), 0);
    EXPECT_EQ(deaths, 1);
    delete program;
    EXPECT_EQ(deaths, 2);
    delete copy;
    EXPECT_EQ(deaths, 3);
    EXPECT_EQ(image->getRefCount(), 1);
}

// ---------------------------------------------------------------- parameters and controls

TEST(ParameterTest, SliderClonesAsSliderWhileColourAndFileCloneAsPlainControls)
{
    KXSliderControl slider(L"Strength", L"Strength", 0.0f, 1.0f, 4);
    slider.setEnabled(false);
    std::unique_ptr<KXControl> sliderCopy(slider.clone());
    auto* asSlider = dynamic_cast<KXSliderControl*>(sliderCopy.get());
    ASSERT_NE(asSlider, nullptr);
    EXPECT_EQ(asSlider->getKind(), KXControl::KXCONTROL_SLIDER);
    EXPECT_FALSE(asSlider->isEnabled());
    EXPECT_EQ(asSlider->getName(), L"Strength");
    EXPECT_EQ(asSlider->getMaximum(), 1.0f);
    EXPECT_EQ(asSlider->getSteps(), 4);

    KXColorControl colour(L"Tint", L"Tint colour");
    EXPECT_TRUE(colour.isEnabled());
    std::unique_ptr<KXControl> colourCopy(colour.clone());
    EXPECT_EQ(dynamic_cast<KXColorControl*>(colourCopy.get()), nullptr);
    EXPECT_EQ(colourCopy->getKind(), KXControl::KXCONTROL_COLOR);
    EXPECT_EQ(colourCopy->getLabel(), L"Tint colour");

    KXFileControl file(L"Map", L"Map");
    std::unique_ptr<KXControl> fileCopy(file.clone());
    EXPECT_EQ(fileCopy->getKind(), KXControl::KXCONTROL_FILE);
}

TEST(ParameterTest, CloneIsDeepAndEachParameterDeletesItsOwnParts)
{
    int deaths = 0;
    auto* parameter = new KXParameter(new KXSliderControl(L"s", L"s", -1.0f, 1.0f, 10),
                                      new CountingVariable(KXVariant(KXColor(1, 0, 0, 1)), deaths));
    parameter->setName(L"Tint");
    KXParameter* copy = parameter->clone();
    EXPECT_EQ(copy->getName(), L"Tint");
    EXPECT_NE(copy->getControl(), parameter->getControl());
    EXPECT_NE(copy->getVariable(), parameter->getVariable());
    EXPECT_EQ(copy->getVariable()->getValue(), parameter->getVariable()->getValue());

    // Replacing the variable deletes the old one.
    copy->setVariable(new CountingVariable(KXVariant(2), deaths));
    EXPECT_EQ(deaths, 1);
    delete parameter;
    EXPECT_EQ(deaths, 2);
    delete copy;
    EXPECT_EQ(deaths, 3);

    KXParameter empty;
    std::unique_ptr<KXParameter> emptyCopy(empty.clone());
    EXPECT_EQ(emptyCopy->getControl(), nullptr);
    EXPECT_EQ(emptyCopy->getVariable(), nullptr);
}

TEST(ParameterTest, DetachedVariableKeepsItsValueThroughApplyAndClone)
{
    KXVariable variable(KXVariant(0.25f));
    variable.apply();
    EXPECT_EQ(variable.getValue().getFloat(), 0.25f);
    std::unique_ptr<KXVariable> copy(variable.clone());
    variable.setValue(KXVariant(L"text"));
    EXPECT_EQ(copy->getValue().getFloat(), 0.25f);
    EXPECT_EQ(variable.getValue().getString(), L"text");
}

// ---------------------------------------------------------------- variants

TEST(VariantTest, TypeCodesOfTheEffectValueKinds)
{
    EXPECT_EQ(KXVariant().getType(), 0);
    EXPECT_EQ(KXVariant(1.5f).getType(), 3);
    EXPECT_EQ(KXVariant(L"name").getType(), 4);
    const float rgba[4] = {0.1f, 0.2f, 0.3f, 0.4f};
    EXPECT_EQ(KXVariant(rgba, 4).getType(), 0x1003);
    EXPECT_EQ(KXVariant(KXColor(1, 1, 1, 1)).getType(), 0x1003);
    EXPECT_EQ(KXVariant(true).getType(), KXVariant::KXVARIANT_BOOL);
    EXPECT_EQ(KXVariant(7).getType(), KXVariant::KXVARIANT_INT);
}

TEST(VariantTest, ValuesRoundTripAndMismatchedReadsAreNeutral)
{
    const KXColor colour(0.1f, 0.2f, 0.3f, 0.4f);
    const KXVariant colourValue(colour);
    EXPECT_EQ(colourValue.getColor(), colour);
    EXPECT_EQ(colourValue.getNumFloats(), 4);
    EXPECT_EQ(colourValue.getFloat(), 0.0f);
    EXPECT_TRUE(colourValue.getString().empty());

    float three[3] = {9, 9, 9};
    EXPECT_EQ(KXVariant(std::vector<float>{1, 2}).getFloats(three, 3), 2);
    EXPECT_EQ(three[1], 2.0f);
    EXPECT_EQ(three[2], 0.0f);

    const KXMatrix m = KXMatrix::translation(1, 2, 3);
    EXPECT_EQ(KXVariant(m).getMatrix(), m);
    EXPECT_TRUE(KXVariant(2.0f).getMatrix().isIdentity());

    EXPECT_EQ(KXVariant(3).getFloat(), 3.0f);
    EXPECT_EQ(KXVariant(2.9f).getInt(), 2);
    EXPECT_TRUE(KXVariant(true).getBool());
    EXPECT_EQ(KXVariant(L"x").getInt(), 0);
    EXPECT_EQ(KXVariant(L"x").getColor(), KXColor());
    EXPECT_TRUE(KXVariant(static_cast<const wchar_t*>(nullptr)).getString().empty());

    KXVariant copy = colourValue;
    EXPECT_EQ(copy, colourValue);
    copy = KXVariant(L"other");
    EXPECT_NE(copy, colourValue);
}
