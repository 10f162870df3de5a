#include "platform/qt/qt_dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QStringList>

namespace qm {

namespace {

QWidget* dialogOwner() {
    return QApplication::activeWindow();
}

QString fromUtf8(const std::string& text) {
    return QString::fromStdString(text);
}

QMessageBox::Icon iconOf(MessageStyle style) {
    switch (style) {
        case MessageStyle::Critical:
            return QMessageBox::Critical;
        case MessageStyle::Question:
            return QMessageBox::Question;
        case MessageStyle::Information:
            break;
    }
    return QMessageBox::Information;
}

}  // namespace

QString displayText(const std::string& text) {
    QString shown = fromUtf8(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return shown;
}

QString qtNameFilters(const std::string& filter) {
    const QStringList parts = fromUtf8(filter).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        filters << parts[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                       QLatin1Char(')');
    }
    return filters.join(QStringLiteral(";;"));
}

Answer QtDialogs::messageBox(const std::string& title, const std::string& text,
                             MessageStyle style) {
    const bool question = style == MessageStyle::Question;
    QMessageBox box(iconOf(style), fromUtf8(title), displayText(text),
                    question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, dialogOwner());
    box.setDefaultButton(question ? QMessageBox::Yes : QMessageBox::Ok);
    const int chosen = box.exec();
    if (!question) {
        return Answer::Ok;
    }
    return chosen == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

Answer QtDialogs::askWithDetails(const std::string& title, const std::string& text,
                                 const std::string& note, const std::string& details) {
    QMessageBox box(QMessageBox::Question, fromUtf8(title), displayText(text),
                    QMessageBox::Yes | QMessageBox::No, dialogOwner());
    box.setDefaultButton(QMessageBox::Yes);
    box.setInformativeText(displayText(note));
    box.setDetailedText(displayText(details));
    return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

std::string QtDialogs::inputBox(const std::string& title, const std::string& prompt, bool masked) {
    QInputDialog box(dialogOwner());
    box.setWindowTitle(fromUtf8(title));
    box.setLabelText(displayText(prompt));
    box.setTextEchoMode(masked ? QLineEdit::Password : QLineEdit::Normal);
    if (box.exec() != QDialog::Accepted) {
        return {};
    }
    return box.textValue().toStdString();
}

std::string QtDialogs::browseForFolder(const std::string& title, const std::string& initialFolder) {
    return QFileDialog::getExistingDirectory(dialogOwner(), fromUtf8(title),
                                             fromUtf8(initialFolder), QFileDialog::ShowDirsOnly)
        .toStdString();
}

std::optional<std::string> QtDialogs::openFile(const std::string& title,
                                               const std::string& initialDir,
                                               const std::string& fileName,
                                               const std::string& filter) {
    QFileDialog box(dialogOwner(), fromUtf8(title), fromUtf8(initialDir));
    box.setAcceptMode(QFileDialog::AcceptOpen);
    // Any name may be typed, as in the Windows dialog: the Set run tells a missing file itself.
    box.setFileMode(QFileDialog::AnyFile);
    // Qt shows the description, without the pattern list it reads from the last parentheses.
    box.setOption(QFileDialog::HideNameFilterDetails);
    box.setNameFilter(qtNameFilters(filter));
    if (!fileName.empty()) {
        box.selectFile(fromUtf8(fileName));
    }
    if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return box.selectedFiles().constFirst().toStdString();
}

}  // namespace qm
