// omm: the command-line face of OndrelMediaMaker.

#include "CommandRegistry.h"

#include <QDir>
#include <QGuiApplication>
#include <algorithm>
#include <cerrno>
#include <iostream>
#include <sys/stat.h>
#include <unistd.h>

namespace omm::cli {

std::vector<Command>& commands() {
    static std::vector<Command> list;
    return list;
}

static void printUsage(std::ostream& out) {
    out << "usage: omm COMMAND [OPTIONS] [FILES]\n"
           "       omm --help | --version\n\ncommands:\n";
    auto sorted = commands();
    std::sort(sorted.begin(), sorted.end(),
              [](const Command& a, const Command& b) { return a.name < b.name; });
    for (const auto& c : sorted)
        out << "  " << c.synopsis << "\n";
}

int usageError(const std::string& message) {
    std::cerr << "omm: " << message << "\n";
    printUsage(std::cerr);
    return ExitUsage;
}

bool takeOption(const std::vector<std::string>& args, size_t& i, const std::string& name,
                std::string& value) {
    const std::string& arg = args[i];
    if (arg == name) {
        if (i + 1 >= args.size())
            throw UsageError{"option " + name + " needs a value"};
        value = args[i + 1];
        i += 2;
        return true;
    }
    if (arg.rfind(name + "=", 0) == 0) {
        value = arg.substr(name.size() + 1);
        i += 1;
        return true;
    }
    return false;
}

} // namespace omm::cli

int main(int argc, char** argv) {
    using namespace omm::cli;
    // Drawing Flash text needs a GUI application (fonts); without a display the
    // offscreen platform serves, so omm runs the same on a server or in a terminal.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        // Qt would choose the same folder, but with a warning on every run.
        QByteArray runtimeDir =
            QDir::tempPath().toLocal8Bit() + "/runtime-" + QByteArray::number(uint(getuid()));
        if (::mkdir(runtimeDir.constData(), 0700) == 0 || errno == EEXIST)
            qputenv("XDG_RUNTIME_DIR", runtimeDir);
    }
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName("omm");

    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty())
        return usageError("no command given");
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        printUsage(std::cout);
        return ExitOk;
    }
    if (args[0] == "--version") {
        std::cout << "omm (OndrelMediaMaker) " << OMM_VERSION_TEXT << "\n";
        return ExitOk;
    }
    for (const auto& command : commands()) {
        if (command.name == args[0]) {
            try {
                return command.run({args.begin() + 1, args.end()});
            } catch (const UsageError& e) {
                return usageError(e.message);
            }
        }
    }
    return usageError("unknown command '" + args[0] + "'");
}
