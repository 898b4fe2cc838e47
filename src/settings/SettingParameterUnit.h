#pragma once
// General settings: section [SettingParameter].

#include <string>

class TIniFile;

class TSettingParameter {
public:
    explicit TSettingParameter(std::string IniFileName = {})
        : IniFileName(std::move(IniFileName)) {}

    bool ShowHintForm = true;
    std::string IniFileName;

    void LoadAll();
    void SaveAll();

    // The same keys against an open file, for callers that batch several objects.
    void ReadFrom(const TIniFile& Ini);
    void WriteTo(TIniFile& Ini) const;
};
