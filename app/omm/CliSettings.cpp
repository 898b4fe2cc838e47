#include "CliSettings.h"

#include "CommandRegistry.h"
#include "core/LMSetControlUnit.h"
#include "core/PublicUnit.h"
#include "settings/LMSetConstUnit.h"
#include "settings/SettingsLocationUnit.h"
#include "settings/SystemParameterUnit.h"

#include <stdexcept>

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

TPublic& openVideoRoot(const std::string& configFile, const std::string& Model) {
    std::string model = Model;
    if (model.empty())
        model = openRoot(configFile).PublicConst->SystemParameter->SamplingParameter->VideoLMSet;
    std::unique_ptr<TLMSetConst> probe = CreateModelSet(model);
    if (!probe || !probe->HasVideoFormat()) {
        const std::string why =
            "model '" + model + "' takes no device video (use LM63, LM52 or LM41)";
        if (!Model.empty())
            throw UsageError{why};
        throw std::runtime_error("settings file " + settingsFilePath(configFile) +
                                 ": VideoLMSet names " + why);
    }
    return openRoot(configFile, model);
}

} // namespace omm::cli
