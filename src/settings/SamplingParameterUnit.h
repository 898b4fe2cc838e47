#pragma once
// Sampling, recording, area and OAVI video settings, and the rules that check and clamp
// the sampling areas. Per-model values ([CompressParams], [SoundInfo], [AddSettings])
// live in the current model set's video profile; they are copied into it on every load
// and written from it on every save.

#include <functional>
#include <optional>
#include <string>
#include <vector>

class TIniFile;
class TLMSetConst;
class TProgressSink;

// Height comes before width, as in the settings file.
struct TAreaRect {
    int Left = 0;
    int Top = 0;
    int Height = 0;
    int Width = 0;
    bool operator==(const TAreaRect&) const = default;
};

struct TAreaSize {
    int Width = 0;
    int Height = 0;
};

class TSamplingParameter {
public:
    explicit TSamplingParameter(std::string IniFileName = {});

    std::string IniFileName;
    int ImageSimplingTimeSpace = 0;
    int ImageColorStyle = 0;
    int SoundSimplingTimeSpace = 0;
    TAreaRect SimplingArea;
    TAreaRect TargetArea;
    bool AlwaysSoundSimpling = false;
    int AreaScale = 2;
    int Volume = 0;
    int BaudRate = 0;
    int SampleMaxWidth = 480, SampleMaxHeight = 240;
    int TargetMaxWidth = 240, TargetMaxHeight = 120;
    int OAVIImageSimplingTimeSpace = 0;
    TAreaRect OAVISimplingArea;
    int OAVIVolume = 0;
    int OAVIBaudRate = 0;
    int AreaMaxWidth = 480, AreaMaxHeight = 240;
    int CompressQuality = 1; // read from the file, never written back
    int VideoWidth = 320, VideoHeight = 240;
    std::string VideoLMSet = "LM63";
    std::vector<std::string> OAVIModels{"LM63", "LM52", "LM41"};
    int RecordTime = 120;

    // --- What the owner wires in (all optional) ---------------------------------------
    // The current model set: its screen bounds the areas and its profile takes the
    // per-model values. Without one, the bounds keep their defaults and the per-model
    // keys are neither read into nor written from any profile.
    std::function<TLMSetConst*()> ModelSet;
    // The size of the Flash control, the default height and width of the two sampling
    // areas. Without it (or when it answers nothing) the preview size of the current model.
    std::function<std::optional<TAreaSize>()> FlashControlSize;
    // Position and size of the video picture, when a video player exists.
    std::function<std::optional<TAreaRect>()> VideoPictureArea;
    // Told after ApplySamplingArea / ApplyOAVIArea changed an area, so grids can show it.
    std::function<void()> SamplingAreaApplied;
    std::function<void()> OAVIAreaApplied;
    // Where the check message of ApplySamplingArea / ApplyOAVIArea goes (ShowStatus with
    // automatic restore).
    TProgressSink* StatusSink = nullptr;

    // Reads every key in the fixed order; missing or non-numeric values read as defaults.
    void LoadAll();
    // Writes the same keys in the same order, except CompressQuality.
    void SaveAll();
    void ReadFrom(const TIniFile& Ini);
    // IncludeReadOnly also writes CompressQuality in its read position (for listings).
    void WriteTo(TIniFile& Ini, bool IncludeReadOnly = false) const;

    void CalcSamplingBounds();
    void CalcOAVIBounds();
    bool CheckSamplingArea(const TAreaRect& Area, std::string& Message);
    bool CheckOAVIArea(const TAreaRect& Area, std::string& Message);
    // Corrected copies; ClampSamplingArea also sets TargetArea from the corrected area.
    TAreaRect ClampSamplingArea(const TAreaRect& Area);
    TAreaRect ClampOAVIArea(const TAreaRect& Area);
    void ApplySamplingArea(const TAreaRect& Area);
    void ApplyOAVIArea(const TAreaRect& Area);
    // OAVISimplingArea := the video picture's area; false (nothing changed) without a video.
    bool TakeVideoArea();

    // The default height and width of the sampling areas (see FlashControlSize).
    TAreaSize DefaultAreaSize() const;
    bool IsOAVIModel(const std::string& Name) const;
};

// The check messages, in test order (index 8 is the "valid" message).
extern const char* const SamplingAreaMessages[9];
