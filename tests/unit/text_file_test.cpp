#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/code_page.h"
#include "platform/run_time_error.h"
#include "platform/text_file.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

class TextFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("qm-text-" + std::to_string(getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(folder_);
    }
    void TearDown() override {
        fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(folder_);
    }

    std::string path(const std::string& name) const { return (folder_ / name).string(); }

    static std::string bytesOf(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    static void writeBytes(const std::string& file, const std::string& bytes) {
        std::ofstream(file, std::ios::binary) << bytes;
    }
    static std::vector<std::string> linesOf(const std::string& file) {
        TextFileReader reader(file);
        std::vector<std::string> lines;
        std::string line;
        while (reader.readLine(line)) {
            lines.push_back(line);
        }
        reader.close();
        return lines;
    }

    fs::path folder_;
};

TEST(CodePage, ConvertsWindows1252BothWays) {
    EXPECT_EQ(cp1252::fromUtf8("Jos\xC3\xA9 M\xC3\xBCller \xE2\x82\xAC \xC5\x93"),
              "Jos\xE9 M\xFCller \x80 \x9C");
    EXPECT_EQ(cp1252::toUtf8("Jos\xE9 M\xFCller \x80 \x9C"),
              "Jos\xC3\xA9 M\xC3\xBCller \xE2\x82\xAC \xC5\x93");
    // Every byte maps to a character and back, the five unassigned ones included.
    std::string all;
    for (int byte = 1; byte < 256; ++byte) {
        all += static_cast<char>(byte);
    }
    EXPECT_EQ(cp1252::fromUtf8(cp1252::toUtf8(all)), all);
}

TEST(CodePage, RefusesWhatItCannotHoldNamingTheText) {
    try {
        cp1252::fromUtf8("Zh\xE5\xBC\xA0 Wei");  // a CJK character
        FAIL() << "no error";
    } catch (const RunTimeError& error) {
        EXPECT_EQ(error.number(), 5);
        EXPECT_NE(error.description().find("Zh\xE5\xBC\xA0 Wei"), std::string::npos);
        EXPECT_NE(error.description().find("U+5F20"), std::string::npos);
    }
    EXPECT_THROW(cp1252::fromUtf8("bad \xC3"), RunTimeError);
}

TEST_F(TextFileTest, WritesCodePageLinesWithCrLfAndAppendsWithoutTruncating) {
    const std::string file = path("Quillmark.log");
    {
        TextFileWriter writer(file, TextFileMode::Append);
        writer.writeLine("Updated CN=Jos\xC3\xA9,DC=corp");
        writer.flushToDisk();
        writer.close();
    }
    {
        TextFileWriter writer(file, TextFileMode::Append);
        writer.writeLine("");
        writer.writeLine("second run");
        writer.close();
    }
    EXPECT_EQ(bytesOf(file), "Updated CN=Jos\xE9,DC=corp\r\n\r\nsecond run\r\n");

    TextFileWriter writer(file, TextFileMode::CreateOrTruncate);
    writer.writeLine("\"Name\",\"Container\"");
    writer.close();
    EXPECT_EQ(bytesOf(file), "\"Name\",\"Container\"\r\n");
}

TEST_F(TextFileTest, AnUnrepresentableLineIsRefusedWholeAndTheFileGoesOn) {
    const std::string file = path("sheet.csv");
    TextFileWriter writer(file, TextFileMode::CreateOrTruncate);
    writer.writeLine("one");
    EXPECT_THROW(writer.writeLine("\xE5\xBC\xA0"), RunTimeError);
    writer.writeLine("two");
    writer.close();
    EXPECT_EQ(bytesOf(file), "one\r\ntwo\r\n");
}

TEST_F(TextFileTest, TheLossyLogWriterShowsAMissingCharacterAsAQuestionMark) {
    const std::string file = path("Quillmark.log");
    TextFileWriter writer(file, TextFileMode::Append, TextEncoding::Windows1252Lossy);
    writer.writeLine("Updated CN=\xE5\xBC\xA0 Jos\xC3\xA9");
    writer.close();
    EXPECT_EQ(bytesOf(file), "Updated CN=? Jos\xE9\r\n");
}

TEST_F(TextFileTest, CreateNewNeverReplacesAFile) {
    const std::string file = path("restore.csv");
    TextFileWriter(file, TextFileMode::CreateNew).writeLine("first");
    try {
        TextFileWriter again(file, TextFileMode::CreateNew);
        FAIL() << "an existing file was opened";
    } catch (const RunTimeError& error) {
        EXPECT_EQ(error.number(), 58);
    }
    EXPECT_EQ(bytesOf(file), "first\r\n");
}

TEST_F(TextFileTest, Utf8WriterMarksTheFileOnceAndHoldsAnyName) {
    const std::string file = path("restore.csv");
    for (int run = 0; run < 2; ++run) {
        TextFileWriter writer(file, TextFileMode::Append, TextEncoding::Utf8WithBom);
        writer.writeLine("\xE5\xBC\xA0 Wei");
        writer.close();
    }
    EXPECT_EQ(bytesOf(file), "\xEF\xBB\xBF\xE5\xBC\xA0 Wei\r\n\xE5\xBC\xA0 Wei\r\n");
    EXPECT_EQ(linesOf(file), (std::vector<std::string>{"\xE5\xBC\xA0 Wei", "\xE5\xBC\xA0 Wei"}));
}

TEST_F(TextFileTest, ReadsCrLfLfAndLoneCrLineEndsAndALastLineWithoutEnd) {
    const std::string file = path("mixed.csv");
    writeBytes(file, "a\r\nb\nc\rd\r\n\r\nJos\xE9");
    EXPECT_EQ(linesOf(file), (std::vector<std::string>{"a", "b", "c", "d", "", "Jos\xC3\xA9"}));
    writeBytes(file, "");
    EXPECT_TRUE(linesOf(file).empty());
    writeBytes(file, "only\r\n");
    EXPECT_EQ(linesOf(file), std::vector<std::string>{"only"});
}

TEST_F(TextFileTest, ReadsUtf8WithOrWithoutAMarkAndWindows1252Otherwise) {
    const std::string file = path("utf8.csv");
    writeBytes(file, "\xEF\xBB\xBF\"Jos\xC3\xA9\",\"M\xC3\xBCller\"\r\n");
    EXPECT_EQ(linesOf(file), std::vector<std::string>{"\"Jos\xC3\xA9\",\"M\xC3\xBCller\""});
    // As LibreOffice saves it: UTF-8 without a mark, line by line beside Windows-1252 lines.
    writeBytes(file, "Jos\xC3\xA9\r\nJos\xE9\r\n");
    EXPECT_EQ(linesOf(file), (std::vector<std::string>{"Jos\xC3\xA9", "Jos\xC3\xA9"}));
    // With the mark every line is UTF-8, a broken one repaired rather than guessed.
    writeBytes(file, "\xEF\xBB\xBFJos\xE9\r\n");
    EXPECT_EQ(linesOf(file), std::vector<std::string>{"Jos\xEF\xBF\xBD"});
}

TEST_F(TextFileTest, LongLinesAcrossReadChunksStayWhole) {
    const std::string file = path("long.csv");
    const std::string longLine(200000, 'x');
    writeBytes(file, longLine + "\r\n" + longLine + "\r");
    EXPECT_EQ(linesOf(file), (std::vector<std::string>{longLine, longLine}));
}

TEST_F(TextFileTest, FailuresCarryTheFileErrorNumberAndThePath) {
    auto numberOf = [](auto&& open) {
        try {
            open();
        } catch (const RunTimeError& error) {
            EXPECT_EQ(error.source(), kProgramSource);
            return error.number();
        }
        return 0;
    };
    const std::string missing = path("missing.csv");
    EXPECT_EQ(numberOf([&] { TextFileReader reader(missing); }), 53);
    EXPECT_EQ(numberOf([&] { TextFileWriter w(path("no/such/f.csv"), TextFileMode::Append); }), 76);
    EXPECT_EQ(numberOf([&] { TextFileWriter w(folder_.string(), TextFileMode::Append); }), 75);
    EXPECT_EQ(numberOf([&] { TextFileReader reader(folder_.string()); }), 75);
    if (geteuid() != 0) {  // root writes anywhere
        fs::permissions(folder_, fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_EQ(numberOf([&] { TextFileWriter w(path("x.log"), TextFileMode::Append); }), 70);
    }
    try {
        TextFileReader reader(missing);
    } catch (const RunTimeError& error) {
        EXPECT_NE(error.description().find(missing), std::string::npos);
    }
    // A full disk is reported at the line that did not fit.
    if (fs::exists("/dev/full")) {
        TextFileWriter writer("/dev/full", TextFileMode::Append);
        EXPECT_EQ(numberOf([&] { writer.writeLine("x"); }), 61);
    }
}

}  // namespace
}  // namespace qm
