// omm models: the device models with their screens and, for the models that take device
// video, the defaults of their video profile.

#include "CommandRegistry.h"
#include "settings/LMSetConstUnit.h"

#include <cstdio>
#include <iostream>

namespace omm::cli {
namespace {

int runModels(const std::vector<std::string>& args) {
    if (!args.empty())
        return usageError("models takes no arguments (got '" + args.front() + "')");
    for (const std::string& name : ModelNames()) {
        std::unique_ptr<TLMSetConst> set = CreateModelSet(name);
        const TLMSetScreenSize& screen = *set->ScreenSize;
        char line[256];
        std::snprintf(line, sizeof line, "%-6s screen %dx%d  scale %.1f  preview %dx%d  OAVI %s",
                      set->ModelName.c_str(), screen.Width, screen.Height, double(screen.Scale),
                      screen.ScaledWidth(), screen.ScaledHeight(),
                      set->HasVideoFormat() ? "yes" : "no");
        std::cout << line;
        if (set->HasVideoFormat()) {
            const TLMSetVideoInfo& profile = *set->VideoInfo;
            std::snprintf(line, sizeof line,
                          "  frame %dx%d  fps %d  key-frame interval %d  format 0x%08X",
                          profile.VideoWidth, profile.VideoHeight, profile.PlaySpeed,
                          profile.GetKeyFrameInterval(), unsigned(profile.GetFormatWord()));
            std::cout << line;
        }
        std::cout << "\n";
    }
    return ExitOk;
}

const OmmCommand command({"models", "models    list the device models and their video profiles",
                          runModels});

} // namespace
} // namespace omm::cli
