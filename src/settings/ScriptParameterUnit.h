#pragma once
// OFlash script settings: the model written into the script (also the model chosen at
// start-up), the courseware name and the course type; sections [LMSet], [SetOFlashName]
// and [MCCdef].

#include <string>

class TIniFile;

struct TLMset {
    std::string Name = "LM63";
};
struct TSetOFlashName {
    std::string Name = "我的课件";
};
struct TMCCdef {
    std::string Name = "多媒体娱乐";
};

class TScriptParameter {
public:
    explicit TScriptParameter(std::string IniFileName = {}) : IniFileName(std::move(IniFileName)) {
        UpdateSoundFormat();
    }

    std::string IniFileName;
    TLMset ModelName;
    TSetOFlashName CoursewareName;
    TMCCdef CourseType;
    // Record sound as MP3 (true) or WAV (false); derived from ModelName.
    bool SoundAsMP3 = true;

    // Reads the three strings, then UpdateSoundFormat. Returns true.
    bool LoadAll();
    // UpdateSoundFormat, then writes the three strings.
    void SaveAll();
    void UpdateSoundFormat();

    void ReadFrom(const TIniFile& Ini);
    void WriteTo(TIniFile& Ini) const;
};
