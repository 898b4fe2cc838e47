#include "settings/SamplingParameterUnit.h"

#include "core/uProgressSink.h"
#include "settings/IniFileUnit.h"
#include "settings/LMSetConstUnit.h"

#include <algorithm>
#include <cmath>

const char* const SamplingAreaMessages[9] = {
    "采样区域左上角横坐标溢出！",
    "采样区域左上角纵坐标溢出！",
    "采样区域宽度溢出！",
    "采样区域高度溢出！",
    "采样区域左上角横坐标与宽度之和溢出！",
    "采样区域左上角纵坐标与高度之和溢出！",
    "采样区域高度不能小于两个象素！",
    "采样区域宽度不能小于两个象素！",
    "采样区域参数合法。",
};

namespace {

const char* const Sampling = "SamplingParameter";
const char* const Compress = "CompressParams";
const char* const Sound = "SoundInfo";
const char* const Add = "AddSettings";

// The left and top limits of the check are fixed whatever the model.
constexpr int FixedLeftLimit = 480;
constexpr int FixedTopLimit = 240;

void readArea(const TIniFile& ini, const char* section, TAreaRect& area, TAreaRect defaults) {
    area.Left = ini.ReadInteger(section, "Left", defaults.Left);
    area.Top = ini.ReadInteger(section, "Top", defaults.Top);
    area.Height = ini.ReadInteger(section, "Height", defaults.Height);
    area.Width = ini.ReadInteger(section, "Width", defaults.Width);
}

void writeArea(TIniFile& ini, const char* section, const TAreaRect& area) {
    ini.WriteInteger(section, "Left", area.Left);
    ini.WriteInteger(section, "Top", area.Top);
    ini.WriteInteger(section, "Height", area.Height);
    ini.WriteInteger(section, "Width", area.Width);
}

bool checkArea(const TAreaRect& a, int maxW, int maxH, std::string& message) {
    const long long left = a.Left, top = a.Top, width = a.Width, height = a.Height;
    int failed = -1;
    if (left < 0 || left > FixedLeftLimit)
        failed = 0;
    else if (top < 0 || top > FixedTopLimit)
        failed = 1;
    else if (width < 0 || width > maxW)
        failed = 2;
    else if (height < 0 || height > maxH)
        failed = 3;
    else if (left + width > maxW)
        failed = 4;
    else if (top + height > maxH)
        failed = 5;
    else if (height < 2)
        failed = 6;
    else if (width < 2)
        failed = 7;
    message = SamplingAreaMessages[failed < 0 ? 8 : failed];
    return failed < 0;
}

TAreaRect clampArea(const TAreaRect& area, int maxW, int maxH) {
    // Sums in 64 bits: the values may come straight from an edited settings file.
    long long left = area.Left, top = area.Top, width = area.Width, height = area.Height;
    if (left < 0) {
        width = std::max(left + width, 0LL);
        left = 0;
    }
    if (left > maxW)
        left = maxW;
    if (top < 0) {
        height = std::max(top + height, 0LL);
        top = 0;
    }
    if (top > maxH) {
        top = maxH;
        height = 0;
    }
    if (left + width > maxW)
        width = maxW - left;
    if (top + height > maxH)
        height = std::max(maxH - top, 0LL);
    if (height > maxH)
        height = maxH;
    if (width > maxW)
        width = maxW;
    return {int(left), int(top), int(height), int(width)};
}

int scaled(int value, int numerator, int denominator) {
    if (denominator == 0)
        return 0;
    return int(std::trunc(double(value) * double(numerator) / double(denominator)));
}

} // namespace

TSamplingParameter::TSamplingParameter(std::string IniFileName)
    : IniFileName(std::move(IniFileName)) {}

TAreaSize TSamplingParameter::DefaultAreaSize() const {
    if (FlashControlSize)
        if (std::optional<TAreaSize> size = FlashControlSize())
            return *size;
    const TLMSetConst* set = ModelSet ? ModelSet() : nullptr;
    if (set && set->ScreenSize)
        return {set->ScreenSize->ScaledWidth(), set->ScreenSize->ScaledHeight()};
    return {480, 240};
}

bool TSamplingParameter::IsOAVIModel(const std::string& Name) const {
    return std::find(OAVIModels.begin(), OAVIModels.end(), Name) != OAVIModels.end();
}

