#include "sim/SettingsMenu.h"

#include <algorithm>
#include <array>

namespace sim {

namespace {

constexpr std::array<int, 4> kBaudRates = {4800, 9600, 19200, 38400};
constexpr std::array<const char*, SettingsMenu::kItemCount> kLabels = {"BEEP",     "CONTRAST",  "CAT BAUD RATE",
                                                                       "TX DELAY", "TEMP UNIT", "EXIT"};

// Columns of the item rows inside the box.
constexpr int kMarkerCol = 2;
constexpr int kLabelCol = 4;
constexpr int kValueEndCol = 35;
constexpr int kRowEndCol = 37;

} // namespace

void SettingsMenu::Open()
{
    open_ = true;
    editing_ = false;
    selected_ = kBeep;
}

void SettingsMenu::Close()
{
    open_ = false;
    editing_ = false;
}

void SettingsMenu::Left()
{
    if (editing_)
        Change(-1);
    else
        selected_ = (selected_ + kItemCount - 1) % kItemCount;
}

void SettingsMenu::Right()
{
    if (editing_)
        Change(+1);
    else
        selected_ = (selected_ + 1) % kItemCount;
}

void SettingsMenu::Set()
{
    if (selected_ == kExit)
        Close();
    else
        editing_ = !editing_;
}

void SettingsMenu::StepContrast()
{
    contrast_ = contrast_ % 9 + 1;
}

int SettingsMenu::CatBaud() const
{
    return kBaudRates[static_cast<std::size_t>(baudIndex_)];
}

void SettingsMenu::Change(int step)
{
    switch (selected_) {
    case kBeep:
        beep_ = !beep_;
        break;
    case kContrast:
        contrast_ = std::clamp(contrast_ + step, 1, 9);
        break;
    case kCatBaud:
        baudIndex_ = std::clamp(baudIndex_ + step, 0, static_cast<int>(kBaudRates.size()) - 1);
        break;
    case kTxDelay:
        txDelayMs_ = std::clamp(txDelayMs_ + 5 * step, 10, 50);
        break;
    case kTempUnit:
        fahrenheit_ = !fahrenheit_;
        break;
    default:
        break;
    }
}

std::string SettingsMenu::ValueText(int item) const
{
    switch (item) {
    case kBeep:
        return beep_ ? "ON" : "OFF";
    case kContrast:
        return Format("%d", contrast_);
    case kCatBaud:
        return Format("%d", CatBaud());
    case kTxDelay:
        return Format("%d MS", txDelayMs_);
    case kTempUnit:
        return fahrenheit_ ? "F" : "C";
    default:
        return {};
    }
}

void SettingsMenu::Render(ScreenBuffer& screen) const
{
    screen.Box();
    screen.PutCentered(0, " SETTINGS ");
    for (int item = 0; item < kItemCount; ++item) {
        const int row = 1 + item;
        const bool selected = item == selected_;
        screen.Put(kLabelCol, row, kLabels[static_cast<std::size_t>(item)]);
        const std::string value = ValueText(item);
        screen.PutRight(kValueEndCol, row, value);
        if (!selected)
            continue;
        screen.PutCode(kMarkerCol, row, glyph::kTriangleRight);
        if (editing_) {
            const int from = kValueEndCol + 1 - static_cast<int>(value.size());
            screen.PutCode(from - 1, row, glyph::kTriangleLeft);
            screen.PutCode(kValueEndCol + 1, row, glyph::kTriangleRight);
            screen.Invert(row, from, kValueEndCol);
        } else {
            screen.Invert(row, kMarkerCol, kRowEndCol);
        }
    }
}

} // namespace sim
