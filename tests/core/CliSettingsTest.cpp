// The command line's settings helper, built into this test with the option parser it uses.

#include "CliSettings.h"
#include "CommandRegistry.h"
#include "core/PublicUnit.h"
#include "settings/LMSetConstUnit.h"
#include "settings/SystemParameterUnit.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace omm::cli {
// main.cpp holds the program's own parser; this one follows its documented contract.
bool takeOption(const std::vector<std::string>& args, size_t& i, const std::string& name,
                std::string& value) {
    if (args[i] == name) {
        if (i + 1 >= args.size())
            throw UsageError{"option " + name + " needs a value"};
        value = args[i + 1];
        i += 2;
        return true;
    }
    if (args[i].rfind(name + "=", 0) == 0) {
        value = args[i].substr(name.size() + 1);
        i += 1;
        return true;
    }
    return false;
}
} // namespace omm::cli

namespace {

using omm::test::TempDir;

struct RootReset {
    ~RootReset() { PublicRoot.reset(); }
};

TEST(CliSettings, ConfigOptionOverridesTheDefaultFile) {
    std::vector<std::string> args{"--config", "/x/a.ini", "--config=/y/b.ini", "--other"};
    std::string file;
    size_t i = 0;
    EXPECT_TRUE(omm::cli::takeConfigOption(args, i, file));
    EXPECT_EQ(file, "/x/a.ini");
    EXPECT_TRUE(omm::cli::takeConfigOption(args, i, file));
    EXPECT_EQ(file, "/y/b.ini");
    EXPECT_FALSE(omm::cli::takeConfigOption(args, i, file));
    std::vector<std::string> empty{"--config="};
    i = 0;
    EXPECT_THROW(omm::cli::takeConfigOption(empty, i, file), omm::cli::UsageError);
    EXPECT_EQ(omm::cli::settingsFilePath("/x/a.ini"), "/x/a.ini");
    EXPECT_EQ(std::filesystem::path(omm::cli::settingsFilePath("")).filename(),
              "OndrelMediaMaker.ini");
}

TEST(CliSettings, OpenRootLoadsIntoTheChosenModel) {
    RootReset reset;
    TempDir dir;
    const std::string ini = (dir / "s.ini").string();
    omm::test::writeText(ini, "[CompressParams]\nCompressGrade=65\n");
    TPublic& root = omm::cli::openRoot(ini, "lm41");
    EXPECT_EQ(PublicRoot.get(), &root);
    EXPECT_EQ(root.PublicConst->LMSet->ModelName, "LM41");
    EXPECT_EQ(root.PublicConst->LMSet->VideoInfo->CompressGrade, 65);
    EXPECT_THROW(omm::cli::openRoot(ini, "LM99"), omm::cli::UsageError);
}

TEST(CliSettings, VideoRootTakesTheLastVideoModelOrRefuses) {
    RootReset reset;
    TempDir dir;
    const std::string ini = (dir / "s.ini").string();
    omm::test::writeText(ini,
                         "[SamplingParameter]\nVideoLMSet=LM52\n[CompressParams]\nPlaySpeed=12\n");
    TPublic& root = omm::cli::openVideoRoot(ini);
    EXPECT_EQ(root.PublicConst->LMSet->ModelName, "LM52");
    EXPECT_EQ(root.PublicConst->LMSet->VideoInfo->PlaySpeed, 12);
    EXPECT_EQ(omm::cli::openVideoRoot(ini, "LM63").PublicConst->LMSet->ModelName, "LM63");
    EXPECT_THROW(omm::cli::openVideoRoot(ini, "LM17"), omm::cli::UsageError);
    omm::test::writeText(ini, "[SamplingParameter]\nVideoLMSet=LM75\n");
    try {
        omm::cli::openVideoRoot(ini);
        FAIL() << "a model without device video was accepted";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find(ini), std::string::npos) << e.what();
    }
}

} // namespace
