// The byte sinks the compressors and section writers append to.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "codec/uStream.h"
#include "support/TestSupport.h"

namespace {

TEST(Stream, MemoryStreamWritesLittleEndianAndPatches) {
    TMemoryOutStream S;
    S.WriteU8(0xFF);
    S.WriteU16(0x0102);
    S.WriteU32(0);
    S.WriteU32(0xA1B2C3D4);
    S.PatchU32(3, 0x11223344);
    EXPECT_EQ(S.Position(), 11u);
    const std::vector<uint8_t> Expected = {0xFF, 0x02, 0x01, 0x44, 0x33, 0x22,
                                           0x11, 0xD4, 0xC3, 0xB2, 0xA1};
    EXPECT_EQ(S.Bytes(), Expected);
    EXPECT_THROW(S.Seek(12), TStreamError);
}

TEST(Stream, FileStreamSeeksBackAndForward) {
    omm::test::TempDir Dir;
    const auto Name = Dir / "seg.tmp";
    {
        TFileOutStream S(Name);
        S.WriteU32(0);
        S.WriteU8(7);
        S.PatchU32(0, 5);
        EXPECT_EQ(S.Position(), 5u);
        S.WriteU8(8);
        EXPECT_EQ(S.Size(), 6u);
        S.Close();
    }
    EXPECT_EQ(omm::test::readFile(Name), (std::vector<unsigned char>{5, 0, 0, 0, 7, 8}));
    {
        TFileOutStream S(Name, TFileOutStream::TMode::Update);
        EXPECT_EQ(S.Size(), 6u);
        S.WriteU8(9);
        S.Close();
    }
    EXPECT_EQ(omm::test::readFile(Name).size(), 7u);
}

TEST(Stream, ErrorsNameTheFile) {
    omm::test::TempDir Dir;
    try {
        TFileOutStream S(Dir / "missing" / "x.tmp");
        ADD_FAILURE() << "no error";
    } catch (const TStreamError& E) {
        EXPECT_NE(std::string(E.what()).find("x.tmp"), std::string::npos) << E.what();
    }
    EXPECT_THROW(ReadWholeFile(Dir / "none"), TStreamError);
}

TEST(Stream, AtomicWriteReplacesAndLeavesNoTemporaryFile) {
    omm::test::TempDir Dir;
    const auto Name = Dir / "a.jpg";
    const char First[] = "first";
    const char Second[] = "2nd";
    WriteWholeFileAtomic(Name, First, 5);
    WriteWholeFileAtomic(Name, Second, 3);
    EXPECT_EQ(omm::test::readFile(Name).size(), 3u);
    int Files = 0;
    for ([[maybe_unused]] const auto& E : std::filesystem::directory_iterator(Dir.path()))
        ++Files;
    EXPECT_EQ(Files, 1);
}

// Side files: written in place, an older file of the name removed rather than written
// through (another name linked to it keeps its contents), errors naming the file.
TEST(Stream, DirectWriteReplacesTheNameNotTheOlderFile) {
    omm::test::TempDir Dir;
    const auto Name = Dir / "000001.jpg";
    const auto Link = Dir / "kept.jpg";
    WriteWholeFile(Name, "first", 5);
    std::filesystem::create_hard_link(Name, Link);
    WriteWholeFile(Name, "2nd", 3);
    EXPECT_EQ(omm::test::readFile(Name), (std::vector<unsigned char>{'2', 'n', 'd'}));
    EXPECT_EQ(omm::test::readFile(Link).size(), 5u);
    WriteWholeFile(Name, "", 0);
    EXPECT_TRUE(omm::test::readFile(Name).empty());

    for (const auto& Bad : {Dir / "missing" / "x.jpg", Dir / "folder.jpg"}) {
        std::filesystem::create_directory(Dir / "folder.jpg");
        try {
            WriteWholeFile(Bad, "x", 1);
            ADD_FAILURE() << "no error for " << Bad;
        } catch (const TStreamError& E) {
            EXPECT_NE(std::string(E.what()).find(Bad.filename().string()), std::string::npos)
                << E.what();
        }
    }
    EXPECT_TRUE(std::filesystem::is_directory(Dir / "folder.jpg"));
}

// Several conversions may share the frames' folder: writers of the same side file never
// fail each other, and the name always shows one writer's whole picture.
TEST(Stream, ConcurrentDirectWritesLeaveOneWholeFile) {
    omm::test::TempDir Dir;
    const auto Name = Dir / "000001.jpg";
    constexpr int Writers = 4, Rounds = 150;
    constexpr size_t Size = 4096;
    std::atomic<int> Failures{0};
    std::vector<std::thread> Threads;
    for (int T = 0; T < Writers; ++T)
        Threads.emplace_back([&, T] {
            const std::vector<uint8_t> Mine(Size, uint8_t('a' + T));
            for (int R = 0; R < Rounds; ++R) {
                try {
                    WriteWholeFile(Name, Mine.data(), Mine.size());
                    const auto Seen = ReadWholeFile(Name);
                    if (Seen.size() != Size ||
                        std::count(Seen.begin(), Seen.end(), Seen.front()) != long(Size))
                        ++Failures;
                } catch (const std::exception&) {
                    ++Failures;
                }
            }
        });
    for (auto& T : Threads)
        T.join();
    EXPECT_EQ(Failures.load(), 0);
    int Files = 0;
    for ([[maybe_unused]] const auto& E : std::filesystem::directory_iterator(Dir.path()))
        ++Files;
    EXPECT_EQ(Files, 1);
}

} // namespace
