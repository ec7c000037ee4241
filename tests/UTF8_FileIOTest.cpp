// The UTF-8 file reader, on real files.
#include <gtest/gtest.h>

#include "sweep/modCrypt.h"
#include "sweep/modUTF8_FileIO.h"
#include "tests/support/TestSupport.h"

using namespace vantrel;
using namespace vantrel::sweep;
using testing_support::TempFolder;
using testing_support::WriteBytes;

namespace {

struct ReadResult {
    bool ok;
    std::wstring content;
    std::wstring message;
};

ReadResult Read(const std::wstring& path, bool allowAnsi = false, bool emptyOk = false,
                bool descramble = false) {
    ReadResult r{false, L"stale", L"stale"};
    r.ok = ReadUTF8File(path, r.content, r.message, allowAnsi, emptyOk, descramble);
    return r;
}

class ReaderTest : public ::testing::Test {
protected:
    std::wstring FileWith(std::string_view bytes) {
        std::wstring path = folder_ / (L"f" + std::to_wstring(next_++) + L".ini");
        WriteBytes(path, bytes);
        return path;
    }
    TempFolder folder_{L"reader"};
    int next_ = 0;
};

TEST_F(ReaderTest, MarkedFileGivesTheTextAfterTheMark) {
    ReadResult r =
        Read(FileWith("\xEF\xBB\xBF"
                      "abc"));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.content, L"abc");
    EXPECT_EQ(r.message, L"");
}

TEST_F(ReaderTest, NonAsciiTextIsDecodedFromUtf8) {
    ReadResult r =
        Read(FileWith("\xEF\xBB\xBF"
                      "C:\\\xE3\x83\x87\xE3\x82\xB9\xE3\x82\xAF\\caf\xC3\xA9.url\r\n"));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.content, L"C:\\\u30C7\u30B9\u30AF\\caf\u00E9.url\r\n");
}

TEST_F(ReaderTest, UnmarkedFileIsRefusedUnlessAnsiIsAllowed) {
    std::wstring path = FileWith("abc");
    ReadResult refused = Read(path);
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.message, L"Error: The file " + path + L" is not UTF-8 encoded");
    EXPECT_EQ(refused.content, L"");

    ReadResult accepted = Read(path, /*allowAnsi=*/true);
    EXPECT_TRUE(accepted.ok);
    EXPECT_EQ(accepted.content, L"abc");
    EXPECT_EQ(accepted.message, L"");
}

TEST_F(ReaderTest, TwoByteFileWithHalfAMarkIsNotMarked) {
    std::wstring path = FileWith("\xEF\xBB");
    EXPECT_FALSE(Read(path).ok);
    ReadResult ansi = Read(path, /*allowAnsi=*/true);
    ASSERT_TRUE(ansi.ok);
    // Both bytes decoded from the ANSI code page, nothing dropped.
    EXPECT_EQ(ansi.content.size(), 2u);
}

TEST_F(ReaderTest, EmptyFileSucceedsOnlyWhenEmptyIsAllowed) {
    std::wstring path = FileWith("");
    ReadResult refused = Read(path);
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.message, L"File not found or empty");

    ReadResult accepted = Read(path, false, /*emptyOk=*/true);
    EXPECT_TRUE(accepted.ok);
    EXPECT_EQ(accepted.content, L"");
    EXPECT_EQ(accepted.message, L"");
}

TEST_F(ReaderTest, MissingFileIsAnErrorWithTheSystemCodeEvenWhenEmptyIsAllowed) {
    ReadResult r = Read(folder_ / L"absent.ini", true, /*emptyOk=*/true);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.content, L"");
    EXPECT_EQ(r.message.rfind(L"Error 2 ", 0), 0u) << r.message;
    EXPECT_GT(r.message.size(), 8u) << "the description follows the code";
}

TEST_F(ReaderTest, MarkWithNothingAfterItFailsThroughTheErrorExit) {
    ReadResult r = Read(FileWith("\xEF\xBB\xBF"));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message.rfind(L"Error ", 0), 0u) << r.message;
    EXPECT_NE(r.message.find(L' ', 6), std::wstring::npos);
}

TEST_F(ReaderTest, FolderIsNotReadAsAnEmptyFile) {
    testing_support::MakeFolders(folder_ / L"sub.ini");
    ReadResult r = Read(folder_ / L"sub.ini", true, /*emptyOk=*/true);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message.rfind(L"Error ", 0), 0u) << r.message;
}

TEST_F(ReaderTest, FileHeldWithoutSharingCannotBeRead) {
    std::wstring path = FileWith(
        "\xEF\xBB\xBF"
        "abc");
    HANDLE held = ::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ReadResult r = Read(path);
    ::CloseHandle(held);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message.rfind(L"Error 32 ", 0), 0u) << r.message;
}

TEST_F(ReaderTest, InvalidUtf8IsLeftToTheConverter) {
    ReadResult r =
        Read(FileWith("\xEF\xBB\xBF"
                      "a\xC3\x28"
                      "b\x80"));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.content, std::wstring(L"a\uFFFD(b\uFFFD"));
}

