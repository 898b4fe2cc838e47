#include "settings/ScriptParameterUnit.h"

#include "settings/IniFileUnit.h"

#include <algorithm>
#include <cctype>

void TScriptParameter::UpdateSoundFormat() {
    std::string name = ModelName.Name;
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return char(std::toupper(c)); });
    // These three models play WAV sound only; every other one (LM24+ included) takes MP3.
    SoundAsMP3 = !(name == "LM17" || name == "LM23" || name == "LM24");
}

void TScriptParameter::ReadFrom(const TIniFile& Ini) {
    ModelName.Name = Ini.ReadString("LMSet", "LMSet", TLMset{}.Name);
    CoursewareName.Name = Ini.ReadString("SetOFlashName", "SetOFlashName", TSetOFlashName{}.Name);
    CourseType.Name = Ini.ReadString("MCCdef", "MCCdef", TMCCdef{}.Name);
    UpdateSoundFormat();
}

void TScriptParameter::WriteTo(TIniFile& Ini) const {
    Ini.WriteString("LMSet", "LMSet", ModelName.Name);
    Ini.WriteString("SetOFlashName", "SetOFlashName", CoursewareName.Name);
    Ini.WriteString("MCCdef", "MCCdef", CourseType.Name);
}

bool TScriptParameter::LoadAll() {
    TIniFile ini(IniFileName);
    ReadFrom(ini);
    return true;
}

void TScriptParameter::SaveAll() {
    UpdateSoundFormat();
    TIniFile ini(IniFileName);
    WriteTo(ini);
    ini.UpdateFile();
}
