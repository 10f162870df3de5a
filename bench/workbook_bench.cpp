// The largest logon-hours workbook the system allows, written and read back the way the Document
// and Set runs do, against LibreOffice converting the same file to CSV in the same run. Prints
// time and peak memory of each and the ratios. Run on demand:
//   build-NAME/bench/workbook_bench [users] [folder]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "logonhours/sheet_layout.h"
#include "platform/run_time_error.h"
#include "platform/workbook_application.h"

namespace {

namespace fs = std::filesystem;
using namespace qm;

struct Measure {
    double seconds = 0;
    double peakMegabytes = 0;
};

// Runs the work in a child process, so each figure is that work's own peak, not the bench's.
Measure inChild(const std::function<int()>& work) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        int status = 1;
        try {
            status = work();
        } catch (const RunTimeError& error) {
            std::fprintf(stderr, "%d %s\n", error.number(), error.description().c_str());
        }
        std::_Exit(status);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "the measured work failed\n");
        std::exit(1);
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    return {elapsed.count(), static_cast<double>(usage.ru_maxrss) / 1024.0};
}

std::string dayString(int user, int day) {
    std::string text = sheet::kHoursHeading;
    for (char& ch : text) {
        if (ch != ' ') {
            ch = ((user + day + (&ch - text.data())) % 5) < 2 ? '1' : '0';
        }
    }
    return text;
}

// The Document run's calls, block by block in its order of cells.
int writeWorkbook(int users, const std::string& file) {
    auto app = makeSpreadsheetFactory()->createApplication();
    Worksheet& sheet = app->WorkbooksAdd().Worksheets(1);
    sheet.setName(sheet::kWorksheetName);
    sheet.setCellValue(1, 1, "Quillmark Version 2.0");
    std::int32_t row = 1;
    for (int user = 0; user < users; ++user) {
        const std::int32_t r = row + 2;
        const std::string name = "User " + std::to_string(user);
        sheet.setCellValue(r, 1, sheet::kCommonNameLabel);
        sheet.setCellValue(r, 2, name);
        sheet.setCellValue(r, 3, sheet::kLogonHoursLabel);
        sheet.setCellValue(r, 4, sheet::kHoursHeading);
        sheet.setCellValue(r + 1, 1, sheet::kLogonNameLabel);
        sheet.setCellValue(r + 1, 2, "user" + std::to_string(user));
        sheet.setCellValue(r + 1, 3, sheet::kDayNames[0]);
        sheet.setCellValue(r + 2, 1, sheet::kContainerLabel);
        sheet.setCellValue(r + 2, 2, "OU=Dept" + std::to_string(user % 50) + ",OU=Staff");
        sheet.setCellValue(r + 2, 3, sheet::kDayNames[1]);
        sheet.setCellValue(r + 3, 1, sheet::kDomainLabel);
        sheet.setCellValue(r + 3, 2, "DC=corp,DC=test");
        for (int k = 2; k < 7; ++k) {
            sheet.setCellValue(r + 1 + k, 3, sheet::kDayNames[k]);
        }
        for (int k = 0; k < 7; ++k) {
            sheet.setCellValue(r + 1 + k, 4, dayString(user, k));
        }
        row = r + 7;
    }
    sheet.setColumnsFontName(sheet::kColumnsRange, sheet::kFontName);
    sheet.setColumnsFontSize(sheet::kColumnsRange, sheet::kFontSize);
    for (int column = 1; column <= 4; ++column) {
        app->setColumnWidth(column, sheet::kColumnWidths[column - 1]);
    }
    app->ActiveWorkbook().SaveAs(file);
    app->ActiveWorkbook().Close();
    app->Quit();
    return 0;
}

// The Set run's two passes: counting blocks down column A, then reading every block's cells.
int readWorkbook(int users, const std::string& file) {
    auto app = makeSpreadsheetFactory()->createApplication();
    Worksheet& sheet = app->WorkbooksOpen(file).Worksheets(1);
    int counted = 0;
    std::size_t checksum = 0;
    for (int pass = 0; pass < 2; ++pass) {
        counted = 0;
        int blankRun = 0;
        for (std::int32_t r = 1;; ++r) {
            const std::string label = sheet.cellValue(r, 1).toText();
            blankRun = label.empty() ? blankRun + 1 : 0;
            if (blankRun > sheet::kMaxBlankRunBetweenBlocks) {
                break;
            }
            if (label == sheet::kCommonNameLabel) {
                if (pass == 1) {
                    for (int k = 0; k < 4; ++k) {
                        checksum += sheet.cellValue(r + k, 2).toText().size();
                    }
                    for (int k = 1; k <= 7; ++k) {
                        checksum += sheet.cellValue(r + k, 4).toText().size();
                    }
                }
                ++counted;
                r += 7;
            }
        }
    }
    app->ActiveWorkbook().Close();
    app->Quit();
    if (counted != users || checksum == 0) {
        std::fprintf(stderr, "read %d users of %d\n", counted, users);
        return 1;
    }
    return 0;
}

int runLibreOffice(const fs::path& folder, const std::string& input) {
    const std::string profile = "-env:UserInstallation=file://" + (folder / "profile").string();
    const std::string outdir = (folder / "csv").string();
    if (const int quiet = open("/dev/null", O_WRONLY); quiet >= 0) {
        dup2(quiet, STDOUT_FILENO);
        dup2(quiet, STDERR_FILENO);
    }
    execlp("soffice", "soffice", profile.c_str(), "--headless", "--norestore", "--convert-to",
           "csv", "--outdir", outdir.c_str(), input.c_str(), static_cast<char*>(nullptr));
    return 127;
}

void row(const char* what, const Measure& measure, const Measure& baseline) {
    std::printf("%-34s %8.2f s %8.1f MB   time %5.2fx  memory %5.2fx\n", what, measure.seconds,
                measure.peakMegabytes, measure.seconds / baseline.seconds,
                measure.peakMegabytes / baseline.peakMegabytes);
}

}  // namespace

int main(int argc, char** argv) {
    const int users = argc > 1 ? std::atoi(argv[1]) : 32767;
    const fs::path folder =
        argc > 2 ? fs::path(argv[2])
                 : fs::temp_directory_path() / ("qm-bench-" + std::to_string(getpid()));
    fs::create_directories(folder / "csv");
    const std::string file = (folder / "logon-hours.xlsx").string();
    const std::string small = (folder / "warm-up.xlsx").string();

    const Measure written = inChild([&] { return writeWorkbook(users, file); });
    const Measure read = inChild([&] { return readWorkbook(users, file); });
    // A first start of LibreOffice builds its profile; only the second start is measured.
    inChild([&] { return writeWorkbook(1, small); });
    inChild([&] { return runLibreOffice(folder, small); });
    const Measure libreOffice = inChild([&] { return runLibreOffice(folder, file); });

    std::printf("%d users, %d rows, workbook %.1f MB\n", users, sheet::blockFirstRow(users) - 2,
                static_cast<double>(fs::file_size(file)) / (1 << 20));
    std::printf("%-34s %8.2f s %8.1f MB\n", "LibreOffice xlsx -> csv (baseline)",
                libreOffice.seconds, libreOffice.peakMegabytes);
    row("Quillmark write (Document run)", written, libreOffice);
    row("Quillmark read, two passes (Set)", read, libreOffice);
    if (argc <= 2) {
        fs::remove_all(folder);
    }
    return 0;
}
