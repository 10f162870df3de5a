#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <csignal>

#include "platform/textfile/csv_sheet.h"
#include "platform/textfile/text_file.h"
#include "support/run_time_errors.h"
#include "support/workbook_files.h"

namespace qm {
namespace {

const std::string kJose = "Jos\xC3\xA9";    // é as UTF-8
const std::string kZhang = "\xE5\xBC\xA0";  // a CJK character, not in Windows-1252

class TextFileTest : public ::testing::Test {
protected:
    std::vector<std::string> linesOf(const std::string& bytes) {
        testing::writeBytes(file_, bytes);
        TextFileReader reader(file_);
        std::vector<std::string> lines;
        for (std::string line; reader.readLine(line);) {
            lines.push_back(line);
        }
        return lines;
    }

    testing::ScratchFolder folder_{"text"};
    std::string file_ = folder_.file("file.csv");
};

TEST_F(TextFileTest, ReadsAnyLineEndAndTellsUtf8FromWindows1252) {
    EXPECT_EQ(linesOf("a\r\nb\nc\rd\r\n\r\nJos\xE9 \x80"),
              (std::vector<std::string>{"a", "b", "c", "d", "", kJose + " \xE2\x82\xAC"}));
    // As LibreOffice saves it: UTF-8 without a mark, line by line beside Windows-1252 lines.
    EXPECT_EQ(linesOf(kJose + "\r\nJos\xE9\r\n"), (std::vector<std::string>{kJose, kJose}));
    // With the mark every line is UTF-8, a broken one repaired rather than guessed.
    EXPECT_EQ(linesOf("\xEF\xBB\xBF" + kZhang + "\r\nJos\xE9"),
              (std::vector<std::string>{kZhang, "Jos\xEF\xBF\xBD"}));
    const std::string longLine(200000, 'x');  // longer than a read
    EXPECT_EQ(linesOf(longLine + "\r\n" + longLine),
              (std::vector<std::string>{longLine, longLine}));
}

TEST_F(TextFileTest, FailuresCarryTheFileErrorNumberAndThePath) {
    using testing::errorOf;
    const std::string missing = folder_.file("missing.csv");
    const RunTimeError notFound = errorOf([&] { TextFileReader reader(missing); });
    EXPECT_EQ(notFound.number(), 53);
    EXPECT_NE(notFound.description().find(missing), std::string::npos);
    EXPECT_EQ(errorOf([&] { TextFileWriter w(folder_.file("no/f")); }).number(), 76);
    EXPECT_EQ(errorOf([&] { TextFileReader reader(folder_.path()); }).number(), 75);
    mkfifo(folder_.file("pipe").c_str(), 0600);  // refused, never waited on
    EXPECT_EQ(errorOf([&] { TextFileReader reader(folder_.file("pipe")); }).number(), 75);
    TextFileWriter full("/dev/full");
    EXPECT_EQ(errorOf([&] { full.writeLine("x"); }).number(), 61);
    TextFileWriter device("/dev/null");  // it cannot be synced: nothing to wait for, no error
    device.writeLine("x");
    EXPECT_NO_THROW(device.flushToDisk());
}

// The disk fills while a sheet is written (a file-size limit stands in for a full disk): the
// writer says so naming the file. A sheet dropped then leaves nothing under its name or beside
// it; one closed anyway (an abandoned Document) keeps whole lines only.
TEST_F(TextFileTest, AFullDiskLeavesNoHalfWrittenSheet) {
    const std::string dropped = folder_.file("restore.csv");
    const std::string kept = folder_.file("hours.csv");
    const pid_t child = fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1000, 1000};
        setrlimit(RLIMIT_FSIZE, &limit);
        DayStrings days;
        days.fill(kAllHoursAllowed);
        const auto fill = [&](CsvSheetWriter& sheet, const std::string& path) {
            try {
                sheet.writeHeader();
                for (int user = 0; user < 100; ++user) {
                    sheet.writeUser("user" + std::to_string(user), "OU=Lab", "DC=corp", days);
                }
                sheet.close();
            } catch (const RunTimeError& error) {
                return error.number() == 61 && error.description().find(path) != std::string::npos;
            }
            return false;
        };
        const bool refused = [&] {
            CsvSheetWriter sheet(dropped);
            return fill(sheet, dropped);
        }();
        CsvSheetWriter abandoned(kept);
        const bool refusedAgain = fill(abandoned, kept);
        abandoned.close();
        _exit(refused && refusedAgain ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);  // refused, naming the file
    const std::vector<std::filesystem::directory_entry> left(
        std::filesystem::directory_iterator(folder_.path()), {});
    ASSERT_EQ(left.size(), 1u);
    const std::string text = testing::readBytes(kept);
    EXPECT_TRUE(text.starts_with("\"Name\"") && text.ends_with("\r\n")) << text;
    EXPECT_LE(text.size(), 1000u);
}

}  // namespace
}  // namespace qm
