#include "settings/IniFileUnit.h"
#include "settings/LMSetConstUnit.h"
#include "settings/SettingsLocationUnit.h"
#include "settings/SystemParameterUnit.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

using omm::test::TempDir;
namespace fs = std::filesystem;

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Settings on a file in a fresh folder, with a model set the way the root wires it.
struct Store {
    TempDir dir;
    std::string ini = (dir / "OndrelMediaMaker.ini").string();
    std::unique_ptr<TLMSetConst> set = CreateModelSet("LM63");
    TSystemParameter system{ini};
    Store() {
        system.SetModelSetProvider([this] { return set.get(); });
    }
    TSamplingParameter& sampling() { return *system.SamplingParameter; }
    TLMSetVideoInfo& profile() { return *set->VideoInfo; }
};

TEST(SettingsStore, DefaultsWithoutAFile) {
    Store s;
    EXPECT_TRUE(s.system.LoadAll());
    EXPECT_FALSE(fs::exists(s.ini)); // reading never creates the file
    EXPECT_TRUE(s.system.SettingParameter->ShowHintForm);
    const TSamplingParameter& p = s.sampling();
    EXPECT_FALSE(p.AlwaysSoundSimpling);
    EXPECT_EQ(p.ImageSimplingTimeSpace, 250);
    EXPECT_EQ(p.ImageColorStyle, 16);
    EXPECT_EQ(p.SoundSimplingTimeSpace, 5000);
    EXPECT_EQ(p.BaudRate, 128);
    EXPECT_EQ(p.Volume, 80);
    EXPECT_EQ(p.SimplingArea, (TAreaRect{0, 0, 360, 480})); // the LM63 preview
    EXPECT_EQ(p.TargetArea, (TAreaRect{0, 0, 120, 240}));
    EXPECT_EQ(p.OAVIImageSimplingTimeSpace, 100);
    EXPECT_EQ(p.OAVIBaudRate, 32);
    EXPECT_EQ(p.OAVIVolume, 80);
    EXPECT_EQ(p.CompressQuality, 1);
    EXPECT_EQ(p.VideoWidth, 320);
    EXPECT_EQ(p.VideoHeight, 240);
    EXPECT_EQ(p.VideoLMSet, "LM63");
    EXPECT_EQ(p.RecordTime, 120);
    EXPECT_EQ(p.OAVISimplingArea, (TAreaRect{0, 0, 360, 480}));
    EXPECT_EQ(p.OAVIModels, (std::vector<std::string>{"LM63", "LM52", "LM41"}));
    EXPECT_EQ(p.AreaScale, 2);
    const TLMSetVideoInfo& v = s.profile();
    EXPECT_EQ(v.CompressGrade, 80);
    EXPECT_EQ(v.DelayTime, 0);
    EXPECT_EQ(v.PlaySpeed, 10);
    EXPECT_FALSE(v.Srt); // the file's default, not the class default
    EXPECT_EQ(v.VideoType, 1);
    EXPECT_EQ(v.SoundInfo.Channels, 2);
    EXPECT_EQ(v.SoundInfo.SampleRate, 22050);
    EXPECT_EQ(v.SoundInfo.BitRate, 5);
    EXPECT_FALSE(v.AddSettings.ShutDownP);
    const TScriptParameter& script = *s.system.ScriptParameter;
    EXPECT_EQ(script.ModelName.Name, "LM63");
    EXPECT_EQ(script.CoursewareName.Name, "我的课件");
    EXPECT_EQ(script.CourseType.Name, "多媒体娱乐");
    EXPECT_TRUE(script.SoundAsMP3);
}

TEST(SettingsStore, AreaDefaultsComeFromTheFlashControlSizeWhenGiven) {
    Store s;
    s.sampling().FlashControlSize = [] { return std::optional<TAreaSize>(TAreaSize{400, 300}); };
    s.system.LoadAll();
    EXPECT_EQ(s.sampling().SimplingArea, (TAreaRect{0, 0, 300, 400}));
    EXPECT_EQ(s.sampling().OAVISimplingArea, (TAreaRect{0, 0, 300, 400}));
    s.sampling().FlashControlSize = [] { return std::optional<TAreaSize>(); };
    s.set = CreateModelSet("LM17");
    s.system.LoadAll();
    EXPECT_EQ(s.sampling().SimplingArea, (TAreaRect{0, 0, 240, 480}));
}

