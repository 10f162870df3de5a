#pragma once

#include <QString>
#include <QXmlStreamReader>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/workbook/zip_archive.h"

namespace qm {

// One XML part of a zip file, parsed as a stream: the memory it takes does not grow with the
// part. Malformed or truncated XML is a "damaged" error; a document type definition is refused
// before any entity in it could be expanded, since no workbook part ever has one.
class XmlPart {
public:
    XmlPart(ZipArchive& archive, const std::string& partName, std::uint64_t cap,
            DecompressionBudget& budget);

    // Moves to the next start element, end element or text; the others are passed over. False at
    // the end of the document.
    bool next();

    bool isStart() const { return xml_.isStartElement(); }
    bool isEnd() const { return xml_.isEndElement(); }
    bool isText() const { return xml_.isCharacters(); }
    QStringView name() const { return xml_.name(); }
    QStringView text() const { return xml_.text(); }
    QString attribute(QLatin1StringView name) const;
    // The value of the first attribute of that name in any namespace (r:id and its kin).
    QString namespacedAttribute(QLatin1StringView name) const;
    bool isStart(QLatin1StringView name) const { return isStart() && xml_.name() == name; }
    bool isEnd(QLatin1StringView name) const { return isEnd() && xml_.name() == name; }

    // From a start element: its whole text, the text of nested elements included, up to and
    // including its end. A text longer than maxLength UTF-16 units (a cell's limit, as the
    // spreadsheet applications count it) makes the part damaged.
    QString elementText(qsizetype maxLength);
    // From a start element: passes over it and everything in it.
    void skipElement();

    std::uint64_t bytesRead() const { return stream_.bytesRead(); }
    [[noreturn]] void damaged(const std::string& detail) const;
    [[noreturn]] void tooLongForACell() const;

private:
    bool feed();
    // From a start element to its end, handing over each text inside it.
    void walkElement(const std::function<void(QStringView)>& onText);

    ZipPartStream stream_;
    std::string partName_;
    std::string displayName_;
    QXmlStreamReader xml_;
    std::uint64_t bytesSinceToken_ = 0;
    bool exhausted_ = false;
};

}  // namespace qm
