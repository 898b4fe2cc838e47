#include "settings/SettingParameterUnit.h"

#include "settings/IniFileUnit.h"

namespace {
const char* const Section = "SettingParameter";
}

void TSettingParameter::ReadFrom(const TIniFile& Ini) {
    ShowHintForm = Ini.ReadBool(Section, "ShowHintForm", true);
}

void TSettingParameter::WriteTo(TIniFile& Ini) const {
    Ini.WriteBool(Section, "ShowHintForm", ShowHintForm);
}

void TSettingParameter::LoadAll() {
    TIniFile ini(IniFileName);
    ReadFrom(ini);
}

void TSettingParameter::SaveAll() {
    TIniFile ini(IniFileName);
    WriteTo(ini);
    ini.UpdateFile();
}