TEST(SettingsStore, RoundTrip) {
    Store s;
    s.system.LoadAll();
    TSamplingParameter& p = s.sampling();
    s.system.SettingParameter->ShowHintForm = false;
    p.AlwaysSoundSimpling = true;
    p.ImageSimplingTimeSpace = 333;
    p.ImageColorStyle = 8;
    p.SoundSimplingTimeSpace = 7000;
    p.BaudRate = 96;
    p.Volume = 55;
    p.SimplingArea = {1, 2, 3, 4};
    p.TargetArea = {5, 6, 7, 8};
    p.OAVIImageSimplingTimeSpace = 40;
    p.OAVIBaudRate = 16;
    p.OAVIVolume = 12;
    p.VideoWidth = 160;
    p.VideoHeight = 128;
    p.VideoLMSet = "LM41";
    p.RecordTime = 30;
    p.OAVISimplingArea = {9, 10, 11, 12};
    s.profile().CompressGrade = 65;
    s.profile().DelayTime = -20;
    s.profile().PlaySpeed = 16;
    s.profile().Srt = true;
    s.profile().VideoType = 2;
    s.profile().SoundInfo = {1, 48000, 11};
    s.profile().AddSettings.ShutDownP = true;
    s.system.ScriptParameter->ModelName.Name = "LM24";
    s.system.ScriptParameter->CoursewareName.Name = "第一课 lesson";
    s.system.ScriptParameter->CourseType.Name = "同步学习";
    s.system.SaveAll();

    Store t;
    t.system.SetIniFileName(s.ini);
    t.system.LoadAll();
    const TSamplingParameter& q = t.sampling();
    EXPECT_FALSE(t.system.SettingParameter->ShowHintForm);
    EXPECT_TRUE(q.AlwaysSoundSimpling);
    EXPECT_EQ(q.ImageSimplingTimeSpace, 333);
    EXPECT_EQ(q.ImageColorStyle, 8);
    EXPECT_EQ(q.SoundSimplingTimeSpace, 7000);
    EXPECT_EQ(q.BaudRate, 96);
    EXPECT_EQ(q.Volume, 55);
    EXPECT_EQ(q.SimplingArea, (TAreaRect{1, 2, 3, 4}));
    EXPECT_EQ(q.TargetArea, (TAreaRect{5, 6, 7, 8}));
    EXPECT_EQ(q.OAVIImageSimplingTimeSpace, 40);
    EXPECT_EQ(q.OAVIBaudRate, 16);
    EXPECT_EQ(q.OAVIVolume, 12);
    EXPECT_EQ(q.VideoWidth, 160);
    EXPECT_EQ(q.VideoHeight, 128);
    EXPECT_EQ(q.VideoLMSet, "LM41");
    EXPECT_EQ(q.RecordTime, 30);
    EXPECT_EQ(q.OAVISimplingArea, (TAreaRect{9, 10, 11, 12}));
    EXPECT_EQ(t.profile().CompressGrade, 65);
    EXPECT_EQ(t.profile().DelayTime, -20);
    EXPECT_EQ(t.profile().PlaySpeed, 16);
    EXPECT_TRUE(t.profile().Srt);
    EXPECT_EQ(t.profile().VideoType, 2);
    EXPECT_EQ(t.profile().SoundInfo.Channels, 1);
    EXPECT_EQ(t.profile().SoundInfo.SampleRate, 48000);
    EXPECT_EQ(t.profile().SoundInfo.BitRate, 11);
    EXPECT_TRUE(t.profile().AddSettings.ShutDownP);
    EXPECT_EQ(t.system.ScriptParameter->ModelName.Name, "LM24");
    EXPECT_FALSE(t.system.ScriptParameter->SoundAsMP3);
    EXPECT_EQ(t.system.ScriptParameter->CoursewareName.Name, "第一课 lesson");
    EXPECT_EQ(t.system.ScriptParameter->CourseType.Name, "同步学习");
}

