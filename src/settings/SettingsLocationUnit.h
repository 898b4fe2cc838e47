#pragma once
// Where the settings file lives: "OndrelMediaMaker.ini" in the folder of the running
// program (the GUI and the command line share it); when that folder is not writable, the
// same name under $XDG_CONFIG_HOME/OndrelMediaMaker/ (default ~/.config).

#include <string>

inline constexpr const char* SettingsFileName = "OndrelMediaMaker.ini";

// The folder of the running executable (from /proc/self/exe), without a final "/".
std::string ProgramFolder();

// The settings file for programs in ProgramFolder (or Folder, when given).
std::string DefaultIniFileName(const std::string& Folder = {});

// The fallback location under the user's configuration folder.
std::string UserIniFileName();