void TSamplingParameter::ReadFrom(const TIniFile& ini) {
    AlwaysSoundSimpling = ini.ReadBool(Sampling, "AlwaysSoundSimpling", false);
    ImageSimplingTimeSpace = ini.ReadInteger(Sampling, "ImageSimplingTimeSpace", 250);
    ImageColorStyle = ini.ReadInteger(Sampling, "ImageColorStyle", 16);
    SoundSimplingTimeSpace = ini.ReadInteger(Sampling, "SoundSimplingTimeSpace", 5000);
    BaudRate = ini.ReadInteger(Sampling, "BaudRate", 128);
    Volume = ini.ReadInteger(Sampling, "Volume", 80);

    // Per-model values: always read in order, kept only when a profile is there to take them.
    TLMSetConst* set = ModelSet ? ModelSet() : nullptr;
    TLMSetVideoInfo scratch;
    TLMSetVideoInfo& profile = set && set->VideoInfo ? *set->VideoInfo : scratch;
    profile.CompressGrade = ini.ReadInteger(Compress, "CompressGrade", 80);
    profile.DelayTime = ini.ReadInteger(Compress, "DelayTime", 0);
    profile.PlaySpeed = ini.ReadInteger(Compress, "PlaySpeed", 10);
    profile.Srt = ini.ReadBool(Compress, "Srt", false);
    // The profile keeps the video type in a byte; a value that does not fit one reads as
    // the default rather than as some other type.
    int videoType = ini.ReadInteger(Compress, "VideoType", 1);
    profile.VideoType = uint8_t(videoType >= 0 && videoType <= 255 ? videoType : 1);
    profile.SoundInfo.Channels = ini.ReadInteger(Sound, "Channels", 2);
    profile.SoundInfo.SampleRate = ini.ReadInteger(Sound, "SampleRate", 22050);
    profile.SoundInfo.BitRate = ini.ReadInteger(Sound, "BitRate", 5);
    profile.AddSettings.ShutDownP = ini.ReadBool(Add, "ShutDownP", false);

    const TAreaSize area = DefaultAreaSize();
    readArea(ini, "SimplingArea", SimplingArea, {0, 0, area.Height, area.Width});
    readArea(ini, "TargetArea", TargetArea, {0, 0, 120, 240});

    OAVIImageSimplingTimeSpace = ini.ReadInteger(Sampling, "OAVIImageSimplingTimeSpace", 100);
    OAVIBaudRate = ini.ReadInteger(Sampling, "OAVIBaudRate", 32);
    OAVIVolume = ini.ReadInteger(Sampling, "OAVIVolume", 80);
    CompressQuality = ini.ReadInteger(Sampling, "CompressQuality", 1);
    VideoWidth = ini.ReadInteger(Sampling, "VideoWidth", 320);
    VideoHeight = ini.ReadInteger(Sampling, "VideoHeight", 240);
    VideoLMSet = ini.ReadString(Sampling, "VideoLMSet", "LM63");
    RecordTime = ini.ReadInteger(Sampling, "RecordTime", 120);
    readArea(ini, "OAVISimplingArea", OAVISimplingArea, {0, 0, area.Height, area.Width});
}

void TSamplingParameter::WriteTo(TIniFile& ini, bool IncludeReadOnly) const {
    ini.WriteBool(Sampling, "AlwaysSoundSimpling", AlwaysSoundSimpling);
    ini.WriteInteger(Sampling, "ImageSimplingTimeSpace", ImageSimplingTimeSpace);
    ini.WriteInteger(Sampling, "ImageColorStyle", ImageColorStyle);
    ini.WriteInteger(Sampling, "SoundSimplingTimeSpace", SoundSimplingTimeSpace);
    ini.WriteInteger(Sampling, "BaudRate", BaudRate);
    ini.WriteInteger(Sampling, "Volume", Volume);

    const TLMSetConst* set = ModelSet ? ModelSet() : nullptr;
    if (set && set->VideoInfo) {
        const TLMSetVideoInfo& profile = *set->VideoInfo;
        ini.WriteInteger(Compress, "CompressGrade", profile.CompressGrade);
        ini.WriteInteger(Compress, "DelayTime", profile.DelayTime);
        ini.WriteInteger(Compress, "PlaySpeed", profile.PlaySpeed);
        ini.WriteBool(Compress, "Srt", profile.Srt);
        ini.WriteInteger(Compress, "VideoType", profile.VideoType);
        ini.WriteInteger(Sound, "Channels", profile.SoundInfo.Channels);
        ini.WriteInteger(Sound, "SampleRate", profile.SoundInfo.SampleRate);
        ini.WriteInteger(Sound, "BitRate", profile.SoundInfo.BitRate);
        ini.WriteBool(Add, "ShutDownP", profile.AddSettings.ShutDownP);
    }

    writeArea(ini, "SimplingArea", SimplingArea);
    writeArea(ini, "TargetArea", TargetArea);

    ini.WriteInteger(Sampling, "OAVIImageSimplingTimeSpace", OAVIImageSimplingTimeSpace);
    ini.WriteInteger(Sampling, "OAVIBaudRate", OAVIBaudRate);
    ini.WriteInteger(Sampling, "OAVIVolume", OAVIVolume);
    if (IncludeReadOnly)
        ini.WriteInteger(Sampling, "CompressQuality", CompressQuality);
    ini.WriteInteger(Sampling, "VideoWidth", VideoWidth);
    ini.WriteInteger(Sampling, "VideoHeight", VideoHeight);
    ini.WriteString(Sampling, "VideoLMSet", VideoLMSet);
    ini.WriteInteger(Sampling, "RecordTime", RecordTime);
    writeArea(ini, "OAVISimplingArea", OAVISimplingArea);
}

