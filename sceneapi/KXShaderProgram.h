#pragma once

#include "sceneapi/KXObject.h"
#include "sceneapi/KXSceneExport.h"

#include <string>
#include <utility>
#include <vector>

class KXImage;
class KXParameter;

// Base of the renderer-side forms of shader programs (a compiled effect).
class KXShaderProgramImpl : public KXImplementation
{
};

// An effect for drawing shapes: the effect's source text, a transparency
// flag, the images its texture parameters name, and the list of parameters a
// user interface may tune.
//
// The renderer compiles the source into an implementation kept in the
// program's implementation slot, binding the images by name at that moment.
// The slot owns the implementation: changing the source or the images (the
// table or the data of an image in it) discards it, so that the next draw
// compiles anew; destroying the program discards it as well.
//
// Images are held by reference (see KXObject), so an image may be shared
// with textures and other programs.
//
// The parameter list describes the compiled effect rather than the program's
// own data: the renderer fills it while compiling and the application edits
// the values through it. It is kept when the source changes (a recompiled
// effect finds its parameters again by name), and changing it neither
// notifies observers nor discards the implementation.
class KXSCENE_API KXShaderProgram : public KXObject, public KXObserver
{
public:
    KXShaderProgram() = default;
    explicit KXShaderProgram(KXScene* scene) : KXObject(scene) {}
    // A copy has the same source, flag and images and clones of the
    // parameters; it has no implementation.
    KXShaderProgram(const KXShaderProgram& other);
    ~KXShaderProgram() override;

    // The effect source bytes; null when the program has none.
    const char* getSourceBuffer() const { return m_source.empty() ? nullptr : m_source.data(); }
    unsigned getSourceSize() const { return static_cast<unsigned>(m_source.size()); }
    // The source as text.
    const std::string& getSource() const { return m_source; }
    // Copies size bytes (null and 0 empty the source). 0 success; -3 for
    // null source with a size, which changes nothing.
    int setSource(const char* source, unsigned size);
    void setSource(std::string source);

    // Whether shapes drawn with the program go with the transparent shapes.
    bool getTransparent() const { return m_transparent; }
    void setTransparent(bool transparent);

    // The image under exactly this name (case-sensitive); null when there is
    // none or name is null.
    KXImage* getImage(const wchar_t* name) const;
    // Holds image under name, replacing what the name held; a null image
    // removes the name. A null name does nothing.
    void setImage(const wchar_t* name, KXImage* image);
    // False when the name held no image.
    bool removeImage(const wchar_t* name);
    void removeAllImages();
    int getNumImages() const { return static_cast<int>(m_images.size()); }
    // Names in the order they were first set; null for i out of range.
    const wchar_t* getImageName(int i) const;

    int getNumParameters() const { return static_cast<int>(m_parameters.size()); }
    // Null for i out of range.
    KXParameter* getParameter(int i) const;
    // The first parameter whose name equals name exactly (case-sensitive);
    // null when there is none or name is null or empty.
    KXParameter* findParameter(const wchar_t* name) const;
    // Appends parameter and takes it over; null is ignored.
    void addParameter(KXParameter* parameter);
    // Deletes every parameter.
    void removeAllParameters();

    KXShaderProgramImpl* getImplementation() const { return static_cast<KXShaderProgramImpl*>(m_impl.get()); }
    // Stores the renderer's form of the program; the program takes it over
    // and disposes of the one held before (unless it is the same).
    void setImplementation(KXShaderProgramImpl* impl) { m_impl.set(impl); }

    void update(KXObservable* source, const KXEvent& event) override;

private:
    using NamedImage = std::pair<std::wstring, KXImage*>;

    std::vector<NamedImage>::iterator findImage(const wchar_t* name);
    // Takes or gives up the reference and the observer registration for an
    // image entering or leaving the table; an image under several names is
    // observed once.
    void attachImage(KXImage* image);
    void detachImage(KXImage* image);
    // Whether any name holds image (compared as an observable so that event
    // sources can be tested without a cast).
    bool holdsImage(const KXObservable* image) const;
    // The source or the images changed: the compiled effect is stale.
    void effectChanged();

    std::string m_source;
    bool m_transparent = false;
    std::vector<NamedImage> m_images;
    std::vector<KXParameter*> m_parameters;
    KXImplementationSlot m_impl;
};