TEST(SettingsStore, PerModelValuesGoToTheCurrentProfileOnEveryLoad) {
    Store s;
    omm::test::writeText(s.ini, "[CompressParams]\nCompressGrade=55\nPlaySpeed=20\n");
    s.system.LoadAll();
    EXPECT_EQ(s.profile().CompressGrade, 55);
    s.set = CreateModelSet("LM41"); // a switch: fresh profile with class defaults
    EXPECT_EQ(s.profile().CompressGrade, 80);
    s.system.SamplingParameter->LoadAll();
    EXPECT_EQ(s.profile().CompressGrade, 55);
    EXPECT_EQ(s.profile().PlaySpeed, 20);
}

TEST(SettingsStore, SaveAfterASwitchWritesTheClassDefaults) {
    Store s;
    omm::test::writeText(s.ini, "[SoundInfo]\nChannels=1\nSampleRate=48000\n");
    s.system.LoadAll();
    s.set = CreateModelSet("LM52");
    s.system.SaveAll();
    TIniFile ini(s.ini);
    EXPECT_EQ(ini.ReadInteger("SoundInfo", "Channels", -1), 0);
    EXPECT_EQ(ini.ReadInteger("SoundInfo", "SampleRate", -1), 0);
}

struct ValueRow {
    const char* written;
    int expectedInteger;          // ImageColorStyle, default 16
    bool expectedBool;            // ShutDownP, default false
    bool expectedBoolDefaultTrue; // ShowHintForm, default true
};

class ValueParsing : public testing::TestWithParam<ValueRow> {};

TEST_P(ValueParsing, NumbersAndBooleans) {
    Store s;
    const std::string v = GetParam().written;
    omm::test::writeText(s.ini, "[SettingParameter]\nShowHintForm=" + v +
                                    "\n[SamplingParameter]\nImageColorStyle=" + v +
                                    "\n[AddSettings]\nShutDownP=" + v + "\n");
    s.system.LoadAll();
    EXPECT_EQ(s.sampling().ImageColorStyle, GetParam().expectedInteger);
    EXPECT_EQ(s.profile().AddSettings.ShutDownP, GetParam().expectedBool);
    EXPECT_EQ(s.system.SettingParameter->ShowHintForm, GetParam().expectedBoolDefaultTrue);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ValueParsing,
    testing::Values(ValueRow{"0", 0, false, false}, ValueRow{"1", 1, true, true},
                    ValueRow{"2", 2, true, true}, ValueRow{"-7", -7, true, true},
                    ValueRow{" 12 ", 12, true, true}, ValueRow{"yes", 16, false, true},
                    ValueRow{"true", 16, false, true}, ValueRow{"", 16, false, true},
                    ValueRow{"12abc", 16, false, true}, ValueRow{"1.5", 16, false, true},
                    ValueRow{"99999999999", 16, false, true}));

TEST(SettingsStore, SectionsAndKeysAreFoundWithoutLetterCase) {
    Store s;
    omm::test::writeText(s.ini, "[samplingparameter]\nvolume=33\n");
    s.system.LoadAll();
    EXPECT_EQ(s.sampling().Volume, 33);
}

TEST(SettingsStore, VideoTypeThatDoesNotFitAByteReadsAsDefault) {
    Store s;
    omm::test::writeText(s.ini, "[CompressParams]\nVideoType=258\n");
    s.system.LoadAll();
    EXPECT_EQ(s.profile().VideoType, 1);
}

