#pragma once
// Delivers what SpokenChanges decided to the screen reader at hand.
//
// With Qt 6.8 or newer, Qt's announcement event carries it: AT-SPI's
// announcement signal on Linux, a UI Automation notification on Windows,
// polite or assertive. With an older Qt there is no such event, and a
// screen reader presents text changes of a read-only text only when the
// user typed them; what it does present by itself is a notification object
// appearing. So the announcer keeps one notification object in the window's
// status bar, gives it the text and shows it anew: Orca speaks it at once,
// without naming its role, as it does for a status bar's notices.

#include <QPointer>
#include <QWidget>

#include <vector>

class QAccessibleInterface;

namespace a11y {

struct Announcement;

// The notification object (older Qt); empty and zero-sized, never drawn.
class SpokenNotice final : public QWidget {
    Q_OBJECT

public:
    explicit SpokenNotice(QWidget* parent);
    QString Text() const { return text_; }
    void SetText(const QString& text) { text_ = text; }

private:
    QString text_;
};

class Announcer {
public:
    // `display` is the widget whose changes are announced.
    explicit Announcer(QWidget* display);
    // Says one round of changes, in order. Orca 43 cuts off what it is saying
    // for every notice, so with an older Qt the round goes as one notice.
    void Say(const std::vector<Announcement>& round);

private:
    QWidget* display_;
    QPointer<SpokenNotice> notice_;
};

// The accessible interface of a SpokenNotice, or nullptr for other objects.
QAccessibleInterface* NoticeInterface(QObject* object);

} // namespace a11y
