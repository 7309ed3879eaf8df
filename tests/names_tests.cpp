#include <windows.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "base/ansi_text.h"
#include "plugin/names/plus_codes.h"
#include "plugin/names/strip_plus_codes.h"
#include "registry_fixture.h"
#include "support/code_page_samples.h"

using namespace tunelark;
using testsupport::ReadRaw;
using testsupport::WriteRaw;

namespace {

// Default codes, kept apart so that a following digit is not read as part of a \x escape.
const std::string CC = "\xB7$";
const std::string Bold = "\xB7#";
const std::string Italic = "\xB7&";
const std::string Underline = "\xB7@";
const std::string Strike = "\xB7'";
const std::string Reset = "\xB7" "0";
const std::string NB = "\xA0";

std::string Strip(const std::string& text, int hostVersion = 3) {
    return StripPlusCodesFromText(text, DefaultPlusCodes(), hostVersion);
}

struct Case {
    std::string in;
    std::string out;
};

void ExpectAll(std::initializer_list<Case> cases, int hostVersion = 3) {
    for (const Case& c : cases) EXPECT_EQ(Strip(c.in, hostVersion), c.out) << "input: " << c.in;
}

// "Zソ" and kin end in a second byte "\\" (a letter in 949): walked by character. 932 has
// two lead ranges, and half-width katakana (0xA1 to 0xDF) between them are single bytes.
TEST(CodePage, TextIsWalkedByCharacter) {
    const std::tuple<unsigned, std::string, bool> cases[] = {{932, "Z\x83\x5C", true}, {932, "Z\xE0\x5C", true},
        {932, "Z\xFC\x5C", true}, {932, "Z\xA1\x5C", false}, {932, "Z\xDF\x5C", false}, {936, "Z\x81\x5C", true},
        {949, "Z\x81\x41", true}, {950, "Z\xA4\x5C", true}, {1252, "Z\x83\x41", false}};
    for (const auto& [number, text, dbcs] : cases) {
        const CodePage page = CodePageOf(number);
        const std::string two = text.substr(1), last = text.substr(2);
        // The last two: a lone lead byte at the end cut off, a needle that ends inside a character.
        const std::vector<size_t> walked = {page.FindLastOf(text, last), page.FitLength(text, 2), page.FitLength(two, 1),
            page.CharCount(text), page.EndsWith(text, last[0]), page.Find(text + text, last + "Z"),
            page.EqualsIgnoreAsciiCase(two.substr(0, 1) + "A", two.substr(0, 1) + "a"), page.FitLength(text.substr(0, 2), 9),
            page.Find(text, text.substr(0, 2))};
        EXPECT_EQ(walked, (dbcs ? std::vector<size_t>{CodePage::npos, 1, 0, 2, 0, CodePage::npos, 0, 1, CodePage::npos}
                                : std::vector<size_t>{2, 2, 1, 3, 1, 2, 1, 2, 0})) << number << " " << (text[1] & 0xFF);
        EXPECT_EQ(page.FoldAsciiCase(text), "z" + (dbcs ? two : CodePage().FoldAsciiCase(two))) << number;
    }
    std::string name = "xy";  // cut to the 130-byte buffer in the system's code page, whole
    while (name.size() < 200) name += testsupport::SamplesOfThisCodePage().letterA;
    char cut[130];
    StripPlusCodes(PlusCodes{}, name.c_str(), cut, sizeof cut, 3);
    EXPECT_EQ(std::strlen(cut), SystemCodePage().IsDoubleByte() ? 128u : 129u) << GetACP();
    StripPlusCodes(PlusCodes{}, name.substr(0, 5).c_str(), cut, sizeof cut, 3);  // ends in a lone lead byte
    EXPECT_EQ(std::strlen(cut), SystemCodePage().IsDoubleByte() ? 4u : 5u) << GetACP();
}

TEST(StripPlusCodesText, DefaultCodesWithTheNewerHost) {
    ExpectAll({
        // A name without codes is unchanged.
        {"Bob", "Bob"}, {"", ""}, {"a$b#c(1,2,3)d{", "a$b#c(1,2,3)d{"}, {"\xB7 Bob", "\xB7 Bob"},
        // Colour indices with the newer host's limits.
        {CC + "4Bob", "Bob"},
        {CC + "12,5Bob", "Bob"},
        {CC + "12,34Bob", "Bob"},
        {CC + "12,Bob", ",Bob"},
        {CC + "58Bob", "8Bob"},
        {CC + "67Bob", "Bob"},
        {CC + "68Bob", "8Bob"},
        {CC + "70Bob", "0Bob"},
        {CC + "3,67Bob", "Bob"},
        {CC + "3,68Bob", "8Bob"},
        {"Bo" + CC + "9b", "Bob"},
        // RGB groups are three canonical bytes.
        {CC + "(255,0,0)Bob", "Bob"},
        {CC + "(255,255,255)Bob", "Bob"},  // the longest group, 13 characters
        {CC + "(256,0,0)Bob", "(256,0,0)Bob"},
        {CC + "(255, 0, 0)Bob", "(255, 0, 0)Bob"},
        {CC + "(255,00,0)Bob", "(255,00,0)Bob"},
        {CC + "(1,2,03)Bob", "(1,2,03)Bob"},
        {CC + "(+1,2,3)Bob", "(+1,2,3)Bob"},
        {CC + "(-0,2,3)Bob", "(-0,2,3)Bob"},
        {CC + "(,2,3)Bob", "(,2,3)Bob"},
        {CC + "(1,2,)Bob", "(1,2,)Bob"},
        {CC + "(1,2)Bob", "(1,2)Bob"},
        {CC + "(1,2,3,4)Bob", "(1,2,3,4)Bob"},
        {CC + "(1,2,3", "(1,2,3"},
        {CC + "(", "("},
        {CC + "(0000,0,0)Bob", "(0000,0,0)Bob"},
        {CC + "(1,2,3)" + CC + "(4,5,6)Bob", "Bob"},
        // A ")" far behind the "(" does not close it: the group may be 13 characters at most.
        {CC + "(1,2,3         )Bob", "(1,2,3         )Bob"},
        // Hex colours are six hexadecimal digits.
        {CC + "#abcdefBob", "Bob"},
        {CC + "#0000ffBob", "Bob"},
        {CC + "#FF0000Bob", "Bob"},
        {CC + "#12345 Bob", "#12345 Bob"},
        {CC + "#ghijklBob", "#ghijklBob"},
        {CC + "#abc", "#abc"},
        {CC + "#", "#"},
        {"Bob" + CC + "#a1b2c3", "Bob"},
        // A colour code at the end of the name.
        {"Bob" + CC, "Bob"},
        {"Bob" + CC + "1", "Bob"},
        {"Bob" + CC + "12", "Bob"},
        {"Bob" + CC + "1,", "Bob,"},
        {"Bob" + CC + "1,2", "Bob"},
        {"Bob" + CC + "1,23", "Bob"},
        {"Bob\xB7", "Bob\xB7"},
        // Taking out the inner colour code brings its halves together into a new one.
        {"\xB7" + CC + "$4Bob", "Bob"},
        {"\xB7" + Bold + "#Bob", "Bob"},
        // Plain codes are removed everywhere, also beside a colour code.
        {Bold + "B" + Italic + "o" + Underline + Strike + "b" + Reset + Bold + Bold, "Bob"},
        {Reset + Reset + "Bob" + Strike + Strike + Italic, "Bob"},
        {CC + "4" + Bold + "Bob" + Reset, "Bob"},
        // The trailing part is cut at its last start.
        {"Bob" + NB + "{away}", "Bob"},
        {"Bob" + NB + "{a}" + NB + "{b}", "Bob" + NB + "{a}"},
        {"Bob{away}", "Bob{away}"},
        {"Bob" + NB + "away", "Bob" + NB + "away"},
        {NB + "{", ""},
        {"Bob" + Bold + NB + Bold + "{x}", "Bob"},
    });
}

TEST(StripPlusCodesText, ColourIndicesWithTheOlderHostsLimits) {
    ExpectAll({{CC + "16Bob", "6Bob"},
               {CC + "15Bob", "Bob"},
               {CC + "20Bob", "0Bob"},
               {CC + "1,15Bob", "Bob"},
               {CC + "1,16Bob", "6Bob"},
               {CC + "58Bob", "8Bob"}},
              2);
    // Versions below 2 take the same limits; the newer ones start at exactly 3.
    EXPECT_EQ(Strip(CC + "16Bob", 0), "6Bob");
    EXPECT_EQ(Strip(CC + "16Bob", -5), "6Bob");
    EXPECT_EQ(Strip(CC + "16Bob", 3), "Bob");
}

TEST(StripPlusCodesText, OtherCodeTables) {
    const PlusCodes empty, multiByte{"c!", "b!x", "", "", "", "", "nb"}, paren{")$", "", "", "", "", "", ""};
    const struct { const PlusCodes& codes; std::string in, out; } cases[] = {
        {empty, "Bob", "Bob"},        // empty codes are never matched
        {empty, "Bob{away}", "Bob"},  // with no nbsp code the trailing part starts at a bare "{"
        {multiByte, "c!(1,2,3)Bob b!xnb{x}", "Bob "},
        {multiByte, "Bobb!", "Bobb!"},  // names ending inside a code
        {multiByte, "Bobc", "Bobc"},
        {multiByte, "Bobn", "Bobn"},
        // The group is looked for after the code: the ")" of the code itself must not end
        // it, which would make the group's length negative.
        {paren, ")$(1,2,3)Bob", "Bob"},
        {paren, ")$(1,2,3Bob", "(1,2,3Bob"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(StripPlusCodesFromText(c.in, c.codes, 3), c.out) << "input: " << c.in;
}

TEST(StripPlusCodesText, ByteChecks) {
    for (const char* good : {"0", "9", "10", "99", "100", "255"}) EXPECT_TRUE(IsCanonicalByte(good)) << good;
    for (const char* bad : {"", "256", "999", "1000", "00", "01", "-1", "+1", " 1", "1 ", "a"})
        EXPECT_FALSE(IsCanonicalByte(bad)) << bad;
    for (const char* good : {"abcdef", "000000", "FFffFF", "123456"}) EXPECT_TRUE(IsHexColour(good)) << good;
    for (const char* bad : {"", "abcde", "abcdef0", "abcdeg", "0x1234", " 12345"})
        EXPECT_FALSE(IsHexColour(bad)) << bad;
}

// --- with the code table in the registry ---

const char* const Key = PlusCodesKeyPath;

class StripPlusCodesTest : public testsupport::RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        // The default codes are Windows-1252 bytes, which the ANSI registry calls
        // only carry unchanged in that code page.
        if (GetACP() != 1252) GTEST_SKIP() << "ANSI code page is " << GetACP() << ", not 1252";
    }

    static void WriteText(const char* name, const std::string& text) {
        testsupport::WriteText(HKEY_CURRENT_USER, Key, name, text);
    }
    static std::string Stored(const char* name) {
        return ReadRaw(HKEY_CURRENT_USER, Key, name).bytes;
    }
    static std::string Run(const std::string& name, int hostVersion = 3) {
        char buffer[130];
        StripPlusCodes(Key, name.c_str(), buffer, sizeof(buffer), hostVersion);
        return buffer;
    }
};

TEST_F(StripPlusCodesTest, MissingKeyIsFilledWithTheDefaults) {
    EXPECT_EQ(Run(CC + "4B" + Bold + "ob" + NB + "{x}"), "Bob");
    const std::pair<const char*, std::string> expected[] = {
        {"Colour", CC}, {"Bold", Bold}, {"Italic", Italic}, {"Underline", Underline},
        {"Strikeout", Strike}, {"Reset", Reset}, {"nbsp", NB}};
    for (const auto& [name, code] : expected) {
        auto raw = ReadRaw(HKEY_CURRENT_USER, Key, name);
        ASSERT_TRUE(raw.present) << name;
        EXPECT_EQ(raw.type, static_cast<DWORD>(REG_SZ)) << name;
        EXPECT_EQ(raw.bytes, code + '\0') << name;
    }
}

TEST_F(StripPlusCodesTest, EmptyColourBringsInAllSevenDefaults) {
    WriteText("Colour", "");
    WriteText("Bold", "*");
    WriteText("nbsp", "~");
    EXPECT_EQ(Run("*B" + Bold + "ob" + NB + "{x}"), "*Bob");
    EXPECT_EQ(Stored("Colour"), CC + '\0');
    EXPECT_EQ(Stored("Bold"), Bold + '\0');
    EXPECT_EQ(Stored("nbsp"), NB + '\0');
}

TEST_F(StripPlusCodesTest, AnotherColourByteKeepsTheOtherStoredCodes) {
    WriteText("Colour", "~");
    WriteText("Bold", "*");
    EXPECT_EQ(Run("~4B*o" + Bold + "b{x}"), "Bo" + Bold + "b");
    // Nothing was rewritten or added.
    EXPECT_EQ(Stored("Colour"), std::string("~\0", 2));
    EXPECT_EQ(Stored("Bold"), std::string("*\0", 2));
    EXPECT_FALSE(ReadRaw(HKEY_CURRENT_USER, Key, "Italic").present);
}

TEST_F(StripPlusCodesTest, ChangedCodesTakeEffectOnTheNextCall) {
    EXPECT_EQ(Run(CC + "4Bob~1"), "Bob~1");
    WriteText("Colour", "~");
    EXPECT_EQ(Run(CC + "4Bob~1"), CC + "4Bob");
    WriteText("Colour", "");
    EXPECT_EQ(Run(CC + "4Bob~1"), "Bob~1");
}

TEST_F(StripPlusCodesTest, CodesLongerThanThreeBytesAreNotUsed) {
    WriteText("Colour", "~");
    WriteText("Bold", "abcd");
    const char binary[4] = {'*', '*', '*', '*'};  // no terminator: fills the whole buffer
    WriteRaw(HKEY_CURRENT_USER, Key, "Italic", REG_BINARY, binary, sizeof(binary));
    WriteRaw(HKEY_CURRENT_USER, Key, "Reset", REG_BINARY, "%", 1);  // the type is not looked at
    EXPECT_EQ(Run("abcdBob****%"), "abcdBob****");

    WriteText("Colour", "~~~~");
    EXPECT_EQ(Run(CC + "4Bob"), "Bob") << "an unusable colour code brings in the defaults";
    EXPECT_EQ(Stored("Colour"), CC + '\0');
}

TEST_F(StripPlusCodesTest, CodesOfOneToThreeBytesAreUsed) {
    for (size_t length = 1; length <= 3; ++length) {
        const std::string colour(length, '~'), bold(length, '*'), reset(length, '%');
        WriteText("Colour", colour);
        WriteText("Bold", bold);
        // Stored without its terminator, a three-byte code still fits the read.
        WriteRaw(HKEY_CURRENT_USER, Key, "Reset", REG_BINARY, reset.data(), static_cast<DWORD>(length));
        EXPECT_EQ(Run(colour + "4B" + bold + "o" + reset + "b"), "Bob") << length << " bytes";
    }
}

TEST_F(StripPlusCodesTest, HostVersionChoosesTheIndexLimits) {
    EXPECT_EQ(Run(CC + "16Bob", 2), "6Bob");
    EXPECT_EQ(Run(CC + "16Bob", 3), "Bob");
    EXPECT_EQ(Run(CC + "58Bob", 3), "8Bob");
}

TEST_F(StripPlusCodesTest, ResultIsCutToTheBufferAndMayOverwriteTheSource) {
    char buffer[140];
    std::memset(buffer, '#', sizeof(buffer));
    const std::string longName(200, 'x');
    StripPlusCodes(Key, longName.c_str(), buffer, 130, 3);
    EXPECT_EQ(std::strlen(buffer), 129u);
    EXPECT_EQ(buffer[130], '#') << "written past the limit";

    char full[130];
    std::memset(full, 'y', sizeof(full));
    full[129] = '\0';
    StripPlusCodes(Key, full, full, sizeof(full), 3);
    EXPECT_EQ(std::string(full), std::string(129, 'y'));

    char inPlace[130] = {};
    std::strcpy(inPlace, (CC + "12,34B" + Reset + "ob" + NB + "{away}").c_str());
    StripPlusCodes(Key, inPlace, inPlace, sizeof(inPlace), 3);
    EXPECT_STREQ(inPlace, "Bob");
}

TEST_F(StripPlusCodesTest, NullAndTinyBuffersAreSafe) {
    char buffer[4] = {'a', 'b', 'c', 'd'};
    StripPlusCodes(Key, nullptr, buffer, sizeof(buffer), 3);
    EXPECT_STREQ(buffer, "");
    std::memcpy(buffer, "abcd", 4);
    StripPlusCodes(Key, "Bob", buffer, 0, 3);
    EXPECT_EQ(buffer[0], 'a') << "a zero limit writes nothing";
    StripPlusCodes(Key, "Bob", buffer, 1, 3);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(buffer[1], 'b');
    StripPlusCodes(Key, "Bob", nullptr, 130, 3);  // must not crash
    EXPECT_EQ(StripPlusCodes(Key, std::string_view(CC + "4Bob"), 3), "Bob");
}

}  // namespace
