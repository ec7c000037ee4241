// Text between UTF-16 and bytes, text shown on one line, and text the
// system writes into a buffer of a size it is given.
#include <gtest/gtest.h>

#include "common/modText.h"

using namespace vantrel;

namespace {

TEST(WideFromBytes, DecodesUtf8AndMakesBadBytesReplacementCharacters) {
    EXPECT_EQ(WideFromBytes(""), L"");
    EXPECT_EQ(WideFromBytes("Gr\xC3\xB6\xC3\x9F"
                            "e \xE3\x83\x87\xF0\x9F\x98\x80"),
              L"Gr\u00F6\u00DFe \u30C7\U0001F600");
    EXPECT_EQ(WideFromBytes("a\xC3(b\x80"), L"a\uFFFD(b\uFFFD");
    EXPECT_EQ(WideFromBytes("Gr\xF6\xDF"
                            "e",
                            1252),
              L"Gr\u00F6\u00DFe");
}

TEST(Utf8Text, IsTheInverseOfDecoding) {
    const std::wstring text = L"C:\\Vantrel \u65E5\u672C \U0001F600.url";
    EXPECT_EQ(WideFromBytes(Utf8Text(text)), text);
    EXPECT_EQ(Utf8Text(L""), "");
}

// A line shown in a log stays one line, whatever it holds.
TEST(Visible, WritesEveryControlCharacterOut) {
    EXPECT_EQ(Visible(L"a\r\nb\tc\x01\x7F"), L"a<CR><LF>b<TAB>c<0x01><0x7F>");
    EXPECT_EQ(Visible(L"plain \u00E9"), L"plain \u00E9");
}

TEST(Quoted, CutsALongTextAndSaysHowLongItWas) {
    EXPECT_EQ(Quoted(L"a\tb"), L"\"a<TAB>b\"");
    const std::wstring shown = Quoted(std::wstring(5000, L'x'));
    EXPECT_EQ(shown.size(), 1024u + 2 + std::wstring(L"... (5000 characters)").size());
    EXPECT_EQ(shown.substr(shown.size() - 17), L"(5000 characters)");
}

// The buffer grows until the text fits, as the system's own calls report.
TEST(TextOfFittingSize, GrowsTheBufferUntilTheTextFits) {
    const std::wstring wanted(1000, L'w');
    int calls = 0;
    const std::wstring got = TextOfFittingSize([&](wchar_t* buffer, DWORD size) -> DWORD {
        ++calls;
        if (size <= wanted.size()) {
            return static_cast<DWORD>(wanted.size() + 1);  // the size that fits
        }
        std::copy(wanted.begin(), wanted.end(), buffer);
        return static_cast<DWORD>(wanted.size());
    });
    EXPECT_EQ(got, wanted);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(TextOfFittingSize([](wchar_t*, DWORD) -> DWORD { return 0; }), L"") << "a call that fails";
    EXPECT_EQ(TextOfFittingSize([](wchar_t*, DWORD size) -> DWORD { return size * 2; }), L"")
        << "a text that keeps growing";
}

}  // namespace