TEST_F(ReaderTest, DescramblingActsOnTheContentOnlyNeverOnTheMark) {
    // Content 61 62 63 64 65: pairs start at 0 and 2 (at most 5 - 3).
    ReadResult r = Read(FileWith("\xEF\xBB\xBF"
                                 "abcde"),
                        false, false, /*descramble=*/true);
    ASSERT_TRUE(r.ok);
    // Worked out by hand for the amounts the scrambling side uses, 3 added
    // at even positions and 5 taken at odd ones: a+3, b-5, c+3, d-5, e.
    EXPECT_EQ(r.content, L"d]f_e");
}

TEST(UTF8BytesToString, EveryConvertedUnitIsKeptAndNoMore) {
    EXPECT_EQ(UTF8BytesToString({}), L"");
    // Four bytes, one code point outside the BMP: two UTF-16 units.
    EXPECT_EQ(UTF8BytesToString({0xF0, 0x9F, 0x94, 0x97}), L"\U0001F517");
    EXPECT_EQ(UTF8BytesToString({0xC0, 0xAF}), L"\uFFFD\uFFFD");
}

// The reader's bytes, which sweepcheck judges: after the mark, or all of
// an unmarked file when asked for, through the same opening as the reader.
TEST_F(ReaderTest, FileBytesAreWhatTheReaderDecodes) {
    FileBytes file;
    EXPECT_EQ(ReadFileBytes(FileWith("\xEF\xBB\xBF"
                                     "ab"),
                            Unmarked::Skipped, file),
              0u);
    EXPECT_TRUE(file.marked);
    EXPECT_EQ(file.bytes, (ByteBuffer{'a', 'b'}));
    const std::wstring unmarked = FileWith("\xFF\xFEx");
    EXPECT_EQ(ReadFileBytes(unmarked, Unmarked::Skipped, file), 0u);
    EXPECT_EQ(file.length, 3u);
    EXPECT_TRUE(file.bytes.empty()) << "an unmarked file is read only when asked for";
    EXPECT_EQ(ReadFileBytes(unmarked, Unmarked::Read, file), 0u);
    EXPECT_EQ(file.bytes, (ByteBuffer{0xFF, 0xFE, 'x'}));
    EXPECT_EQ(ReadFileBytes(folder_ / L"absent.ini", Unmarked::Read, file),
              static_cast<unsigned long>(ERROR_FILE_NOT_FOUND));
}

// Where bytes are not UTF-8, told apart as the system's converter tells
// them: a well-formed stretch decodes without U+FFFD, an ill-formed
// sequence to nothing but U+FFFD.
TEST(InvalidUTF8Sequences, AgreeWithTheConverter) {
    using Spans = std::vector<std::pair<size_t, size_t>>;
    EXPECT_EQ(InvalidUTF8Sequences({'G', 'r', 0xF6, 0xDF, 'e'}), (Spans{{2, 1}, {3, 1}}));  // Windows-1252
    EXPECT_EQ(InvalidUTF8Sequences({0xE3, 0x83}), (Spans{{0, 2}}));                         // cut short
    EXPECT_EQ(InvalidUTF8Sequences({0xEF, 0xBF, 0xBD, 0xC3, 0xA9, 0xF0, 0x9F, 0x94, 0x97}), Spans{});
    const ByteBuffer alphabet = {'a',  '\r', 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC2,
                                 0xDF, 0xE0, 0xE1, 0xED, 0xEE, 0xF0, 0xF3, 0xF4, 0xF5, 0xFF};
    uint32_t seed = 27;
    for (int round = 0; round < 2000; ++round) {
        ByteBuffer bytes(static_cast<size_t>(1 + round % 9));
        for (unsigned char& byte : bytes) {
            seed = seed * 1103515245u + 12345u;
            byte = alphabet[(seed >> 16) % alphabet.size()];
        }
        size_t at = 0;
        for (const auto& [offset, length] : InvalidUTF8Sequences(bytes)) {
            const ByteBuffer good(bytes.begin() + static_cast<ptrdiff_t>(at),
                                  bytes.begin() + static_cast<ptrdiff_t>(offset));
            const ByteBuffer bad(bytes.begin() + static_cast<ptrdiff_t>(offset),
                                 bytes.begin() + static_cast<ptrdiff_t>(offset + length));
            EXPECT_EQ(UTF8BytesToString(good).find(L'\uFFFD'), std::wstring::npos)
                << testing::PrintToString(bytes);
            EXPECT_EQ(UTF8BytesToString(bad).find_first_not_of(L'\uFFFD'), std::wstring::npos)
                << testing::PrintToString(bytes);
            at = offset + length;
        }
        const ByteBuffer rest(bytes.begin() + static_cast<ptrdiff_t>(at), bytes.end());
        EXPECT_EQ(UTF8BytesToString(rest).find(L'\uFFFD'), std::wstring::npos)
            << testing::PrintToString(bytes);
    }
}

}  // namespace
