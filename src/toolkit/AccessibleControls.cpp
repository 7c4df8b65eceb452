#include "toolkit/AccessibleControls.h"

#include "toolkit/Lamp.h"
#include "toolkit/SpeedButton.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPointer>

#include <algorithm>
#include <utility>

namespace a11y {

ChangeNotifier::ChangeNotifier(QObject* owner, int minIntervalMs, std::function<void()> send)
    : QObject(owner), minIntervalMs_(minIntervalMs), send_(std::move(send))
{
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [this] { Fire(); });
}

void ChangeNotifier::Changed()
{
    if (timer_.isActive()) {
        return;
    }
    const qint64 wait = sinceLook_.isValid() ? minIntervalMs_ - sinceLook_.elapsed() : 0;
    timer_.start(static_cast<int>(std::clamp<qint64>(wait, 0, minIntervalMs_)));
}

void ChangeNotifier::Fire()
{
    sinceLook_.start();
    send_();
}

namespace {

// Held and latch changes come from the user's own keys and clicks; lamps
// change with the amplifier's frames, a dozen times a second at most.
constexpr int kButtonIntervalMs = 100;
constexpr int kLampIntervalMs = 250;

// The key a button stands for: its caption without the accelerator mark and
// the blanks that make room for the triangle; the triangle says minus or plus.
QString KeyName(const SpeedButton& button)
{
    const QString key = StripAccelerator(button.Caption()).trimmed();
    switch (button.GlyphKind()) {
    case SpeedButton::Glyph::LeftTriangle:
        return key == QLatin1String("-") ? QStringLiteral("Left arrow") : key + QStringLiteral(" minus");
    case SpeedButton::Glyph::RightTriangle:
        return key == QLatin1String("+") ? QStringLiteral("Right arrow") : key + QStringLiteral(" plus");
    case SpeedButton::Glyph::None:
        break;
    }
    return key;
}

// What assistive technology was last told of a control: its name and the
// states that change under it.
struct Told {
    QString name;
    bool checked = false;
    bool pressed = false;

    bool operator==(const Told&) const = default;
};

// Sends a control's name and state changes when they differ from what was
// told last, each event only for what changed, and only while its window is
// shown: a hidden keypad tells nothing (a screen reader reads it afresh when
// it appears), so no change is sent twice.
class StateTeller {
public:
    StateTeller(QWidget* widget, int intervalMs, std::function<Told()> current)
        : widget_(widget), current_(std::move(current)), told_(current_())
    {
        notifier_ = new ChangeNotifier(widget, intervalMs, [this] { Tell(); });
    }
    void Changed() { notifier_->Changed(); }

private:
    void Tell()
    {
        const Told now = current_();
        if (!widget_ || now == told_) {
            return;
        }
        const Told before = std::exchange(told_, now);
        if (!widget_->window()->isVisible()) {
            return;
        }
        if (now.name != before.name) {
            QAccessibleEvent nameChanged(widget_.data(), QAccessible::NameChanged);
            QAccessible::updateAccessibility(&nameChanged);
        }
        QAccessible::State changed;
        changed.checked = now.checked != before.checked;
        changed.pressed = now.pressed != before.pressed;
        if (changed.checked || changed.pressed) {
            QAccessibleStateChangeEvent stateChanged(widget_.data(), changed);
            QAccessible::updateAccessibility(&stateChanged);
        }
    }

    QPointer<QWidget> widget_;
    std::function<Told()> current_;
    Told told_;
    ChangeNotifier* notifier_ = nullptr;
};

// QAccessibleWidget is the action interface already; its actions are replaced.
class SpeedButtonInterface final : public QAccessibleWidget {
public:
    explicit SpeedButtonInterface(SpeedButton* button) : QAccessibleWidget(button, QAccessible::Button)
    {
        // The teller belongs to the button (its notifier is the button's
        // child); the interface lives as long as the button.
        auto teller = std::make_shared<StateTeller>(button, kButtonIntervalMs, [button] {
            return Told{KeyName(*button), button->Latching() && button->Down(), button->Sunk()};
        });
        QObject::connect(button, &SpeedButton::HeldChanged, button, [teller] { teller->Changed(); });
    }