TEST(SettingsStore, CompressQualityIsNeverWrittenBack) {
    Store s;
    s.system.LoadAll();
    s.sampling().CompressQuality = 7;
    s.system.SaveAll();
    EXPECT_EQ(readText(s.ini).find("CompressQuality"), std::string::npos);

    // An edited value survives saves untouched.
    omm::test::writeText(s.ini, "[SamplingParameter]\nCompressQuality=3\n");
    s.system.LoadAll();
    EXPECT_EQ(s.sampling().CompressQuality, 3);
    s.sampling().CompressQuality = 9;
    s.system.SaveAll();
    s.system.LoadAll();
    EXPECT_EQ(s.sampling().CompressQuality, 3);
}

std::vector<std::string> fileLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            lines.push_back(line);
    return lines;
}

TEST(SettingsStore, FreshFileHasEveryKeyInOrder) {
    Store s;
    s.system.LoadAll();
    s.system.SaveAll();
    const std::vector<std::string> expected{"[SettingParameter]",
                                            "ShowHintForm=1",
                                            "[SamplingParameter]",
                                            "AlwaysSoundSimpling=0",
                                            "ImageSimplingTimeSpace=250",
                                            "ImageColorStyle=16",
                                            "SoundSimplingTimeSpace=5000",
                                            "BaudRate=128",
                                            "Volume=80",
                                            "OAVIImageSimplingTimeSpace=100",
                                            "OAVIBaudRate=32",
                                            "OAVIVolume=80",
                                            "VideoWidth=320",
                                            "VideoHeight=240",
                                            "VideoLMSet=LM63",
                                            "RecordTime=120",
                                            "[CompressParams]",
                                            "CompressGrade=80",
                                            "DelayTime=0",
                                            "PlaySpeed=10",
                                            "Srt=0",
                                            "VideoType=1",
                                            "[SoundInfo]",
                                            "Channels=2",
                                            "SampleRate=22050",
                                            "BitRate=5",
                                            "[AddSettings]",
                                            "ShutDownP=0",
                                            "[SimplingArea]",
                                            "Left=0",
                                            "Top=0",
                                            "Height=360",
                                            "Width=480",
                                            "[TargetArea]",
                                            "Left=0",
                                            "Top=0",
                                            "Height=120",
                                            "Width=240",
                                            "[OAVISimplingArea]",
                                            "Left=0",
                                            "Top=0",
                                            "Height=360",
                                            "Width=480",
                                            "[LMSet]",
                                            "LMSet=LM63",
                                            "[SetOFlashName]",
                                            "SetOFlashName=我的课件",
                                            "[MCCdef]",
                                            "MCCdef=多媒体娱乐"};
    EXPECT_EQ(fileLines(s.ini), expected);
}

TEST(SettingsStore, ExistingKeysKeepTheirPlaceAndForeignKeysSurvive) {
    Store s;
    omm::test::writeText(s.ini,
                         "; notes of the author\n[MCCdef]\nMCCdef=教学参考\n[Mine]\nKey=kept\n");
    s.system.LoadAll();
    s.system.SaveAll();
    std::vector<std::string> lines = fileLines(s.ini);
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[0], "; notes of the author");
    EXPECT_EQ(lines[1], "[MCCdef]");
    EXPECT_EQ(lines[2], "MCCdef=教学参考");
    EXPECT_EQ(lines[3], "[Mine]");
    EXPECT_EQ(lines[4], "Key=kept");
}

TEST(SettingsStore, SavingOneObjectKeepsTheOthersKeys) {
    Store s;
    s.system.LoadAll();
    s.sampling().Volume = 42;
    s.system.SaveAll();
    s.system.SettingParameter->ShowHintForm = false;
    s.system.SettingParameter->SaveAll(); // what the hint window does
    TIniFile ini(s.ini);
    EXPECT_EQ(ini.ReadInteger("SamplingParameter", "Volume", 0), 42);
    EXPECT_FALSE(ini.ReadBool("SettingParameter", "ShowHintForm", true));
}

TEST(SettingsStore, WriteLeavesNoTemporaryFileBehind) {
    Store s;
    s.system.SaveAll();
    s.system.SaveAll();
    int files = 0;
    for (const auto& entry : fs::directory_iterator(s.dir.path())) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 1);
}

