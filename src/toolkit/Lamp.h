#pragma once
// A lamp of a keypad window: a static text with a centred caption, a
// single-line border and settable background and caption colours.

#include <QColor>
#include <QLabel>
#include <QRgb>

// The lamp colours of both keypads (24-bit RGB).
namespace lampcolour {
inline constexpr QRgb Red = qRgb(255, 0, 0);
inline constexpr QRgb Maroon = qRgb(128, 0, 0);
inline constexpr QRgb Yellow = qRgb(255, 255, 0);
inline constexpr QRgb Olive = qRgb(128, 128, 0);
inline constexpr QRgb Lime = qRgb(0, 255, 0);
inline constexpr QRgb Green = qRgb(0, 128, 0);
inline constexpr QRgb Silver = qRgb(192, 192, 192);
inline constexpr QRgb Black = qRgb(0, 0, 0);
} // namespace lampcolour

class Lamp : public QLabel {
    Q_OBJECT

public:
    explicit Lamp(const QString& caption = {}, QWidget* parent = nullptr);

    void SetColor(const QColor& colour);
    QColor Color() const { return colour_; }
    void SetFontColor(const QColor& colour);
    QColor FontColor() const { return fontColour_; }
    // Whether the keypad has lit the lamp: what the colour tells the eye,
    // for assistive technology. Draws nothing.
    void SetLit(bool lit);
    bool Lit() const { return lit_; }

signals:
    void LitChanged(bool lit);

private:
    void ApplyPalette();

    QColor colour_ = Qt::lightGray;
    QColor fontColour_ = Qt::black;
    bool lit_ = false;
};
