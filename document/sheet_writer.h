#pragma once

#include <memory>
#include <string>

#include "document/document_run.h"

namespace qm {

// Writes the user entries of one Document run into the logon-hours sheet: a comma-delimited file
// or a workbook that exists only in the spreadsheet component until it is saved. Shares the run's
// error trap and step markers.
class SheetWriter {
public:
    // Which node the user came from decides the step markers of its entry.
    enum class Source { Computer, Directory };

    SheetWriter(ErrorTrap& trap, DocumentServices& services, bool workbook, std::string fileName);

    // False when the output cannot be started; the message has been shown.
    bool BeginSheet();
    // The value is the user's logon hours as read, or Null when the user has none.
    void WriteUserEntry(Source source, const std::string& commonName, const std::string& logonName,
                        const std::string& container, const std::string& domain,
                        const Variant& logonHours);
    // False when the workbook could not be saved; the message has been shown.
    bool FinishSheet();
    // From the run's error trap: keeps what was written so far.
    void AbandonSheet();

private:
    DayStrings dayStrings(const Variant& logonHours, const char* nullMarker,
                          const char* decodeMarker, const char* daysMarker);
    bool beginWorkbook();
    bool finishWorkbook();
    void showCritical(const std::string& text);

    ErrorTrap& trap_;
    DocumentServices& services_;
    const bool workbook_;
    const std::string fileName_;

    std::unique_ptr<Spreadsheet> spreadsheet_;
    std::unique_ptr<SheetSink> sink_;
};

}  // namespace qm
