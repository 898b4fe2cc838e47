#pragma once
// The settings objects, the settings file path, and every file and folder name a
// conversion reads or writes. Paths use "/"; dir(P) keeps its final "/"; the stem of a
// path is its file name up to the first ".".

#include "settings/IniFileUnit.h"
#include "settings/SamplingParameterUnit.h"
#include "settings/ScriptParameterUnit.h"
#include "settings/SettingParameterUnit.h"
#include "settings/VideoInfoUnit.h"

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

class TLMSetConst;

// A source whose name cannot give a working folder (its stem is empty: no "." in the
// name, or a name starting with "."); the message names the file.
class ESourceNameError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TSystemParameter {
public:
    // IniFileName empty: the default settings file (see SettingsLocationUnit.h).
    explicit TSystemParameter(std::string IniFileName = {});
    ~TSystemParameter();
    TSystemParameter(const TSystemParameter&) = delete;
    TSystemParameter& operator=(const TSystemParameter&) = delete;

    std::string MediaFileName; // the Flash movie loaded for playing (the OFlash source)
    std::string IniFileName;
    std::unique_ptr<TSamplingParameter> SamplingParameter;
    std::unique_ptr<TScriptParameter> ScriptParameter;
    std::unique_ptr<TSettingParameter> SettingParameter;
    std::unique_ptr<TVideoInfo> VideoInfo;

    // The current model set (wired by the root); also handed to SamplingParameter.
    void SetModelSetProvider(std::function<TLMSetConst*()> Provider);
    TLMSetConst* ModelSet() const { return ModelSet_ ? ModelSet_() : nullptr; }
    // Points the three settings objects at another file.
    void SetIniFileName(const std::string& FileName);

    static std::string ChangeExt(const std::string& FileName, const std::string& Ext);

    // The current source of the batch (refreshes VideoInfo); empty without one.
    std::string GetCurrentFile();
    std::string GetMediaName() const;
    // The OFlash script path dir(M)+stem(M)+"/"+name(M) with extension ".os".
    std::string GetScriptFileName() const;
    // The device video beside the source: ".ovi" for "LM63", ".omv" otherwise.
    std::string GetVideoFileName();
    // Working-folder names; each creates the folders it names (one level at a time,
    // failures unreported) and answers empty without a current source. They raise
    // ESourceNameError for a source with an empty stem.
    std::string GetSoundFileName();
    std::string GetImageFolder();
    std::string GetWorkFolder();
    std::string GetSoundFolder();
    // OFlash folders beside the movie; create nothing; ESourceNameError on an empty stem.
    std::string GetMediaImageFolder() const;
    std::string GetMediaSoundFolder() const;

    // Setting, sampling, then script settings; the result is that of the last.
    bool LoadAll();
    void SaveAll();

    // Every key with its effective value in file order (CompressQuality included), as
    // the settings would be written now.
    std::vector<TIniEntry> EffectiveEntries() const;

private:
    std::function<TLMSetConst*()> ModelSet_;
};

// Path pieces with "/" separators.
std::string ExtractFileDir(const std::string& Path);  // dir(P), with its final "/"
std::string ExtractFileName(const std::string& Path); // name(P)
std::string ExtractFileStem(const std::string& Path); // stem(P): name up to the first "."
