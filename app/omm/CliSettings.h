#pragma once
// How the command line finds and reads the settings file it shares with the GUI: the
// programs' "OndrelMediaMaker.ini" (or the user's fallback copy), unless `--config FILE`
// names another one.

#include <string>
#include <vector>

class TPublic;

namespace omm::cli {

// Takes "--config FILE" or "--config=FILE" at args[i] (see takeOption).
bool takeConfigOption(const std::vector<std::string>& args, size_t& i, std::string& configFile);

// The settings file in use: configFile when given, else the default location.
std::string settingsFilePath(const std::string& configFile);

// Builds PublicRoot on the settings file (replacing any earlier root), makes Model the
// current model when one is given (letter case ignored; an unknown name raises
// UsageError), then reads every setting, so the per-model values land in that model's
// profile. A file that exists but cannot be read raises EIniFileError naming it.
TPublic& openRoot(const std::string& configFile, const std::string& Model = {});

// For commands that make device video: openRoot with Model or, when Model is empty, the
// model last used for video ([SamplingParameter] VideoLMSet). A model that takes no device
// video raises UsageError when asked for, or std::runtime_error naming the settings file
// when it comes from there.
TPublic& openVideoRoot(const std::string& configFile, const std::string& Model = {});

} // namespace omm::cli
