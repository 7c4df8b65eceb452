#pragma once
// Reads the status texts of the firmware update back from the display
// window's raster, the way a user sees them: a text drawn over the mirrored
// display leaves rows 2, 5 and 6 blank and holds plain characters in row 3
// (and row 4 for a two-line text).
//
// The raster is looked at on the main thread before every event the
// application handles. Each status report repaints the window, and the
// repaint sets the window's hint (a hint-change event), so every text drawn
// is seen before anything can draw over it. Consecutive repeats count once.

#include "Mainform.h"
#include "support/WindowFixture.h"
#include "toolkit/MainThreadCall.h"

#include <QCoreApplication>
#include <QObject>

#include <functional>
#include <string>
#include <vector>

class OverlayTexts final : public QObject {
public:
    explicit OverlayTexts(const TForm1& form) : form_(form) { QCoreApplication::instance()->installEventFilter(this); }
    ~OverlayTexts() override { QCoreApplication::instance()->removeEventFilter(this); }

    // Every distinct text seen so far, in order; a two-line text as "row 3\nrow 4".
    std::vector<std::string> Texts() const { return texts_; }
    void Clear() { texts_.clear(); }

    // Runs on the main thread for each new text, as soon as it is seen.
    std::function<void(const std::string&)> onText;

protected:
    bool eventFilter(QObject*, QEvent*) override
    {
        if (mainthread::IsMainThread())
            Sample();
        return false;
    }

private:
    static constexpr int kFirstRow = 2;
    static constexpr int kLastRow = 6;

    void Sample()
    {
        const display::Raster& raster = form_.raster;
        std::vector<std::uint8_t> band;
        for (int y = 2 + 8 * kFirstRow; y < 2 + 8 * (kLastRow + 1); ++y) {
            const std::uint8_t* line = raster.ScanLine(y);
            band.insert(band.end(), line, line + display::Raster::kBytesPerRow);
        }
        if (band == band_)
            return;
        band_ = std::move(band);

        std::string rows[kLastRow + 1];
        for (int r = kFirstRow; r <= kLastRow; ++r) {
            if (!ReadRow(raster, r, rows[r]))
                return;
        }
        const std::string blank(40, ' ');
        if (rows[2] != blank || rows[5] != blank || rows[6] != blank || rows[3] == blank)
            return;
        const std::string text = rows[4] == blank ? rows[3] : rows[3] + "\n" + rows[4];
        if (!texts_.empty() && texts_.back() == text)
            return;
        texts_.push_back(text);
        if (onText)
            onText(text);
    }

    // A row of plain (not inverted) printable characters; false otherwise.
    static bool ReadRow(const display::Raster& raster, int row, std::string& text)
    {
        for (int column = 0; column < 40; ++column) {
            bool clean = true;
            const auto cell = windowtest::CellRows(raster, column, row, &clean);
            if (!clean)
                return false;
            char found = 0;
            for (int c = 0x20; c < 0x7F && !found; ++c) {
                if (windowtest::GlyphRows(static_cast<std::uint8_t>(c - 32)) == cell)
                    found = static_cast<char>(c);
            }
            if (!found)
                return false;
            text += found;
        }
        return true;
    }

    const TForm1& form_;
    std::vector<std::uint8_t> band_;
    std::vector<std::string> texts_;
};
