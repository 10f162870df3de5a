#pragma once

#include <QElapsedTimer>
#include <QFont>
#include <QPushButton>
#include <QRect>

#include "platform/controls.h"

class QProgressBar;
class QWidget;

namespace qm {

// Screen layouts are given in twips, 15 to a pixel at 96 dpi.
constexpr int pixelsFromTwips(int twips) {
    return (twips + 7) / 15;
}
QRect rectFromTwips(int left, int top, int width, int height);

// Tahoma 8.25 pt, the screens' font. Debian's Tahoma look-alike is registered on first use;
// where it is missing the font falls back to the desktop's sans serif.
QFont screenFont();

// A fixed-size top-level screen: caption, client area in twips, the screens' font.
void setUpScreenWindow(QWidget& window, int widthTwips, int heightTwips);
// Shows a screen centred on the desktop the first time, where it was afterwards.
void showScreen(QWidget& window);

// Keeps the windows painted during long synchronous work without taking user input: paint and
// window-system events are handled at most every 50 ms.
class PaintPump {
public:
    void keepPainted();

private:
    QElapsedTimer sinceLastPump_;
};

// A command button whose caption wraps onto several lines when the button is too narrow for it,
// as a Windows command button's does. The caption (and its access key) stays the button's text.
class CommandButton : public QPushButton {
public:
    CommandButton(const QString& caption, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A button as a screen lays it out: its control name, caption (with its access key), tool tip and
// place.
CommandButton* makeCommandButton(const char* name, const char* caption, const char* toolTip,
                                 QRect geometry, QWidget* parent);

// The progress bar the runs move, on a QProgressBar that shows no percentage text.
class QtProgressBar final : public ProgressBar {
public:
    explicit QtProgressBar(QProgressBar& bar);

    void setMaximum(Int16 maximum) override;
    void setValue(Int16 value) override;

private:
    QProgressBar& bar_;
    PaintPump pump_;
};

}  // namespace qm