void TSamplingParameter::LoadAll() {
    TIniFile ini(IniFileName);
    ReadFrom(ini);
}

void TSamplingParameter::SaveAll() {
    TIniFile ini(IniFileName);
    WriteTo(ini);
    ini.UpdateFile();
}

void TSamplingParameter::CalcSamplingBounds() {
    SampleMaxWidth = 480;
    SampleMaxHeight = 240;
    TargetMaxWidth = 240;
    TargetMaxHeight = 120;
    const TLMSetConst* set = ModelSet ? ModelSet() : nullptr;
    if (set && set->ScreenSize) {
        SampleMaxWidth = set->ScreenSize->ScaledWidth();
        SampleMaxHeight = set->ScreenSize->ScaledHeight();
        TargetMaxWidth = set->ScreenSize->Width;
        TargetMaxHeight = set->ScreenSize->Height;
    }
}

void TSamplingParameter::CalcOAVIBounds() {
    AreaMaxWidth = 480;
    AreaMaxHeight = 240;
    const TLMSetConst* set = ModelSet ? ModelSet() : nullptr;
    if (set && set->ScreenSize) {
        AreaMaxWidth = set->ScreenSize->ScaledWidth();
        AreaMaxHeight = set->ScreenSize->ScaledHeight();
    }
}

bool TSamplingParameter::CheckSamplingArea(const TAreaRect& Area, std::string& Message) {
    CalcSamplingBounds();
    return checkArea(Area, SampleMaxWidth, SampleMaxHeight, Message);
}

bool TSamplingParameter::CheckOAVIArea(const TAreaRect& Area, std::string& Message) {
    CalcOAVIBounds();
    return checkArea(Area, AreaMaxWidth, AreaMaxHeight, Message);
}

TAreaRect TSamplingParameter::ClampSamplingArea(const TAreaRect& Area) {
    CalcSamplingBounds();
    TAreaRect result = clampArea(Area, SampleMaxWidth, SampleMaxHeight);
    TargetArea.Width = scaled(result.Width, TargetMaxWidth, SampleMaxWidth);
    TargetArea.Height = scaled(result.Height, TargetMaxHeight, SampleMaxHeight);
    TargetArea.Left = scaled(result.Left, TargetMaxWidth, SampleMaxWidth);
    TargetArea.Top = scaled(result.Top, TargetMaxHeight, SampleMaxHeight);
    return result;
}

TAreaRect TSamplingParameter::ClampOAVIArea(const TAreaRect& Area) {
    CalcOAVIBounds();
    return clampArea(Area, AreaMaxWidth, AreaMaxHeight);
}

void TSamplingParameter::ApplySamplingArea(const TAreaRect& Area) {
    std::string message;
    CheckSamplingArea(Area, message); // the area is applied whatever the verdict
    SimplingArea = ClampSamplingArea(Area);
    if (SamplingAreaApplied)
        SamplingAreaApplied();
    if (StatusSink)
        StatusSink->ShowStatus(message, true);
}

void TSamplingParameter::ApplyOAVIArea(const TAreaRect& Area) {
    std::string message;
    CheckOAVIArea(Area, message);
    OAVISimplingArea = ClampOAVIArea(Area);
    if (OAVIAreaApplied)
        OAVIAreaApplied();
    if (StatusSink)
        StatusSink->ShowStatus(message, true);
}

bool TSamplingParameter::TakeVideoArea() {
    if (!VideoPictureArea)
        return false;
    std::optional<TAreaRect> area = VideoPictureArea();
    if (!area)
        return false;
    OAVISimplingArea = *area;
    return true;
}
