// vdub: runs a frame-extraction job script.
//   vdub /s JOBFILE     runs the statements of JOBFILE
// Exit status 0 when every export of the script wrote its frames, 1 otherwise (with the
// reason on stderr), 2 for a bad command line.

#include "FrameExtractor.h"
#include "JobScript.h"

extern "C" {
#include <libavutil/log.h>
}

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

namespace {

int usage() {
    std::cerr << "usage: vdub /s JOBFILE\n";
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::string jobFile;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if ((arg == "/s" || arg == "-s" || arg == "/S") && i + 1 < argc)
            jobFile = argv[++i];
        else
            return usage();
    }
    if (jobFile.empty())
        return usage();

    av_log_set_level(std::getenv("VDUB_VERBOSE") ? AV_LOG_INFO : AV_LOG_QUIET);

    std::ifstream in(jobFile, std::ios::binary);
    if (!in) {
        std::cerr << "vdub: " << jobFile << ": the job script cannot be read\n";
        return 1;
    }
    std::stringstream text;
    text << in.rdbuf();
    vdub::ParsedScript script = vdub::ParseJobScript(text.str(), jobFile);
    if (!script.Error.empty()) {
        std::cerr << "vdub: " << script.Error << "\n";
        return 1;
    }
    for (const auto& w : script.Warnings)
        std::cerr << "vdub: " << w << "\n";

    int status = 0;
    for (const auto& job : script.Jobs) {
        vdub::ExportResult r = vdub::RunExport(job);
        if (!r.Warning.empty())
            std::cerr << "vdub: " << r.Warning << "\n";
        if (!r.Error.empty()) {
            std::cerr << "vdub: " << r.Error << "\n";
            status = 1;
        }
    }
    return status;
}
