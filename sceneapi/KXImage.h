#pragma once

#include "sceneapi/KXObject.h"

// Base of the images that appearances, backgrounds and shader programs use.
//
// An image carries an implementation slot for the renderer's form of it (a
// texture on a device). The slot owns that object: it is deleted when the
// image is destroyed and whenever the image's data change, so that the
// renderer builds a new one from the new data.
class KXImage : public KXObject
{
public:
    enum KXIMAGETYPE {
        KXIMAGE_2D = 0, // a KXImage2D
        KXIMAGE_3D = 1, // a KXImage3D
    };

    virtual KXIMAGETYPE getType() const = 0;

    KXImplementation* getImplementation() const { return m_implementation.get(); }
    // Stores the renderer's form of the image; the image takes it over and
    // deletes the one held before (unless it is the same).
    void setImplementation(KXImplementation* implementation) { m_implementation.set(implementation); }

protected:
    KXImage() = default;
    explicit KXImage(KXScene* scene) : KXObject(scene) {}
    // A copy gets the data but no implementation: that belongs to the original.
    KXImage(const KXImage& other) : KXObject(other) {}
    ~KXImage() override = default;

    // Called by the data setters of derived classes: drops the implementation
    // made from the old data, then notifies observers.
    void dataChanged()
    {
        m_implementation.discard();
        changed();
    }

private:
    KXImplementationSlot m_implementation;
};
