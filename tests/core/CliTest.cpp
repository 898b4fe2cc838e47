#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

using omm::test::builtProgram;
using omm::test::run;
using omm::test::TempDir;

bool hasLine(const std::string& text, const std::string& line) {
    return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

TEST(OmmCli, ModelsListsTheTenModelsWithTheirProfiles) {
    auto r = run(builtProgram("omm").string(), {"models"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(hasLine(r.out, "LM17   screen 240x120  scale 2.0  preview 480x240  OAVI no"))
        << r.out;
    EXPECT_TRUE(hasLine(r.out, "LM75   screen 320x240  scale 1.5  preview 480x360  OAVI no"));
    EXPECT_TRUE(hasLine(r.out, "LM63   screen 320x240  scale 1.5  preview 480x360  OAVI yes  "
                               "frame 320x240  fps 10  key-frame interval 20  format 0x81820781"));
    EXPECT_TRUE(hasLine(r.out, "LM41   screen 320x240  scale 1.5  preview 480x360  OAVI yes  "
                               "frame 144x112  fps 10  key-frame interval 30  format 0x00020101"));
    EXPECT_NE(r.out.find("format 0x00820101"), std::string::npos);
    // List order.
    const char* order[] = {"LM17 ", "LM23 ", "LM24 ", "LM24+", "LM36+",
                           "LM36T", "LM75 ", "LM52 ", "LM41 ", "LM63 "};
    size_t at = 0;
    for (const char* name : order) {
        size_t found = r.out.find(std::string("\n") + name, at == 0 ? 0 : at);
        if (at == 0 && r.out.rfind(name, 0) == 0)
            found = 0;
        ASSERT_NE(found, std::string::npos) << name;
        at = found + 1;
    }
}

TEST(OmmCli, SettingsShowsTheFileAndEffectiveValues) {
    TempDir dir;
    const auto ini = dir / "mine.ini";
    const std::string content = "[SamplingParameter]\nVolume=12\nCompressQuality=4\n"
                                "[CompressParams]\nPlaySpeed=15\nSrt=yes\n[LMSet]\nLMSet=LM41\n";
    omm::test::writeText(ini, content);
    auto r = run(builtProgram("omm").string(), {"settings", "--config", ini.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(hasLine(r.out, "settings file: " + ini.string())) << r.out;
    EXPECT_TRUE(hasLine(r.out, "[SamplingParameter]"));
    EXPECT_TRUE(hasLine(r.out, "Volume=12"));
    EXPECT_TRUE(hasLine(r.out, "CompressQuality=4"));
    EXPECT_TRUE(hasLine(r.out, "PlaySpeed=15"));
    EXPECT_TRUE(hasLine(r.out, "Srt=0"));
    EXPECT_TRUE(hasLine(r.out, "LMSet=LM41"));
    EXPECT_TRUE(hasLine(r.out, "SetOFlashName=我的课件"));
    EXPECT_TRUE(hasLine(r.out, "ShowHintForm=1"));
    EXPECT_LT(r.out.find("[SettingParameter]"), r.out.find("[SamplingParameter]"));
    EXPECT_LT(r.out.find("[OAVISimplingArea]"), r.out.find("[LMSet]"));
    // Reading never writes.
    const auto bytes = omm::test::readFile(ini);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), content);
}

TEST(OmmCli, SettingsWithAMissingFileShowsDefaults) {
    TempDir dir;
    auto r =
        run(builtProgram("omm").string(), {"settings", "--config=" + (dir / "none.ini").string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("(not present: defaults shown)"), std::string::npos);
    EXPECT_TRUE(hasLine(r.out, "SampleRate=22050"));
    EXPECT_FALSE(std::filesystem::exists(dir / "none.ini"));
}

TEST(OmmCli, UnreadableSettingsFileFailsNamingIt) {
    TempDir dir;
    auto r = run(builtProgram("omm").string(), {"settings", "--config", dir.path().string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(dir.path().string()), std::string::npos) << r.err;
}

TEST(OmmCli, BadUsageExitsWith2) {
    const std::vector<std::vector<std::string>> cases{
        {"bogus"}, {"settings", "--bogus"}, {"settings", "--config"}, {"models", "extra"}};
    for (const auto& args : cases) {
        auto r = run(builtProgram("omm").string(), args);
        EXPECT_EQ(r.exitCode, 2) << args.back();
        EXPECT_NE(r.err.find("usage:"), std::string::npos);
    }
}

} // namespace
