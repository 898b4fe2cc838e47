#pragma once
// The byte sink every writer of the device video appends to: the frame compressors
// write their records into it, and the container's section writers use the same type
// for the output file and the segments' temporary files.
//
// Writers append at Position(); placeholders are filled later by seeking back, writing
// the value, and seeking to the end again (Seek(Size())). Numbers in the device file are
// little-endian; the Write* helpers below produce exactly that.
//
// Errors (a file that cannot be created, a full disk) throw TStreamError naming the file.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

class TStreamError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TOutStream {
public:
    virtual ~TOutStream() = default;

    // Writes Count bytes at the current position and moves past them. Writing inside the
    // written part overwrites; writing at the end appends.
    virtual void Write(const void* Data, size_t Count) = 0;
    virtual uint64_t Position() const = 0;
    // Moves the position to Pos, which must not lie beyond Size().
    virtual void Seek(uint64_t Pos) = 0;
    virtual uint64_t Size() const = 0;

    void WriteU8(uint8_t Value) { Write(&Value, 1); }
    void WriteU16(uint16_t Value);
    void WriteU32(uint32_t Value);
    void WriteBytes(const std::vector<uint8_t>& Bytes) { Write(Bytes.data(), Bytes.size()); }
    // Overwrites 4 bytes at Pos with Value and returns to the position it was at.
    void PatchU32(uint64_t Pos, uint32_t Value);
};

// A stream in memory; the compressors' tests and the parallel path's callers can read
// the bytes back with Bytes().
class TMemoryOutStream : public TOutStream {
public:
    void Write(const void* Data, size_t Count) override;
    uint64_t Position() const override { return Pos_; }
    void Seek(uint64_t Pos) override;
    uint64_t Size() const override { return Bytes_.size(); }

    const std::vector<uint8_t>& Bytes() const { return Bytes_; }
    std::vector<uint8_t> TakeBytes();
    void Clear();

private:
    std::vector<uint8_t> Bytes_;
    uint64_t Pos_ = 0;
};

// A file opened for writing. Create truncates (or creates) the file; the stream is
// buffered, so Close() (or the destructor, which swallows errors) must run before the
// file is read by anyone else. Close() reports a failed final write.
class TFileOutStream : public TOutStream {
public:
    enum class TMode { Create, Update };

    explicit TFileOutStream(const std::filesystem::path& FileName, TMode Mode = TMode::Create);
    ~TFileOutStream() override;
    TFileOutStream(const TFileOutStream&) = delete;
    TFileOutStream& operator=(const TFileOutStream&) = delete;

    void Write(const void* Data, size_t Count) override;
    uint64_t Position() const override { return Pos_; }
    void Seek(uint64_t Pos) override;
    uint64_t Size() const override { return Size_; }

    void Close();
    const std::filesystem::path& FileName() const { return FileName_; }

private:
    [[noreturn]] void Fail(const std::string& What) const;

    std::filesystem::path FileName_;
    std::FILE* File_ = nullptr;
    uint64_t Pos_ = 0;
    uint64_t Size_ = 0;
};

// Reads a whole file; throws TStreamError naming the file when it cannot be read.
std::vector<uint8_t> ReadWholeFile(const std::filesystem::path& FileName);

// Writes Bytes to FileName through a temporary name beside it, renamed over the target
// only when complete, so a failed write never leaves a damaged file in its place.
void WriteWholeFileAtomic(const std::filesystem::path& FileName, const void* Data, size_t Count);

// Writes Bytes to FileName as WriteWholeFileAtomic does, but a new file directly: one
// file creation and no rename, so many of them in one folder stay cheap. A failed write
// removes what it wrote. An existing file (another writer's too) is replaced through a
// temporary name, so the name never shows a damaged file in place of a complete one.
void WriteWholeFile(const std::filesystem::path& FileName, const void* Data, size_t Count);
