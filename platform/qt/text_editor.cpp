#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <algorithm>
#include <array>

#include "platform/core/run_time_error.h"
#include "platform/qt/qt_system.h"

// The log viewer. The log's lines end in CR LF; every editor named here shows such a line end as
// a plain one, never as "^M".
namespace qm {

namespace {

// Graphical editors tried in order when neither the person nor the desktop names one.
constexpr std::array kGraphicalEditors = {
    "gnome-text-editor", "gedit", "kate", "kwrite", "mousepad", "pluma", "xed",
    "featherpad",        "geany"};
// Editors that draw inside a terminal: started without one, no window appears and their screen
// codes land in Quillmark's own output.
constexpr std::array kTerminalEditors = {
    "vi",     "vim", "vim.basic", "vim.tiny", "nvim", "view", "nano", "rnano", "pico", "micro",
    "mcedit", "joe", "jed",       "ne",       "mg",   "ed",   "ex",   "hx",    "kak",  "nvi"};
// Those of them that read CR LF line ends as line ends (vim.tiny and vi need not).
constexpr std::array kCrLfTerminalEditors = {"vim", "vim.basic", "nvim", "nano", "micro"};

template <std::size_t N>
bool isOneOf(const QString& program, const std::array<const char*, N>& names) {
    const QString name = QFileInfo(program).fileName();
    return std::any_of(names.begin(), names.end(),
                       [&](const char* known) { return name == QLatin1String(known); });
}

bool isInstalled(const QString& program) {
    return !QStandardPaths::findExecutable(program).isEmpty() || QFileInfo(program).isExecutable();
}

// The program named by an editor variable such as "code --wait", split without a shell.
QStringList editorCommand(const char* variable) {
    const QString value = qEnvironmentVariable(variable).trimmed();
    return value.isEmpty() ? QStringList() : QProcess::splitCommand(value);
}

bool startDetached(QStringList command, const QString& file) {
    if (command.isEmpty() || !isInstalled(command.first())) {
        return false;
    }
    const QString program = command.takeFirst();
    command << file;
    return QProcess::startDetached(program, command);
}

// A terminal editor, only inside the desktop's terminal emulator.
bool startInTerminal(const QStringList& command, const QString& file) {
    if (command.isEmpty() || !isOneOf(command.first(), kCrLfTerminalEditors) ||
        !isInstalled(command.first())) {
        return false;
    }
    return startDetached(
        QStringList{QStringLiteral("x-terminal-emulator"), QStringLiteral("-e")} + command, file);
}

struct Candidates {
    QList<QStringList> graphical;
    QList<QStringList> terminal;
};

// The person's own choice first, then the desktop's, then the editors known to be graphical; the
// terminal editors last, the person's before nano and vim.
Candidates editorCandidates() {
    Candidates candidates;
    for (const char* variable : {"VISUAL", "EDITOR"}) {
        const QStringList command = editorCommand(variable);
        if (!command.isEmpty()) {
            (isOneOf(command.first(), kTerminalEditors) ? candidates.terminal
                                                        : candidates.graphical)
                .append(command);
        }
    }
    // Without a desktop, xdg-open and gio start, find no application and end: nothing appears.
    if (!qEnvironmentVariableIsEmpty("XDG_CURRENT_DESKTOP")) {
        candidates.graphical.append({QStringLiteral("xdg-open")});
        candidates.graphical.append({QStringLiteral("gio"), QStringLiteral("open")});
    }
    for (const char* editor : kGraphicalEditors) {
        candidates.graphical.append({QString::fromLatin1(editor)});
    }
    candidates.terminal.append({QStringLiteral("nano")});
    candidates.terminal.append({QStringLiteral("vim")});
    return candidates;
}

}  // namespace

void QtSystem::startTextEditor(const std::string& path) {
    const QString file = QString::fromStdString(path);
    const Candidates candidates = editorCandidates();
    for (const QStringList& command : candidates.graphical) {
        if (startDetached(command, file)) {
            return;
        }
    }
    for (const QStringList& command : candidates.terminal) {
        if (startInTerminal(command, file)) {
            return;
        }
    }
    throw RunTimeError(53,
                       "No text editor could be started for " + path +
                           ". Install one that reads CR LF line ends, such as gedit or mousepad, "
                           "or set VISUAL to one.",
                       kSystemSource);
}

}  // namespace qm
