// omm settings: the settings file in use and every setting with its effective value.

#include "CliSettings.h"
#include "CommandRegistry.h"
#include "core/PublicUnit.h"
#include "settings/SystemParameterUnit.h"

#include <filesystem>
#include <iostream>

namespace omm::cli {
namespace {

int runSettings(const std::vector<std::string>& args) {
    std::string configFile;
    for (size_t i = 0; i < args.size();) {
        if (takeConfigOption(args, i, configFile))
            continue;
        return usageError("settings: unknown argument '" + args[i] + "'");
    }
    try {
        TPublic& root = openRoot(configFile);
        const TSystemParameter& system = *root.PublicConst->SystemParameter;
        std::error_code ec;
        const bool present = std::filesystem::exists(system.IniFileName, ec);
        std::cout << "settings file: " << system.IniFileName
                  << (present ? "" : " (not present: defaults shown)") << "\n";
        std::string section;
        for (const TIniEntry& entry : system.EffectiveEntries()) {
            if (entry.Section != section) {
                section = entry.Section;
                std::cout << "[" << section << "]\n";
            }
            std::cout << entry.Key << "=" << entry.Value << "\n";
        }
        PublicRoot.reset();
        return ExitOk;
    } catch (const std::exception& e) {
        PublicRoot.reset();
        std::cerr << "omm: " << e.what() << "\n";
        return ExitFailed;
    }
}

const OmmCommand command({"settings",
                          "settings  [--config FILE] show the settings file and its values",
                          runSettings});

} // namespace
} // namespace omm::cli
