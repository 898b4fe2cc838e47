#include "JobScript.h"

#include <cctype>
#include <cstdlib>
#include <sstream>

namespace vdub {
namespace {

std::string trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])))
        --e;
    return s.substr(b, e - b);
}

bool startsWith(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

// The text between the parentheses of "Name(args);".
bool argumentsOf(const std::string& stmt, const std::string& name, std::string& args) {
    if (!startsWith(stmt, (name + "(").c_str()))
        return false;
    size_t close = stmt.rfind(')');
    if (close == std::string::npos || close < name.size() + 1)
        return false;
    args = stmt.substr(name.size() + 1, close - name.size() - 1);
    return true;
}

// Splits "a, b, c" of plain numbers.
bool parseIntegers(const std::string& args, std::vector<int64_t>& out) {
    std::stringstream ss(args);
    std::string item;
    while (std::getline(ss, item, ',')) {
        item = trim(item);
        if (item.empty())
            return false;
        char* end = nullptr;
        long long v = std::strtoll(item.c_str(), &end, 10);
        if (*end != '\0')
            return false;
        out.push_back(v);
    }
    return true;
}

// A quoted path argument, optionally with the U prefix of wide strings. Paths are not
// escaped, so the closing quote is the last one of the argument text.
bool parseSinglePath(const std::string& args, std::string& path) {
    std::string a = trim(args);
    if (startsWith(a, "U"))
        a = a.substr(1);
    if (a.size() < 2 || a.front() != '"' || a.back() != '"')
        return false;
    path = a.substr(1, a.size() - 2);
    return true;
}

// U"PREFIX", "SUFFIX", DIGITS, FORMAT. The prefix may hold any character, the suffix is
// a plain extension: the prefix ends at the last `", "` of the line.
bool parseSaveArguments(const std::string& args, ExportJob& job) {
    std::string a = trim(args);
    if (startsWith(a, "U"))
        a = a.substr(1);
    if (a.empty() || a.front() != '"')
        return false;
    size_t sep = a.rfind("\", \"");
    if (sep == std::string::npos || sep < 1)
        return false;
    job.Prefix = a.substr(1, sep - 1);
    size_t suffixStart = sep + 4;
    size_t suffixEnd = a.find('"', suffixStart);
    if (suffixEnd == std::string::npos)
        return false;
    job.Suffix = a.substr(suffixStart, suffixEnd - suffixStart);
    std::string rest = trim(a.substr(suffixEnd + 1));
    if (!startsWith(rest, ","))
        return false;
    std::vector<int64_t> numbers;
    if (!parseIntegers(rest.substr(1), numbers) || numbers.size() != 2)
        return false;
    job.Digits = int(numbers[0]);
    job.Format = int(numbers[1]);
    return true;
}

} // namespace

ParsedScript ParseJobScript(const std::string& Text, const std::string& Name) {
    ParsedScript result;
    std::string source;
    bool opened = false;
    int64_t rangeStart = 0, rangeEndTrim = 0;

    std::stringstream in(Text);
    std::string raw;
    int lineNo = 0;
    auto fail = [&](const std::string& what) {
        result.Error = Name + ":" + std::to_string(lineNo) + ": " + what;
        result.Jobs.clear();
        return result;
    };
    while (std::getline(in, raw)) {
        ++lineNo;
        std::string line = trim(raw);
        if (lineNo == 1 && startsWith(line, "\xEF\xBB\xBF"))
            line = trim(line.substr(3));
        if (line.empty() || startsWith(line, "//") || startsWith(line, "#"))
            continue;
        if (line.back() == ';')
            line = trim(line.substr(0, line.size() - 1));
        std::string args;
        if (argumentsOf(line, "VirtualDub.Open", args)) {
            if (!parseSinglePath(args, source) || source.empty())
                return fail("the Open statement names no file");
            opened = true;
            rangeStart = rangeEndTrim = 0;
        } else if (argumentsOf(line, "VirtualDub.video.SetRange", args)) {
            std::vector<int64_t> v;
            if (args.find_first_not_of(" \t") == std::string::npos) {
                rangeStart = rangeEndTrim = 0; // no arguments: the whole video
            } else if (!parseIntegers(args, v) || v.size() != 2 || v[0] < 0 || v[1] < 0) {
                return fail("SetRange needs two non-negative millisecond values");
            } else {
                rangeStart = v[0];
                rangeEndTrim = v[1];
            }
        } else if (argumentsOf(line, "VirtualDub.SaveImageSequence", args)) {
            if (!opened)
                return fail("SaveImageSequence before any Open");
            ExportJob job;
            if (!parseSaveArguments(args, job))
                return fail("SaveImageSequence needs a prefix, a suffix, a digit count and "
                            "a format");
            if (job.Digits < 1 || job.Digits > 9)
                return fail("the digit count must be between 1 and 9");
            if (job.Format != 0)
                return fail("only the bitmap format (0) is supported");
            job.Source = source;
            job.RangeStartMs = rangeStart;
            job.RangeEndTrimMs = rangeEndTrim;
            job.Line = lineNo;
            result.Jobs.push_back(std::move(job));
        } else if (argumentsOf(line, "VirtualDub.Close", args)) {
            opened = false;
            source.clear();
        } else if (startsWith(line, "VirtualDub.audio.") || startsWith(line, "VirtualDub.video.") ||
                   startsWith(line, "VirtualDub.")) {
            // Sound and filter settings do not change the pictures of an image sequence.
            if (!startsWith(line, "VirtualDub.audio."))
                result.Warnings.push_back(Name + ":" + std::to_string(lineNo) +
                                          ": ignored: " + line);
        } else {
            return fail("not a job statement: " + line);
        }
    }
    if (result.Jobs.empty())
        result.Error = Name + ": the job script exports no image sequence";
    return result;
}

} // namespace vdub
