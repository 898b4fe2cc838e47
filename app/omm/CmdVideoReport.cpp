// omm inspect FILE: the head, tables, subtitles, sound and frame records of a device
// video, after checking its layout.

#include "CommandRegistry.h"
#include "container/uVideoDecode.h"

#include <cstdio>
#include <iostream>
#include <map>

namespace omm::cli {
namespace {

const char* TypeName(const TVideoRecord& r) {
    if (r.Unchanged)
        return "unchanged";
    switch (r.Type) {
    case TFrameType::Key:
        return "key";
    case TFrameType::Delta:
        return "delta";
    case TFrameType::Full:
        return "full";
    case TFrameType::Jpeg:
        return "jpeg";
    }
    return "?";
}

std::string Hex32(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", v);
    return buf;
}

std::string Time(uint32_t ms) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02u:%02u:%02u,%03u", ms / 3600000, ms / 60000 % 60,
                  ms / 1000 % 60, ms % 1000);
    return buf;
}

void PrintHead(const TVideoFile& f) {
    const TVideoFileHead& h = f.Head;
    std::cout << "File: " << f.FileName << "\n"
              << "Magic: OAVI\n"
              << "FormatCode: " << Hex32(h.FormatCode) << " (" << f.ModelName << ")\n"
              << "FileSize: " << h.FileSize << "\n"
              << "HeadSize: " << h.HeadSize << "\n"
              << "Version: " << h.Version << "\n"
              << "FrameCount: " << h.FrameCount << "\n"
              << "Duration: " << h.Duration << " ms\n"
              << "Height: " << h.Height << "\n"
              << "Width: " << h.Width << "\n"
              << "FrameRate: " << h.FrameRate << "\n"
              << "BaseFrameInterval: " << h.BaseFrameInterval << "\n"
              << "HeadOption: " << h.HeadOption << "\n"
              << "SoundOffset: " << h.SoundOffset << "\n"
              << "Trailer: " << h.Trailer << "\n";
}

void PrintTables(const TVideoFile& f) {
    std::cout << "\nChapters: " << f.Chapters.size() << "\n";
    for (size_t i = 0; i < f.Chapters.size(); ++i)
        std::cout << "  " << i << ": offset " << f.Chapters[i].Offset << ", value "
                  << f.Chapters[i].Value << "\n";
    std::cout << "Base frames: " << f.BaseFrames.size() << "\n";
    for (size_t i = 0; i < f.BaseFrames.size(); ++i) {
        const TVideoTableEntry& e = f.BaseFrames[i];
        std::cout << "  " << i << ": offset " << e.Offset << ", time " << e.Value << " ms";
        const int record = e.Offset ? f.RecordAt(e.Offset) : -1;
        if (record >= 0)
            std::cout << ", frame " << record << " (" << TypeName(f.Records[size_t(record)]) << ")";
        else
            std::cout << ", not patched";
        std::cout << "\n";
    }
    if (f.HasSubtitleTable) {
        std::cout << "Subtitles: " << f.Subtitles.size() << " (header " << f.SubtitleHeader0 << " "
                  << unsigned(f.SubtitleHeader1) << " " << unsigned(f.SubtitleHeader2) << ")\n";
        for (size_t i = 0; i < f.Subtitles.size(); ++i) {
            const TVideoSubtitle& s = f.Subtitles[i];
            std::cout << "  " << i << ": " << Time(s.Start) << " --> " << Time(s.End)
                      << ", text at " << s.TextOffset << ": " << s.FirstLine;
            if (!s.SecondLine.empty())
                std::cout << " / " << s.SecondLine;
            std::cout << "\n";
        }
    }
    std::cout << "Sound: offset " << f.SoundOffset << ", length " << f.SoundLength << "\n";
}

void PrintRecords(const TVideoFile& f) {
    std::cout << "\nFrame stream: offset " << f.FrameStreamOffset << ", " << f.Records.size()
              << " records, end mark at " << f.EndMarkOffset << "\n";
    std::map<std::string, std::pair<size_t, uint64_t>> byType;
    uint64_t total = 0;
    for (size_t i = 0; i < f.Records.size(); ++i) {
        const TVideoRecord& r = f.Records[i];
        std::cout << "  " << i << ": offset " << r.Offset << ", " << r.Length << " bytes, "
                  << TypeName(r) << "\n";
        auto& slot = byType[TypeName(r)];
        ++slot.first;
        slot.second += r.Length;
        total += r.Length;
    }
    std::cout << "Summary: " << f.Records.size() << " frames, " << total << " bytes";
    if (!f.Records.empty())
        std::cout << ", " << total / f.Records.size() << " bytes per frame";
    std::cout << "\n";
    for (const auto& [type, counts] : byType)
        std::cout << "  " << type << ": " << counts.first << " frames, " << counts.second
                  << " bytes\n";
    if (f.TextPoolOffset < f.Bytes.size())
        std::cout << "Text pool: offset " << f.TextPoolOffset << ", "
                  << f.Bytes.size() - f.TextPoolOffset << " bytes\n";
}

int runInspect(const std::vector<std::string>& args) {
    if (args.size() != 1 || args[0].empty() || args[0][0] == '-')
        return usageError("inspect takes one device video file");
    try {
        const TVideoFile file = TVideoDecode::Open(args[0]);
        PrintHead(file);
        PrintTables(file);
        PrintRecords(file);
    } catch (const std::exception& e) {
        std::cerr << "omm: " << e.what() << "\n";
        return ExitFailed;
    }
    return ExitOk;
}

const OmmCommand command({"inspect",
                          "inspect FILE   show the head, tables and frame records of a "
                          "device video (.omv, .ovi)",
                          runInspect});

} // namespace
} // namespace omm::cli
