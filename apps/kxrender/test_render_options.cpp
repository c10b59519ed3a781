// The kxrender command line: what it accepts, what it refuses and why.

#include "KXRenderOptions.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

bool parse(std::vector<const char*> args, KXRenderOptions& options, std::string& error)
{
    return parseRenderOptions(static_cast<int>(args.size()), args.data(), options, error);
}

} // namespace

TEST(RenderOptions, DefaultsAndEveryOption)
{
    KXRenderOptions options;
    std::string error;
    ASSERT_TRUE(parse({"-o", "out.png"}, options, error)) << error;
    EXPECT_TRUE(options.scenePath.empty());
    EXPECT_EQ(options.width, 1024u);
    EXPECT_EQ(options.height, 768u);
    EXPECT_FALSE(options.reflections);

    ASSERT_TRUE(parse(
        {"model.glb", "--size", "640x480", "--reflections", "--output=a.jpg", "--cpus", "3", "--quality=75", "-q"},
        options, error))
        << error;
    EXPECT_EQ(options.scenePath, "model.glb");
    EXPECT_EQ(options.outputPath, "a.jpg");
    EXPECT_EQ(options.width, 640u);
    EXPECT_EQ(options.height, 480u);
    EXPECT_TRUE(options.reflections);
    EXPECT_EQ(options.cpus, 3);
    EXPECT_EQ(options.quality, 75);
    EXPECT_TRUE(options.qualityGiven);
    EXPECT_TRUE(options.quiet);

    EXPECT_FALSE(options.raster);
    EXPECT_FALSE(options.antialias);
    EXPECT_FALSE(options.hasBackground);
    ASSERT_TRUE(parse({"-o", "a.png", "--raster", "--antialias", "--background", "255,0,7"}, options, error))
        << error;
    EXPECT_TRUE(options.raster);
    EXPECT_TRUE(options.antialias);
    EXPECT_FALSE(options.qualityGiven);
    ASSERT_TRUE(options.hasBackground);
    EXPECT_EQ(options.background[0], 255);
    EXPECT_EQ(options.background[1], 0);
    EXPECT_EQ(options.background[2], 7);

    // The painters of the raster picture.
    EXPECT_FALSE(options.hardShadows);
    EXPECT_FALSE(options.floorReflection);
    ASSERT_TRUE(parse({"-o", "a.png", "--raster", "--shadows", "hard", "--reflection"}, options, error)) << error;
    EXPECT_TRUE(options.hardShadows);
    EXPECT_TRUE(options.floorReflection);
    KXRenderOptions aids;
    ASSERT_TRUE(parse({"-o", "a.png", "--raster", "--aids", "--ortho"}, aids, error)) << error;
    EXPECT_TRUE(aids.editorAids);
    EXPECT_TRUE(aids.orthographic);
    EXPECT_FALSE(parse({"-o", "a.png", "--raster", "--aids=1"}, aids, error));
    KXRenderOptions soft;
    ASSERT_TRUE(parse({"-o", "a.png", "--raster", "--shadows", "soft"}, soft, error)) << error;
    EXPECT_TRUE(soft.softShadows);
    EXPECT_FALSE(soft.hardShadows);
    EXPECT_FALSE(parse({"-o", "a.png", "--raster", "--shadows", "blurred"}, options, error));
    EXPECT_FALSE(parse({"-o", "a.png", "--raster", "--shadows"}, options, error));

    // After "--" a name that looks like an option is a scene.
    ASSERT_TRUE(parse({"-o", "x.bmp", "--", "--odd-name.gltf"}, options, error)) << error;
    EXPECT_EQ(options.scenePath, "--odd-name.gltf");
}

TEST(RenderOptions, ShowcaseIsTheSceneByNameOrByDefault)
{
    KXRenderOptions options;
    std::string error;
    ASSERT_TRUE(parse({"--raster", "--size", "16000x12000", "--antialias", "showcase", "-o", "poster.png"}, options,
                      error))
        << error;
    EXPECT_TRUE(options.scenePath.empty());
    EXPECT_EQ(options.outputPath, "poster.png");

    // A file of that name is reached through a directory.
    ASSERT_TRUE(parse({"./showcase", "-o", "a.png"}, options, error)) << error;
    EXPECT_EQ(options.scenePath, "./showcase");

    EXPECT_FALSE(parse({"showcase", "model.glb", "-o", "a.png"}, options, error));
    EXPECT_NE(error.find("one scene"), std::string::npos) << error;
    EXPECT_FALSE(parse({"model.glb", "showcase", "-o", "a.png"}, options, error));
    EXPECT_NE(error.find("one scene"), std::string::npos) << error;
}

