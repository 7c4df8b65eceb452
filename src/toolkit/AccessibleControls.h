#pragma once
// What assistive technology (screen readers, through the platform's
// accessibility layer) sees of the toolkit's controls: keypad buttons as
// buttons with their key's name, their hint and, for latching buttons, the
// latched state and a toggle; lamps with their name and whether they are lit.
// Nothing here changes what is drawn.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>

namespace a11y {

// Tells assistive technology of changes at a bounded rate. Changed() only arms
// a timer, so its caller (the poll engine's hand-over, for one) never waits on
// the accessibility layer; when the timer runs, `send` looks at what changed
// and sends its events. It looks at most once per `minIntervalMs`, so the
// events are at least that far apart too. The events go nowhere while no assistive technology
// listens, but the comparison keeps running, so that one that starts
// listening later is told what changed since. Main thread only.
class ChangeNotifier final : public QObject {
public:
    ChangeNotifier(QObject* owner, int minIntervalMs, std::function<void()> send);
    void Changed();

private:
    void Fire();

    QTimer timer_;
    QElapsedTimer sinceLook_;
    int minIntervalMs_;
    std::function<void()> send_;
};

// Installs the interfaces of the keypad buttons and the lamps (once; later
// calls do nothing).
void InstallControlInterfaces();

} // namespace a11y
