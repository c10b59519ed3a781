#pragma once

class KXMemoryTexture;

// An image-space filter from one memory texture into another. Results follow
// KXRESULT.
class KXTextureFilter
{
public:
    enum KXTEXTUREFILTERTYPE : int {
        KXTEXTUREFILTER_BOXBLUR = 0,
    };

    virtual int apply(KXMemoryTexture* source, KXMemoryTexture* target) = 0;
    virtual int setKernelSize(unsigned size) = 0;

protected:
    KXTextureFilter() = default;
    ~KXTextureFilter() = default;
};

// A box blur.
class KXBoxBlurFilter : public KXTextureFilter
{
protected:
    KXBoxBlurFilter() = default;
    ~KXBoxBlurFilter() = default;
};
