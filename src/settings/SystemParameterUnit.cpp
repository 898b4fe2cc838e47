#include "settings/SystemParameterUnit.h"

#include "settings/IniFileUnit.h"
#include "settings/LMSetConstUnit.h"
#include "settings/SettingsLocationUnit.h"

#include <sys/stat.h>

namespace {

std::string trimmed(const std::string& text) {
    const char* blanks = " \t\r\n";
    size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// Creates one folder level; a failure shows later, when a writer uses the name.
void createFolder(const std::string& folder) {
    ::mkdir(folder.c_str(), 0777);
}

// A stem-less name would make the source's own folder (or a folder of the same name as
// one beside it) the working folder, which is wiped after the conversion.
const std::string& requireStem(const std::string& source) {
    if (ExtractFileStem(source).empty())
        throw ESourceNameError(source + ": the file name has nothing before its first \".\", so no "
                                        "working folder can be named after it; rename the file");
    return source;
}

} // namespace

std::string ExtractFileDir(const std::string& Path) {
    size_t slash = Path.rfind('/');
    return slash == std::string::npos ? std::string() : Path.substr(0, slash + 1);
}

std::string ExtractFileName(const std::string& Path) {
    size_t slash = Path.rfind('/');
    return slash == std::string::npos ? Path : Path.substr(slash + 1);
}

std::string ExtractFileStem(const std::string& Path) {
    std::string name = ExtractFileName(Path);
    size_t dot = name.find('.');
    return dot == std::string::npos ? std::string() : name.substr(0, dot);
}

TSystemParameter::TSystemParameter(std::string IniFileName_)
    : IniFileName(IniFileName_.empty() ? DefaultIniFileName() : std::move(IniFileName_)) {
    SettingParameter = std::make_unique<TSettingParameter>(IniFileName);
    SamplingParameter = std::make_unique<TSamplingParameter>(IniFileName);
    ScriptParameter = std::make_unique<TScriptParameter>(IniFileName);
    VideoInfo = std::make_unique<TVideoInfo>();
}

TSystemParameter::~TSystemParameter() {
    SamplingParameter.reset();
    ScriptParameter.reset();
    VideoInfo.reset();
    SettingParameter.reset();
}

void TSystemParameter::SetModelSetProvider(std::function<TLMSetConst*()> Provider) {
    ModelSet_ = Provider;
    SamplingParameter->ModelSet = std::move(Provider);
}

void TSystemParameter::SetIniFileName(const std::string& FileName) {
    IniFileName = FileName;
    SettingParameter->IniFileName = FileName;
    SamplingParameter->IniFileName = FileName;
    ScriptParameter->IniFileName = FileName;
}

std::string TSystemParameter::ChangeExt(const std::string& FileName, const std::string& Ext) {
    std::string ext = trimmed(Ext);
    if (FileName.empty() || ext.empty())
        return {};
    if (ext[0] != '.')
        ext.insert(ext.begin(), '.');
    size_t nameStart = FileName.rfind('/');
    nameStart = nameStart == std::string::npos ? 0 : nameStart + 1;
    size_t dot = FileName.rfind('.');
    std::string base =
        dot != std::string::npos && dot >= nameStart ? FileName.substr(0, dot) : FileName;
    return base + ext;
}

std::string TSystemParameter::GetCurrentFile() {
    TLMSetConst* set = ModelSet();
    if (!set || !set->VideoInfo)
        return {};
    if (!set->VideoInfo->SourceInfo)
        set->VideoInfo->SourceInfo = VideoInfo.get();
    return set->VideoInfo->GetCurrentFile();
}

std::string TSystemParameter::GetMediaName() const {
    return ExtractFileName(MediaFileName);
}

std::string TSystemParameter::GetScriptFileName() const {
    if (MediaFileName.empty())
        return {};
    const std::string& m = requireStem(MediaFileName);
    return ChangeExt(ExtractFileDir(m) + ExtractFileStem(m) + "/" + ExtractFileName(m), "os");
}

std::string TSystemParameter::GetVideoFileName() {
    std::string source = GetCurrentFile();
    if (source.empty())
        return {};
    const TLMSetConst* set = ModelSet();
    const bool ovi = set && set->ModelName == "LM63";
    return ChangeExt(source, ovi ? ".ovi" : ".omv");
}

std::string TSystemParameter::GetWorkFolder() {
    std::string source = GetCurrentFile();
    if (source.empty())
        return {};
    requireStem(source);
    std::string folder = ExtractFileDir(source) + ExtractFileStem(source);
    createFolder(folder);
    return folder;
}

std::string TSystemParameter::GetImageFolder() {
    std::string work = GetWorkFolder();
    if (work.empty())
        return {};
    std::string folder = work + "/Image";
    createFolder(folder);
    return folder;
}

std::string TSystemParameter::GetSoundFolder() {
    std::string work = GetWorkFolder();
    if (work.empty())
        return {};
    std::string folder = work + "/Sound";
    createFolder(folder);
    return folder;
}

std::string TSystemParameter::GetSoundFileName() {
    std::string folder = GetSoundFolder();
    return folder.empty() ? std::string() : folder + "/Sound.mp3";
}

std::string TSystemParameter::GetMediaImageFolder() const {
    if (MediaFileName.empty())
        return {};
    const std::string& m = requireStem(MediaFileName);
    return ExtractFileDir(m) + ExtractFileStem(m) + "/Image";
}

std::string TSystemParameter::GetMediaSoundFolder() const {
    if (MediaFileName.empty())
        return {};
    const std::string& m = requireStem(MediaFileName);
    return ExtractFileDir(m) + ExtractFileStem(m) + "/Sound";
}

bool TSystemParameter::LoadAll() {
    SettingParameter->LoadAll();
    SamplingParameter->LoadAll();
    return ScriptParameter->LoadAll();
}

void TSystemParameter::SaveAll() {
    SettingParameter->SaveAll();
    SamplingParameter->SaveAll();
    ScriptParameter->SaveAll();
}

std::vector<TIniEntry> TSystemParameter::EffectiveEntries() const {
    TIniFile listing("");
    SettingParameter->WriteTo(listing);
    SamplingParameter->WriteTo(listing, true);
    ScriptParameter->WriteTo(listing);
    return listing.Entries();
}
