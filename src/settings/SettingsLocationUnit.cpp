#include "settings/SettingsLocationUnit.h"

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

std::string ProgramFolder() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec || exe.empty())
        return fs::current_path(ec).string();
    return exe.parent_path().string();
}

std::string UserIniFileName() {
    fs::path base;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg && fs::path(xdg).is_absolute()) {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = fs::path(home && *home ? home : "/tmp") / ".config";
    }
    return (base / "OndrelMediaMaker" / SettingsFileName).string();
}

std::string DefaultIniFileName(const std::string& Folder) {
    std::string folder = Folder.empty() ? ProgramFolder() : Folder;
    if (!folder.empty() && ::access(folder.c_str(), W_OK) == 0)
        return (fs::path(folder) / SettingsFileName).string();
    return UserIniFileName();
}