TEST(SettingsStore, RefusedWriteNamesTheFile) {
    TempDir dir;
    omm::test::writeText(dir / "plain", "a file, not a folder");
    const std::string ini = (dir / "plain" / "OndrelMediaMaker.ini").string();
    TSystemParameter system(ini);
    try {
        system.SaveAll();
        FAIL() << "the write was not refused";
    } catch (const EIniFileError& e) {
        EXPECT_NE(std::string(e.what()).find(ini), std::string::npos) << e.what();
    }
}

TEST(SettingsStore, UnreadableFileNamesIt) {
    TempDir dir;
    fs::create_directory(dir / "folder.ini");
    TSystemParameter system((dir / "folder.ini").string());
    try {
        system.LoadAll();
        FAIL() << "a folder was read as settings";
    } catch (const EIniFileError& e) {
        EXPECT_NE(std::string(e.what()).find("folder.ini"), std::string::npos);
    }
}

TEST(SettingsStore, WithoutAModelSetThePerModelKeysAreLeftAlone) {
    TempDir dir;
    const std::string path = (dir / "s.ini").string();
    omm::test::writeText(path, "[CompressParams]\nCompressGrade=55\n");
    TSystemParameter system(path);
    system.LoadAll();
    system.SaveAll();
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadInteger("CompressParams", "CompressGrade", 0), 55);
    EXPECT_FALSE(ini.ValueExists("SoundInfo", "Channels"));
}

TEST(SettingsStore, EffectiveEntriesListCompressQualityInItsReadPlace) {
    Store s;
    s.system.LoadAll();
    std::vector<TIniEntry> entries = s.system.EffectiveEntries();
    std::vector<std::string> sampling;
    for (const auto& e : entries)
        if (e.Section == "SamplingParameter")
            sampling.push_back(e.Key);
    const std::vector<std::string> expected{"AlwaysSoundSimpling",
                                            "ImageSimplingTimeSpace",
                                            "ImageColorStyle",
                                            "SoundSimplingTimeSpace",
                                            "BaudRate",
                                            "Volume",
                                            "OAVIImageSimplingTimeSpace",
                                            "OAVIBaudRate",
                                            "OAVIVolume",
                                            "CompressQuality",
                                            "VideoWidth",
                                            "VideoHeight",
                                            "VideoLMSet",
                                            "RecordTime"};
    EXPECT_EQ(sampling, expected);
    EXPECT_FALSE(fs::exists(s.ini));
}

TEST(ScriptParameter, SoundFormatFollowsTheModel) {
    const std::pair<const char*, bool> rows[] = {{"LM17", false}, {"lm23", false}, {"LM24", false},
                                                 {"LM24+", true}, {"LM36T", true}, {"LM63", true}};
    for (const auto& [model, mp3] : rows) {
        TScriptParameter script;
        script.ModelName.Name = model;
        script.UpdateSoundFormat();
        EXPECT_EQ(script.SoundAsMP3, mp3) << model;
    }
}

TEST(SettingsLocation, ProgramFolderWhenWritableElseTheUsersConfigFolder) {
    TempDir dir;
    EXPECT_EQ(DefaultIniFileName(dir.path().string()), (dir / "OndrelMediaMaker.ini").string());
    const char* old = std::getenv("XDG_CONFIG_HOME");
    std::string saved = old ? old : "";
    ::setenv("XDG_CONFIG_HOME", (dir / "cfg").c_str(), 1);
    EXPECT_EQ(DefaultIniFileName((dir / "missing").string()),
              (dir / "cfg" / "OndrelMediaMaker" / "OndrelMediaMaker.ini").string());
    if (old)
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(fs::path(DefaultIniFileName()).filename(), "OndrelMediaMaker.ini");
}

TEST(SettingsLocation, SavingIntoTheUsersFolderCreatesIt) {
    TempDir dir;
    const std::string ini = (dir / "cfg" / "OndrelMediaMaker" / "OndrelMediaMaker.ini").string();
    TSystemParameter system(ini);
    system.SaveAll();
    EXPECT_TRUE(fs::exists(ini));
}

} // namespace
