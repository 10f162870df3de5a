#include "platform/qt/qt_controls.h"

#include <QApplication>
#include <QFontDatabase>
#include <QProgressBar>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <algorithm>

#include "platform/core/app_identity.h"

namespace qm {

namespace {

constexpr const char* kTahomaLookAlikes[] = {
    "/usr/share/wine/fonts/tahoma.ttf",
    "/usr/share/wine/fonts/tahomabd.ttf",
};
constexpr double kScreenFontPoints = 8.25;
constexpr int kPumpIntervalMs = 50;
constexpr int kButtonTextMargin = 4;

void registerTahomaOnce() {
    static const bool registered = [] {
        for (const char* file : kTahomaLookAlikes) {
            QFontDatabase::addApplicationFont(QString::fromUtf8(file));
        }
        return true;
    }();
    (void)registered;
}

}  // namespace

QRect rectFromTwips(int left, int top, int width, int height) {
    return {pixelsFromTwips(left), pixelsFromTwips(top), pixelsFromTwips(width),
            pixelsFromTwips(height)};
}

QFont screenFont() {
    registerTahomaOnce();
    QFont font;
    font.setFamilies(
        {QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif")});
    font.setPointSizeF(kScreenFontPoints);
    return font;
}

void setUpScreenWindow(QWidget& window, int widthTwips, int heightTwips) {
    window.setWindowTitle(QString::fromUtf8(kAppTitle));
    window.setFont(screenFont());
    window.setFixedSize(pixelsFromTwips(widthTwips), pixelsFromTwips(heightTwips));
}

void showScreen(QWidget& window) {
    if (!window.property("qmPlaced").toBool()) {
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect frame = window.frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            window.move(frame.topLeft());
        }
        window.setProperty("qmPlaced", true);
    }
    window.show();
    window.activateWindow();
}

void PaintPump::keepPainted() {
    if (!sinceLastPump_.isValid() || sinceLastPump_.elapsed() >= kPumpIntervalMs) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        sinceLastPump_.start();
    }
}

CommandButton::CommandButton(const QString& caption, QWidget* parent)
    : QPushButton(caption, parent) {}

CommandButton* makeCommandButton(const char* name, const char* caption, const char* toolTip,
                                 QRect geometry, QWidget* parent) {
    auto* button = new CommandButton(QString::fromUtf8(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setToolTip(QString::fromUtf8(toolTip));
    button->setGeometry(geometry);
    return button;
}

void CommandButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);

    const QRect textArea = rect().adjusted(kButtonTextMargin, 0, -kButtonTextMargin, 0);
    int flags = Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;
    if (!style()->styleHint(QStyle::SH_UnderlineShortcut, &option, this)) {
        flags |= Qt::TextHideMnemonic;
    }
    painter.drawItemText(textArea, flags, option.palette, isEnabled(), caption,
                         QPalette::ButtonText);
}

QtProgressBar::QtProgressBar(QProgressBar& bar) : bar_(bar) {}

void QtProgressBar::setMaximum(Int16 maximum) {
    if (maximum <= Int16(bar_.minimum())) {
        throw RunTimeError(380, "Invalid property value", "ProgressBar");
    }
    bar_.setMaximum(maximum.value());
    pump_.keepPainted();
}

void QtProgressBar::setValue(Int16 value) {
    if (value < Int16(bar_.minimum())) {
        throw RunTimeError(380, "Invalid property value", "ProgressBar");
    }
    // The directory can grow between counting and the run: a value past the end is a full bar.
    bar_.setValue(std::min(static_cast<int>(value.value()), bar_.maximum()));
    pump_.keepPainted();
}

}  // namespace qm
