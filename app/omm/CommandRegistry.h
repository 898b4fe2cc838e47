#pragma once
// The commands of `omm`. Each command lives in its own CmdXxx.cpp and registers itself
// with a static OmmCommand object, so commands are added without touching main.cpp.

#include <functional>
#include <string>
#include <vector>

namespace omm::cli {

// Exit statuses shared by every command.
constexpr int ExitOk = 0;
constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;

struct Command {
    std::string name;
    std::string synopsis; // one line for `omm --help`, e.g. "models  list the device models"
    // Runs the command with the arguments after its name; returns the exit status.
    std::function<int(const std::vector<std::string>& args)> run;
};

std::vector<Command>& commands();

struct OmmCommand {
    explicit OmmCommand(Command command) { commands().push_back(std::move(command)); }
};

// Prints "omm: MESSAGE" and the usage text on stderr; returns ExitUsage.
int usageError(const std::string& message);

// Takes "--name VALUE" or "--name=VALUE" at args[i]; advances i past what it used.
// Returns false when args[i] is not that option. A missing value raises UsageError.
bool takeOption(const std::vector<std::string>& args, size_t& i, const std::string& name,
                std::string& value);

struct UsageError {
    std::string message;
};

} // namespace omm::cli
