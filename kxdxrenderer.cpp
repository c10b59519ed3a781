#include "kxdxrenderer.h"

const char* KXDXRendererVersion()
{
    return "0.1.0";
}
