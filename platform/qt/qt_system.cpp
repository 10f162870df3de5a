#include "platform/qt/qt_system.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>
#include <QStringList>
#include <QTimeZone>
#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/core/run_time_error.h"
#include "platform/core/text.h"

namespace qm {

namespace {

// The date format with seconds in the time, as a general date shows them.
QString dateTimeFormatWithSeconds(const QLocale& locale) {
    QString format = locale.dateTimeFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1String("ss")) && format.contains(QLatin1String("mm"))) {
        format.replace(format.indexOf(QLatin1String("mm")), 2, QStringLiteral("mm:ss"));
    }
    return format;
}

bool isSystemProgramFolder(const QString& folder) {
    static const QStringList kSystemFolders = {"/bin", "/sbin", "/usr", "/opt"};
    return std::any_of(kSystemFolders.begin(), kSystemFolders.end(), [&](const QString& root) {
        return folder == root || folder.startsWith(root + "/");
    });
}

// A folder that a CMake build made: it, or a folder above it, holds the build's cache.
bool isInBuildTree(const QString& folder) {
    for (QDir dir(folder);;) {
        if (dir.exists(QStringLiteral("CMakeCache.txt"))) {
            return true;
        }
        if (!dir.cdUp()) {
            return false;
        }
    }
}

}  // namespace

std::string QtSystem::ComputerName() {
    std::array<char, HOST_NAME_MAX + 1> host{};
    if (gethostname(host.data(), host.size() - 1) != 0) {
        throw RunTimeError(errno,
                           std::string("The computer name cannot be read: ") + std::strerror(errno),
                           kSystemSource);
    }
    return netbiosName(host.data());
}

Variant QtSystem::TimeZoneBias() {
    const QTimeZone zone = QTimeZone::systemTimeZone();
    if (!zone.isValid()) {
        throw RunTimeError(
            err::InvalidProcedureCall,
            "The system time zone \"" + QTimeZone::systemTimeZoneId().toStdString() +
                "\" is unknown. Set TZ or /etc/localtime to a zone such as Europe/Berlin.",
            kSystemSource);
    }
    // Seconds east of UTC in standard time; the bias counts minutes the other way.
    const int standardOffset = zone.standardTimeOffset(QDateTime::currentDateTimeUtc());
    return Variant(static_cast<std::int32_t>(-standardOffset / 60));
}

// A copy of Quillmark in a folder of its own keeps its log there. Installed among the system's
// programs, whose folders are not the administrator's to write, or run from the build tree, which a
// rebuild or clean may delete with the audit log and the restore sheets in it, its folder is the
// person's own Quillmark folder instead (~/.local/share/Quillmark), so the log has a lasting home.
std::string QtSystem::ApplicationPath() {
    const QString programFolder =
        QFileInfo(QCoreApplication::applicationDirPath()).canonicalFilePath();
    if (!isSystemProgramFolder(programFolder) && !isInBuildTree(programFolder)) {
        return programFolder.toStdString();
    }
    const QString ownFolder =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Quillmark";
    QDir().mkpath(ownFolder);
    return ownFolder.toStdString();
}

bool QtSystem::FileExists(const std::string& path) {
    return QFileInfo(QString::fromStdString(path)).isFile();
}

std::string QtSystem::nowText() {
    const QLocale locale = QLocale::system();
    return locale.toString(QDateTime::currentDateTime(), dateTimeFormatWithSeconds(locale))
        .toStdString();
}

std::string QtSystem::formatGrouped(std::int64_t number) {
    return QLocale::system().toString(static_cast<qlonglong>(number)).toStdString();
}

std::int64_t QtSystem::parseGrouped(const std::string& text) {
    bool ok = false;
    const qlonglong number =
        QLocale::system().toLongLong(QString::fromStdString(text).trimmed(), &ok);
    if (!ok) {
        throw err::typeMismatch();
    }
    return number;
}

}  // namespace qm
