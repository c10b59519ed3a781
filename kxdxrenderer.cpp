#include "kxdxrenderer.h"

const char* KXDXRendererVersion()
{
    return KXDXRENDERER_VERSION_STRING;
}
