#include "toolkit/Lamp.h"

#include <QFont>
#include <QPalette>

Lamp::Lamp(const QString& caption, QWidget* parent) : QLabel(caption, parent)
{
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    setAlignment(Qt::AlignCenter);
    setAutoFillBackground(true);
    QFont lampFont(QStringLiteral("MS Sans Serif"));
    lampFont.setPixelSize(11);
    setFont(lampFont);
    ApplyPalette();
}

void Lamp::SetColor(const QColor& colour)
{
    if (colour == colour_) {
        return;
    }
    colour_ = colour;
    ApplyPalette();
}

void Lamp::SetFontColor(const QColor& colour)
{
    if (colour == fontColour_) {
        return;
    }
    fontColour_ = colour;
    ApplyPalette();
}

void Lamp::SetLit(bool lit)
{
    if (lit == lit_) {
        return;
    }
    lit_ = lit;
    emit LitChanged(lit_);
}

void Lamp::ApplyPalette()
{
    QPalette colours = palette();
    colours.setColor(QPalette::Window, colour_);
    colours.setColor(QPalette::WindowText, fontColour_);
    setPalette(colours);
    update();
}