    SpeedButton* Button() const { return static_cast<SpeedButton*>(widget()); }

    QString text(QAccessible::Text t) const override
    {
        switch (t) {
        case QAccessible::Name:
            return KeyName(*Button());
        case QAccessible::Description:
            return Button()->toolTip();
        default:
            return QAccessibleWidget::text(t);
        }
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.pressed = Button()->Sunk();
        s.checkable = Button()->Latching();
        s.checked = Button()->Latching() && Button()->Down();
        return s;
    }

    QStringList actionNames() const override
    {
        if (Button()->Latching()) {
            return {pressAction(), toggleAction()};
        }
        return {pressAction()};
    }

    QString localizedActionDescription(const QString& name) const override
    {
        if (name == toggleAction()) {
            return QStringLiteral("Latches or releases the key without sending it");
        }
        if (name == pressAction()) {
            return Button()->Latching() ? QStringLiteral("Releases the latch and sends the key")
                                        : QStringLiteral("Sends the key");
        }
        return {};
    }

    void doAction(const QString& name) override
    {
        if (!Button()->isEnabled()) {
            return;
        }
        if (name == pressAction()) {
            Button()->ClickWithoutMouse();
        } else if (name == toggleAction() && Button()->Latching()) {
            Button()->RightClickWithoutMouse();
        }
    }

    // The key that presses the button in the display and keypad windows:
    // its caption's accelerator, typed without a modifier.
    QStringList keyBindingsForAction(const QString& name) const override
    {
        const QChar key = Button()->Accelerator();
        if (name == pressAction() && !key.isNull()) {
            return {QString(key.toUpper())};
        }
        return {};
    }
};

class LampInterface final : public QAccessibleWidget {
public:
    explicit LampInterface(Lamp* lamp) : QAccessibleWidget(lamp, QAccessible::StaticText)
    {
        auto teller = std::make_shared<StateTeller>(lamp, kLampIntervalMs, [lamp] {
            return Told{LampInterface::NameOf(*lamp), lamp->Lit(), false};
        });
        QObject::connect(lamp, &Lamp::LitChanged, lamp, [teller] { teller->Changed(); });
    }

    const Lamp* TheLamp() const { return static_cast<const Lamp*>(widget()); }

    static QString NameOf(const Lamp& lamp)
    {
        const QString name = lamp.accessibleName().isEmpty() ? lamp.text() : lamp.accessibleName();
        return name + (lamp.Lit() ? QStringLiteral(" lamp, on") : QStringLiteral(" lamp, off"));
    }

    QString text(QAccessible::Text t) const override
    {
        switch (t) {
        case QAccessible::Name:
            return NameOf(*TheLamp());
        case QAccessible::Value:
            return TheLamp()->Lit() ? QStringLiteral("on") : QStringLiteral("off");
        default:
            return QAccessibleWidget::text(t);
        }
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.checkable = true;
        s.checked = TheLamp()->Lit();
        return s;
    }
};

QAccessibleInterface* ControlFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("SpeedButton")) {
        return new SpeedButtonInterface(static_cast<SpeedButton*>(object));
    }
    if (className == QLatin1String("Lamp")) {
        return new LampInterface(static_cast<Lamp*>(object));
    }
    // The keypads are tool windows of plain widgets: read as windows, not fillers.
    if (className == QLatin1String("TKeyForm") || className == QLatin1String("TJKeypad")) {
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
    }
    return nullptr;
}

} // namespace

void InstallControlInterfaces()
{
    static bool installed = false;
    if (!installed) {
        QAccessible::installFactory(ControlFactory);
        installed = true;
    }
}

} // namespace a11y
