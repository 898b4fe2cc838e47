#include "CliSettings.h"

#include "CommandRegistry.h"
#include "core/LMSetControlUnit.h"
#include "core/PublicUnit.h"
#include "settings/LMSetConstUnit.h"
#include "settings/SettingsLocationUnit.h"

namespace omm::cli {

bool takeConfigOption(const std::vector<std::string>& args, size_t& i, std::string& configFile) {
    if (!takeOption(args, i, "--config", configFile))
        return false;
    if (configFile.empty())
        throw UsageError{"option --config needs a file name"};
    return true;
}

std::string settingsFilePath(const std::string& configFile) {
    return configFile.empty() ? DefaultIniFileName() : configFile;
}

TPublic& openRoot(const std::string& configFile, const std::string& Model) {
    if (!Model.empty() && !CreateModelSet(Model))
        throw UsageError{"unknown model '" + Model + "'"};
    PublicRoot.reset();
    PublicRoot = std::make_unique<TPublic>(nullptr, settingsFilePath(configFile));
    if (!Model.empty())
        PublicRoot->PublicObject->GUIComponent->LMSetControl->SetModel(Model);
    PublicRoot->PublicConst->LoadSettings();
    return *PublicRoot;
}

} // namespace omm::cli
