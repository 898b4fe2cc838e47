#pragma once
// One settings file, read and written the way the INI services of the original platform
// do it: sections and keys are found without regard to letter case; Booleans are written
// 1 or 0 and read true for any number but 0; a value that is missing or not a whole
// number reads as the caller's default. New keys keep the order they were first written
// in; keys of an existing file keep their place, and keys nobody writes are kept.
//
// Each object opens the file afresh when it is created and writes the whole file back in
// UpdateFile, to a temporary file beside it that is renamed over it only when complete.

#include <stdexcept>
#include <string>
#include <vector>

// A settings file that cannot be read or written; the message names the file.
class EIniFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TIniEntry {
    std::string Section;
    std::string Key;
    std::string Value;
};

class TIniFile {
public:
    // Reads FileName when it exists. An empty name makes a file that lives in memory only
    // (UpdateFile then raises). Raises EIniFileError when the file exists but cannot be read.
    explicit TIniFile(std::string FileName);
    ~TIniFile();
    TIniFile(const TIniFile&) = delete;
    TIniFile& operator=(const TIniFile&) = delete;

    const std::string& FileName() const { return FileName_; }

    int ReadInteger(const std::string& Section, const std::string& Key, int Default) const;
    bool ReadBool(const std::string& Section, const std::string& Key, bool Default) const;
    std::string ReadString(const std::string& Section, const std::string& Key,
                           const std::string& Default) const;
    bool ValueExists(const std::string& Section, const std::string& Key) const;

    void WriteInteger(const std::string& Section, const std::string& Key, int Value);
    void WriteBool(const std::string& Section, const std::string& Key, bool Value);
    void WriteString(const std::string& Section, const std::string& Key, const std::string& Value);

    // Every key in file order (sections in the order they first appear).
    std::vector<TIniEntry> Entries() const;

    // Writes the file atomically; raises EIniFileError naming the file when refused.
    void UpdateFile();

    // A whole decimal number with optional sign and surrounding blanks, within int range.
    static bool ParseInteger(const std::string& Text, int& Value);

private:
    struct Impl;
    std::string FileName_;
    Impl* Impl_;
};
