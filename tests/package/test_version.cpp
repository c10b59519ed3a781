#include "KXDXRendererVersion.h"

#include <gtest/gtest.h>

#include <string>

TEST(Version, LibraryReportsTheVersionOfItsProject)
{
    // The version the build was configured with, passed in separately from
    // the generated header.
    EXPECT_STREQ(KXDXRendererVersion(), KX_PROJECT_VERSION);
    EXPECT_STREQ(KXDXRendererVersion(), KXDXRENDERER_VERSION_STRING);
    const std::string fromParts = std::to_string(KXDXRENDERER_VERSION_MAJOR) + "." +
                                  std::to_string(KXDXRENDERER_VERSION_MINOR) + "." +
                                  std::to_string(KXDXRENDERER_VERSION_PATCH);
    EXPECT_EQ(fromParts, KXDXRendererVersion());
}
