#include "settings/IniFileUnit.h"

// UTF-8 in, UTF-8 out: the file is read and written as bytes.
#define SI_NO_CONVERSION
// The packaged header keeps its template bodies behind this switch.
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

struct TIniFile::Impl {
    CSimpleIniA ini{true /*UTF-8*/, false /*one value per key*/, false};
};

namespace {

std::string trimmed(const std::string& text) {
    const char* blanks = " \t\r\n";
    size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return {};
    size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

[[noreturn]] void fail(const std::string& fileName, const std::string& what) {
    throw EIniFileError("settings file " + fileName + ": " + what);
}

std::string errnoText() {
    return std::strerror(errno);
}

// Writes Text to a fresh file beside Target and renames it over Target.
void replaceFileContents(const std::string& target, const std::string& text) {
    fs::path path(target);
    std::error_code ec;
    // Keep a symbolic link in place: write to the file it names.
    if (fs::is_symlink(path, ec)) {
        fs::path resolved = fs::weakly_canonical(path, ec);
        if (!ec)
            path = resolved;
    }
    fs::path folder = path.parent_path();
    if (!folder.empty() && !fs::exists(folder, ec)) {
        fs::create_directories(folder, ec);
        if (ec)
            fail(target, "cannot create its folder: " + ec.message());
    }
    std::string tempName = path.string() + ".XXXXXX";
    std::vector<char> tempBuffer(tempName.begin(), tempName.end());
    tempBuffer.push_back('\0');
    int fd = ::mkstemp(tempBuffer.data());
    if (fd < 0)
        fail(target, "cannot be written: " + errnoText());
    std::string tempPath(tempBuffer.data());
    auto abandon = [&](const std::string& why) {
        ::close(fd);
        ::unlink(tempPath.c_str());
        fail(target, why);
    };
    struct stat existing {};
    mode_t mode;
    if (::stat(path.c_str(), &existing) == 0) {
        mode = existing.st_mode & 07777;
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(fd, mode);
    const char* data = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t n = ::write(fd, data, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            abandon("cannot be written: " + errnoText());
        }
        data += n;
        left -= size_t(n);
    }
    if (::fsync(fd) != 0)
        abandon("cannot be written: " + errnoText());
    if (::close(fd) != 0) {
        ::unlink(tempPath.c_str());
        fail(target, "cannot be written: " + errnoText());
    }
    if (::rename(tempPath.c_str(), path.c_str()) != 0) {
        std::string why = errnoText();
        ::unlink(tempPath.c_str());
        fail(target, "cannot be replaced: " + why);
    }
}

} // namespace

TIniFile::TIniFile(std::string FileName) : FileName_(std::move(FileName)), Impl_(new Impl) {
    Impl_->ini.SetSpaces(false);
    if (FileName_.empty())
        return;
    std::error_code ec;
    fs::file_status status = fs::status(FileName_, ec);
    if (ec || status.type() == fs::file_type::not_found) {
        return; // a missing file reads as defaults
    }
    if (status.type() == fs::file_type::directory) {
        delete Impl_;
        fail(FileName_, "is a folder, not a file");
    }
    std::ifstream in(FileName_, std::ios::binary);
    if (!in) {
        delete Impl_;
        fail(FileName_, "cannot be read: " + errnoText());
    }
    std::ostringstream content;
    content << in.rdbuf();
    if (Impl_->ini.LoadData(content.str()) < 0) {
        delete Impl_;
        fail(FileName_, "cannot be read");
    }
}

TIniFile::~TIniFile() {
    delete Impl_;
}

bool TIniFile::ParseInteger(const std::string& Text, int& Value) {
    std::string text = trimmed(Text);
    if (text.empty())
        return false;
    size_t pos = 0;
    bool negative = false;
    if (text[0] == '+' || text[0] == '-') {
        negative = text[0] == '-';
        pos = 1;
    }
    if (pos >= text.size())
        return false;
    long long magnitude = 0;
    for (; pos < text.size(); ++pos) {
        char c = text[pos];
        if (c < '0' || c > '9')
            return false;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > (long long)INT_MAX + 1)
            return false;
    }
    long long result = negative ? -magnitude : magnitude;
    if (result > INT_MAX || result < INT_MIN)
        return false;
    Value = int(result);
    return true;
}

bool TIniFile::ValueExists(const std::string& Section, const std::string& Key) const {
    return Impl_->ini.GetValue(Section.c_str(), Key.c_str(), nullptr) != nullptr;
}

int TIniFile::ReadInteger(const std::string& Section, const std::string& Key, int Default) const {
    const char* text = Impl_->ini.GetValue(Section.c_str(), Key.c_str(), nullptr);
    int value = Default;
    if (text && ParseInteger(text, value))
        return value;
    return Default;
}

bool TIniFile::ReadBool(const std::string& Section, const std::string& Key, bool Default) const {
    return ReadInteger(Section, Key, Default ? 1 : 0) != 0;
}

std::string TIniFile::ReadString(const std::string& Section, const std::string& Key,
                                 const std::string& Default) const {
    const char* text = Impl_->ini.GetValue(Section.c_str(), Key.c_str(), nullptr);
    return text ? std::string(text) : Default;
}

void TIniFile::WriteInteger(const std::string& Section, const std::string& Key, int Value) {
    WriteString(Section, Key, std::to_string(Value));
}

void TIniFile::WriteBool(const std::string& Section, const std::string& Key, bool Value) {
    WriteString(Section, Key, Value ? "1" : "0");
}

void TIniFile::WriteString(const std::string& Section, const std::string& Key,
                           const std::string& Value) {
    // A line break would split the entry into two lines of the file.
    std::string oneLine = Value;
    std::replace(oneLine.begin(), oneLine.end(), '\n', ' ');
    std::replace(oneLine.begin(), oneLine.end(), '\r', ' ');
    if (Impl_->ini.SetValue(Section.c_str(), Key.c_str(), oneLine.c_str()) < 0)
        fail(FileName_, "cannot store " + Section + "/" + Key);
}

std::vector<TIniEntry> TIniFile::Entries() const {
    std::vector<TIniEntry> result;
    CSimpleIniA::TNamesDepend sections;
    Impl_->ini.GetAllSections(sections);
    sections.sort(CSimpleIniA::Entry::LoadOrder());
    for (const auto& section : sections) {
        CSimpleIniA::TNamesDepend keys;
        Impl_->ini.GetAllKeys(section.pItem, keys);
        keys.sort(CSimpleIniA::Entry::LoadOrder());
        for (const auto& key : keys) {
            const char* value = Impl_->ini.GetValue(section.pItem, key.pItem, "");
            result.push_back({section.pItem, key.pItem, value ? value : ""});
        }
    }
    return result;
}

void TIniFile::UpdateFile() {
    if (FileName_.empty())
        throw EIniFileError("settings kept in memory have no file to be written to");
    std::string text;
    if (Impl_->ini.Save(text, false) < 0)
        fail(FileName_, "cannot be composed");
    replaceFileContents(FileName_, text);
}
