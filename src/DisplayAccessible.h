#pragma once
// The display area for assistive technology: a read-only text object whose
// text is the raster's text grid (the glyph codes the raster records, read
// through the character table, never its pixels), eight rows of 40
// characters so that a reading caret keeps its row and column whatever the
// screen shows; named after what it is and the link state, described by the
// lamps lit. The window tells it of every redraw and of the lamps; the
// platform is told of changed text, name and description, and the changed
// lines and lamps are spoken (SpokenChanges), at most a few times a second,
// from a timer, so the poll engine's hand-over never waits on the
// accessibility layer.

#include "speech/Announcer.h"
#include "speech/SpokenChanges.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>

class QWidget;
namespace display {
class Raster;
}

namespace a11y {

class ChangeNotifier;

class DisplayAccess final : public QObject {
    Q_OBJECT

public:
    static constexpr const char* kObjectName = "DisplayAccess";
    // At most one text or name notice per this many milliseconds.
    static constexpr int kNoticeIntervalMs = 300;

    // `area` is the widget that paints the raster; `linkState` gives the
    // link's state as the status bar shows it ("ON-LINE", ...).
    DisplayAccess(const display::Raster& raster, QWidget* area, std::function<QString()> linkState);

    // The display's area widget shows it: nullptr for any other widget.
    static DisplayAccess* Of(QObject* area);

    // The eight rows, as the raster holds them now.
    QString Text() const;
    QString Name() const;
    QString Description() const;

    // The raster or the link state may have changed. Cheap and non-blocking:
    // it only arms the notice timer.
    void Changed();
    // The lamps lit (a 1 bit lights a lamp), as the keypads show them.
    void SetLamps(std::uint8_t lampStates);
    // Whether changes are spoken by themselves (on at start).
    void SetSpeaking(bool speaking);
    bool Speaking() const { return speaking_; }

    // The caret of the text object (an offset into Text()).
    int Caret() const { return caret_; }
    void SetCaret(int offset);

signals:
    // A text notice went out: `inserted` is the changed span's new text.
    void TextTold(const QString& inserted);

private:
    void SendNotices();

    const display::Raster& raster_;
    QWidget* area_;
    std::function<QString()> linkState_;
    ChangeNotifier* notifier_;
    SpokenChanges changes_;
    Announcer announcer_;
    std::uint8_t lamps_ = 0;
    bool speaking_ = true;
    QString toldText_;
    QString toldName_;
    QString toldDescription_;
    int caret_ = 0;
};

// Installs the display area's interface (once; later calls do nothing).
void InstallDisplayInterface();

} // namespace a11y
