#include "support/TestSupport.h"

#include <QProcess>
#include <QStringList>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <random>

namespace omm::test {

TempDir::TempDir() {
    std::random_device rd;
    auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = base / ("omm-test-" + std::to_string(rd()));
        if (std::filesystem::create_directory(candidate)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

RunResult run(const std::string& program, const std::vector<std::string>& args, int timeoutMs) {
    QProcess process;
    QStringList list;
    for (const auto& a : args)
        list << QString::fromStdString(a);
    process.start(QString::fromStdString(program), list);
    RunResult result;
    if (!process.waitForStarted(timeoutMs)) {
        result.err = "cannot start " + program;
        return result;
    }
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        result.err = program + " did not finish in time";
        return result;
    }
    result.out = process.readAllStandardOutput().toStdString();
    result.err = process.readAllStandardError().toStdString();
    result.exitCode =
        process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return result;
}

bool ffmpeg(const std::vector<std::string>& args) {
    std::vector<std::string> all = {"-hide_banner", "-loglevel", "error", "-y", "-nostdin"};
    all.insert(all.end(), args.begin(), args.end());
    auto r = run("ffmpeg", all);
    EXPECT_EQ(r.exitCode, 0) << "ffmpeg failed: " << r.err;
    return r.exitCode == 0;
}

std::filesystem::path builtProgram(const std::string& name) {
    return std::filesystem::path(OMM_BIN_DIR) / name;
}

std::vector<unsigned char> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::filesystem::path& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

void writeText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

} // namespace omm::test
