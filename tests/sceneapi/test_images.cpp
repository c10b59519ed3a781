// KXImage2D and KXImage3D: encoded data, image types and the implementation
// slot that the renderer hangs its textures in.

#include "sceneapi/KXImage2D.h"
#include "sceneapi/KXImage3D.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// An implementation that reports its own deletion.
class TrackedImplementation : public KXImplementation
{
public:
    explicit TrackedImplementation(int& deletions) : m_deletions(deletions) {}
    ~TrackedImplementation() override { ++m_deletions; }

private:
    int& m_deletions;
};

class ChangeCounter : public KXObserver
{
public:
    void update(KXObservable*, const KXEvent& event) override
    {
        if (dynamic_cast<const KXObjectEvent*>(&event) && event.getKind() == KXObjectEvent::KXOBJECTEVENT_CHANGED)
            ++changes;
    }
    int changes = 0;
};

const std::string BYTES = "not really a file";

} // namespace

TEST(Image2D, HoldsACopyOfTheEncodedBytesAndTheirType)
{
    std::string source = BYTES;
    auto image = KXMake<KXImage2D>();
    EXPECT_EQ(KXImage::KXIMAGE_2D, image->getType());
    EXPECT_EQ(nullptr, image->getData());
    EXPECT_EQ(KXImage2D::KXIMAGE2D_UNKNOWN, image->getFileType());

    EXPECT_EQ(0, image->setData(source.data(), source.size(), KXImage2D::KXIMAGE2D_PNG));
    source[0] = 'X';
    ASSERT_EQ(BYTES.size(), image->getSize());
    EXPECT_EQ(BYTES, std::string(reinterpret_cast<const char*>(image->getData()), image->getSize()));
    EXPECT_EQ(KXImage2D::KXIMAGE2D_PNG, image->getFileType());

    EXPECT_EQ(-3, image->setData(nullptr, 4, KXImage2D::KXIMAGE2D_PNG));
    EXPECT_EQ(BYTES.size(), image->getSize());
    EXPECT_EQ(0, image->setData(nullptr, 0, KXImage2D::KXIMAGE2D_BMP));
    EXPECT_EQ(nullptr, image->getData());
}

TEST(Image2D, ImplementationLivesUntilTheDataChangeOrTheImageGoes)
{
    int deletions = 0;
    auto image = KXMake<KXImage2D>(BYTES.data(), BYTES.size(), KXImage2D::KXIMAGE2D_JPG);
    auto* first = new TrackedImplementation(deletions);
    image->setImplementation(first);
    EXPECT_EQ(first, image->getImplementation());
    image->setImplementation(first);
    EXPECT_EQ(0, deletions);

    // Replacing deletes the old one; changing the data deletes the current one.
    image->setImplementation(new TrackedImplementation(deletions));
    EXPECT_EQ(1, deletions);
    image->setData(BYTES.data(), 3, KXImage2D::KXIMAGE2D_JPG);
    EXPECT_EQ(2, deletions);
    EXPECT_EQ(nullptr, image->getImplementation());

    image->setImplementation(new TrackedImplementation(deletions));
    image->clearData();
    EXPECT_EQ(3, deletions);

    image->setImplementation(new TrackedImplementation(deletions));
    image = nullptr;
    EXPECT_EQ(4, deletions);
}

TEST(Image2D, CopyTakesTheDataButNotTheImplementation)
{
    int deletions = 0;
    auto image = KXMake<KXImage2D>(BYTES.data(), BYTES.size(), KXImage2D::KXIMAGE2D_BMP);
    image->setImplementation(new TrackedImplementation(deletions));
    auto copy = KXMake<KXImage2D>(*image);
    EXPECT_EQ(nullptr, copy->getImplementation());
    EXPECT_EQ(image->getSize(), copy->getSize());
    EXPECT_EQ(KXImage2D::KXIMAGE2D_BMP, copy->getFileType());
    copy = nullptr;
    EXPECT_EQ(0, deletions);
}

TEST(Image2D, DataChangesAreAnnounced)
{
    auto image = KXMake<KXImage2D>();
    ChangeCounter counter;
    image->registerObserver(&counter);
    image->setData(BYTES.data(), BYTES.size(), KXImage2D::KXIMAGE2D_PNG);
    image->setData(std::vector<unsigned char>(4, 0), KXImage2D::KXIMAGE2D_PNG);
    image->setImplementation(nullptr);
    EXPECT_EQ(2, counter.changes);
    image->unregisterObserver(&counter);
}

TEST(Image3D, OneFileFormsAndTheSixFaceForm)
{
    auto image = KXMake<KXImage3D>();
    EXPECT_EQ(KXImage::KXIMAGE_3D, image->getType());

    EXPECT_EQ(0, image->setData(BYTES.data(), BYTES.size(), KXImage3D::KXIMAGE3D_VOLUME));
    EXPECT_EQ(KXImage3D::KXIMAGE3D_VOLUME, image->getImage3DType());
    EXPECT_EQ(BYTES.size(), image->getSize());
    EXPECT_EQ(KXImage2D::KXIMAGE2D_DDS, image->getFileType());
    EXPECT_EQ(-1, image->setData(BYTES.data(), BYTES.size(), KXImage3D::KXIMAGE3D_CUBEFACES));
    EXPECT_EQ(KXImage3D::KXIMAGE3D_VOLUME, image->getImage3DType());

    for (int face = 0; face < KXImage3D::NUM_CUBEMAP_FACES; ++face) {
        const std::string file = "face" + std::to_string(face);
        EXPECT_EQ(0, image->setComponentData(face, file.data(), file.size(), KXImage2D::KXIMAGE2D_PNG));
    }
    EXPECT_EQ(KXImage3D::KXIMAGE3D_CUBEFACES, image->getImage3DType());
    const int face = KXImage3D::KXCUBEMAP_NEGATIVE_Y;
    EXPECT_EQ("face3", std::string(reinterpret_cast<const char*>(image->getComponentData(face)),
                                   image->getComponentSize(face)));
    EXPECT_EQ(KXImage2D::KXIMAGE2D_PNG, image->getComponentType(face));
}

TEST(Image3D, FacesOutsideTheCubeAreEmpty)
{
    auto image = KXMake<KXImage3D>();
    for (int face : {-1, 6, 1000}) {
        EXPECT_EQ(nullptr, image->getComponentData(face));
        EXPECT_EQ(0u, image->getComponentSize(face));
        EXPECT_EQ(KXImage2D::KXIMAGE2D_UNKNOWN, image->getComponentType(face));
        EXPECT_EQ(-1, image->setComponentData(face, BYTES.data(), BYTES.size(), KXImage2D::KXIMAGE2D_PNG));
    }
    EXPECT_EQ(nullptr, image->getComponentData(0));
}

TEST(Image3D, ChangingAFaceDropsTheImplementation)
{
    int deletions = 0;
    auto image = KXMake<KXImage3D>();
    image->setImplementation(new TrackedImplementation(deletions));
    image->setComponentData(KXImage3D::KXCUBEMAP_POSITIVE_Z, BYTES.data(), BYTES.size(), KXImage2D::KXIMAGE2D_BMP);
    EXPECT_EQ(1, deletions);
    EXPECT_EQ(nullptr, image->getImplementation());

    auto copy = KXMake<KXImage3D>(*image);
    EXPECT_EQ(BYTES.size(), copy->getComponentSize(KXImage3D::KXCUBEMAP_POSITIVE_Z));
    EXPECT_EQ(KXImage3D::KXIMAGE3D_CUBEFACES, copy->getImage3DType());
}