TEST(RenderOptions, SizeLimitFollowsTheRenderer)
{
    KXRenderOptions options;
    std::string error;
    // The ray tracer stops at 16384 a side, wherever --raster comes.
    ASSERT_TRUE(parse({"-o", "a.png", "--size", "16384x16384"}, options, error)) << error;
    EXPECT_FALSE(parse({"-o", "a.png", "--size", "16385x10"}, options, error));
    EXPECT_NE(error.find("ray tracer"), std::string::npos) << error;
    ASSERT_TRUE(parse({"--size", "16385x10", "-o", "a.png", "--raster"}, options, error)) << error;
    EXPECT_EQ(options.width, 16385u);

    // The generator: 65535 a side and 2^30 pixels.
    ASSERT_TRUE(parse({"--raster", "-o", "a.png", "--size", "65535x16384"}, options, error)) << error;
    ASSERT_TRUE(parse({"--raster", "-o", "a.png", "--size", "32768x32768"}, options, error)) << error;
    EXPECT_FALSE(parse({"--raster", "-o", "a.png", "--size", "32768x32769"}, options, error));
    EXPECT_NE(error.find("2^30"), std::string::npos) << error;
    EXPECT_FALSE(parse({"--raster", "-o", "a.png", "--size", "65536x10"}, options, error));
    EXPECT_NE(error.find("WIDTHxHEIGHT"), std::string::npos) << error;
}

TEST(RenderOptions, HelpNeedsNothingElse)
{
    KXRenderOptions options;
    std::string error;
    ASSERT_TRUE(parse({"--bogus-later-is-ignored", "--help"}, options, error) == false);
    ASSERT_TRUE(parse({"--help"}, options, error));
    EXPECT_TRUE(options.help);
    EXPECT_NE(renderUsage().find("--size"), std::string::npos);
    EXPECT_NE(renderUsage().find("--antialias"), std::string::npos);
}

TEST(RenderOptions, BadArgumentsAreExplained)
{
    const std::vector<std::pair<std::vector<const char*>, std::string>> cases = {
        {{}, "no output file"},
        {{"scene.gltf"}, "no output file"},
        {{"-o"}, "needs a value"},
        {{"-o", "out.xyz"}, "image format"},
        {{"-o", "out"}, "image format"},
        {{"-o", "a.png", "--size", "640"}, "WIDTHxHEIGHT"},
        {{"-o", "a.png", "--size", "0x480"}, "WIDTHxHEIGHT"},
        {{"-o", "a.png", "--size", "640x480x2"}, "WIDTHxHEIGHT"},
        {{"-o", "a.png", "--size", "99999x10"}, "WIDTHxHEIGHT"},
        {{"-o", "a.png", "--size", "-5x10"}, "WIDTHxHEIGHT"},
        {{"-o", "a.png", "--cpus", "0"}, "--cpus"},
        {{"-o", "a.png", "--cpus", "2cores"}, "--cpus"},
        {{"-o", "a.jpg", "--quality", "101"}, "--quality"},
        {{"-o", "a.png", "--reflections=yes"}, "no value"},
        {{"-o", "a.png", "--raster=1"}, "no value"},
        {{"-o", "a.png", "--antialias=1"}, "no value"},
        {{"-o", "a.png", "--background", "10,20"}, "R,G,B"},
        {{"-o", "a.png", "--background", "10,20,256"}, "R,G,B"},
        {{"-o", "a.png", "--background", "10,20,30,40"}, "R,G,B"},
        {{"-o", "a.png", "--background", "10,,30"}, "R,G,B"},
        {{"-o", "a.png", "--background", "-1,2,3"}, "R,G,B"},
        {{"-o", "a.png", "--frobnicate"}, "unknown option"},
        {{"-o", "a.png", "one.gltf", "two.gltf"}, "one scene"},
    };
    for (const auto& [args, words] : cases) {
        KXRenderOptions options;
        std::string error;
        EXPECT_FALSE(parse(args, options, error)) << words;
        EXPECT_NE(error.find(words), std::string::npos) << "expected '" << words << "' in: " << error;
    }
}
