#include "codec/uStream.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

std::string SystemReason() {
    return std::strerror(errno);
}

} // namespace

void TOutStream::WriteU16(uint16_t Value) {
    const uint8_t Bytes[2] = {uint8_t(Value), uint8_t(Value >> 8)};
    Write(Bytes, 2);
}

void TOutStream::WriteU32(uint32_t Value) {
    const uint8_t Bytes[4] = {uint8_t(Value), uint8_t(Value >> 8), uint8_t(Value >> 16),
                              uint8_t(Value >> 24)};
    Write(Bytes, 4);
}

void TOutStream::PatchU32(uint64_t Pos, uint32_t Value) {
    const uint64_t Back = Position();
    Seek(Pos);
    WriteU32(Value);
    Seek(Back);
}

// ---------------------------------------------------------------------------------------

void TMemoryOutStream::Write(const void* Data, size_t Count) {
    if (Count == 0)
        return;
    const auto* Bytes = static_cast<const uint8_t*>(Data);
    const size_t End = size_t(Pos_) + Count;
    if (End > Bytes_.size())
        Bytes_.resize(End);
    std::memcpy(Bytes_.data() + Pos_, Bytes, Count);
    Pos_ = End;
}

void TMemoryOutStream::Seek(uint64_t Pos) {
    if (Pos > Bytes_.size())
        throw TStreamError("memory stream: seek to " + std::to_string(Pos) + " beyond its end (" +
                           std::to_string(Bytes_.size()) + " bytes)");
    Pos_ = Pos;
}

std::vector<uint8_t> TMemoryOutStream::TakeBytes() {
    std::vector<uint8_t> Result = std::move(Bytes_);
    Clear();
    return Result;
}

void TMemoryOutStream::Clear() {
    Bytes_.clear();
    Pos_ = 0;
}

// ---------------------------------------------------------------------------------------

TFileOutStream::TFileOutStream(const std::filesystem::path& FileName, TMode Mode)
    : FileName_(FileName) {
    File_ = std::fopen(FileName.c_str(), Mode == TMode::Create ? "wb" : "r+b");
    if (!File_)
        Fail(Mode == TMode::Create ? "cannot create the file" : "cannot open the file");
    if (Mode == TMode::Update) {
        if (std::fseek(File_, 0, SEEK_END) != 0)
            Fail("cannot seek");
        const long End = std::ftell(File_);
        if (End < 0)
            Fail("cannot tell its size");
        Size_ = Pos_ = uint64_t(End);
    }
}

TFileOutStream::~TFileOutStream() {
    if (File_)
        std::fclose(File_);
}

void TFileOutStream::Fail(const std::string& What) const {
    throw TStreamError(FileName_.string() + ": " + What + " (" + SystemReason() + ")");
}

void TFileOutStream::Write(const void* Data, size_t Count) {
    if (!File_)
        throw TStreamError(FileName_.string() + ": write after the file was closed");
    if (Count == 0)
        return;
    if (std::fwrite(Data, 1, Count, File_) != Count)
        Fail("cannot write " + std::to_string(Count) + " bytes at offset " + std::to_string(Pos_));
    Pos_ += Count;
    if (Pos_ > Size_)
        Size_ = Pos_;
}

void TFileOutStream::Seek(uint64_t Pos) {
    if (!File_)
        throw TStreamError(FileName_.string() + ": seek after the file was closed");
    if (Pos > Size_)
        throw TStreamError(FileName_.string() + ": seek to " + std::to_string(Pos) +
                           " beyond its end (" + std::to_string(Size_) + " bytes)");
    if (::fseeko(File_, off_t(Pos), SEEK_SET) != 0)
        Fail("cannot seek to offset " + std::to_string(Pos));
    Pos_ = Pos;
}

void TFileOutStream::Close() {
    if (!File_)
        return;
    std::FILE* F = File_;
    File_ = nullptr;
    const bool Flushed = std::fflush(F) == 0;
    const bool Closed = std::fclose(F) == 0;
    if (!Flushed || !Closed)
        Fail("cannot complete writing");
}

// ---------------------------------------------------------------------------------------

void WriteWholeFile(const std::filesystem::path& FileName, const void* Data, size_t Count) {
    const int Fd = ::open(FileName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (Fd < 0 && errno == EEXIST)
        return WriteWholeFileAtomic(FileName, Data, Count);
    if (Fd < 0)
        throw TStreamError(FileName.string() + ": cannot create the file (" + SystemReason() + ")");
    const auto* At = static_cast<const uint8_t*>(Data);
    size_t Left = Count;
    std::string Failure;
    while (Left > 0 && Failure.empty()) {
        const ssize_t Done = ::write(Fd, At, Left);
        if (Done < 0 && errno == EINTR)
            continue;
        if (Done <= 0)
            Failure = "cannot write " + std::to_string(Count) + " bytes (" + SystemReason() + ")";
        else {
            At += Done;
            Left -= size_t(Done);
        }
    }
    struct stat Mine {};
    const bool Known = ::fstat(Fd, &Mine) == 0;
    if (::close(Fd) != 0 && Failure.empty())
        Failure = "cannot complete writing (" + SystemReason() + ")";
    if (!Failure.empty()) {
        // Remove the name only while it is still this file: another writer may have put
        // a complete one there meanwhile.
        struct stat Now {};
        if (Known && ::stat(FileName.c_str(), &Now) == 0 && Now.st_dev == Mine.st_dev &&
            Now.st_ino == Mine.st_ino)
            ::unlink(FileName.c_str());
        throw TStreamError(FileName.string() + ": " + Failure);
    }
}

std::vector<uint8_t> ReadWholeFile(const std::filesystem::path& FileName) {
    std::FILE* F = std::fopen(FileName.c_str(), "rb");
    if (!F)
        throw TStreamError(FileName.string() + ": cannot open the file (" + SystemReason() + ")");
    std::vector<uint8_t> Bytes;
    uint8_t Chunk[65536];
    for (;;) {
        const size_t Got = std::fread(Chunk, 1, sizeof Chunk, F);
        Bytes.insert(Bytes.end(), Chunk, Chunk + Got);
        if (Got < sizeof Chunk)
            break;
    }
    const bool Failed = std::ferror(F) != 0;
    std::fclose(F);
    if (Failed)
        throw TStreamError(FileName.string() + ": cannot read the file");
    return Bytes;
}

void WriteWholeFileAtomic(const std::filesystem::path& FileName, const void* Data, size_t Count) {
    std::filesystem::path Temp = FileName;
    static std::atomic<unsigned> Counter{0};
    Temp += ".part" + std::to_string(::getpid()) + "-" + std::to_string(Counter++);
    try {
        TFileOutStream Out(Temp);
        Out.Write(Data, Count);
        Out.Close();
    } catch (...) {
        std::error_code Ignored;
        std::filesystem::remove(Temp, Ignored);
        throw;
    }
    std::error_code Error;
    std::filesystem::rename(Temp, FileName, Error);
    if (Error) {
        std::error_code Ignored;
        std::filesystem::remove(Temp, Ignored);
        throw TStreamError(FileName.string() + ": cannot replace the file (" + Error.message() +
                           ")");
    }
}
