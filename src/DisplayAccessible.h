#pragma once
// The display area for assistive technology: a read-only text object whose
// text is the raster's text grid (the glyph codes the raster records, read
// through the character table, never its pixels), named after what it is and
// the link state. The window tells it of every redraw; the platform is told
// of changed text and name at most a few times a second, from a timer, so
// the poll engine's hand-over never waits on the accessibility layer.

#include <QObject>
#include <QString>

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

    // The eight lines, as the raster holds them now.
    QString Text() const;
    QString Name() const;

    // The raster or the link state may have changed. Cheap and non-blocking:
    // it only arms the notice timer.
    void Changed();

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
    QString toldText_;
    QString toldName_;
    int caret_ = 0;
};

// Installs the display area's interface (once; later calls do nothing).
void InstallDisplayInterface();

} // namespace a11y
