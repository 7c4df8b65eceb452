#pragma once
// A flat push button bound to an action, with a group number and a held
// (down) state, the way the keypad windows need it.
//
// Binding: the caption (with "&" marking the accelerator letter, "&&" one
// "&"), the tooltip (the action's hint) and the enabled state follow the
// action; a click runs the action, which does nothing while it is disabled.
//
// Held state, the grouped-button rules:
//  1. The button can be down only while its group is 1; setting down while
//     the group is 0 is ignored.
//  2. When it becomes down, every other down group-1 button of the same
//     parent widget goes up (their group stays 1): at most one per panel.
//  3. A click (left press and release over the button) runs the action; if
//     the group is 1 at the release, the down flag is inverted first. Right
//     and middle presses run nothing.
//  4. A left press on a group-0 button only draws it sunk until the release.
// MouseUp is emitted on every release of a press made on the button, before
// the click handling above, so that a handler can change group and down first.
//
// Tab gives the button the keyboard focus, and Space or Enter then press it
// as a left click does; a click with the mouse leaves the focus where it is.
// Other keys go on to the window.

#include <QAbstractButton>
#include <QColor>
#include <QImage>
#include <QPointer>

class QAction;

class SpeedButton : public QAbstractButton {
    Q_OBJECT

public:
    enum class Glyph {
        None,
        LeftTriangle,  // pointing left, left of the caption
        RightTriangle, // pointing right, right of the caption
    };
    static constexpr int kDefaultSpacing = 4;

    explicit SpeedButton(QWidget* parent = nullptr);

    void SetAction(QAction* action);
    QAction* Action() const { return action_; }

    // The caption as the action gives it (accelerator marks included).
    QString Caption() const { return caption_; }
    // The accelerator character of the caption, or a null QChar.
    QChar Accelerator() const;

    void SetCaptionColor(const QColor& colour);
    QColor CaptionColor() const { return captionColour_; }

    void SetGlyph(Glyph glyph, int spacing = kDefaultSpacing);
    Glyph GlyphKind() const { return glyph_; }
    int Spacing() const { return spacing_; }

    int GroupIndex() const { return groupIndex_; }
    void SetGroupIndex(int group);
    bool Down() const { return down_; }
    void SetDown(bool down);

    // The three steps on the held state.
    void Hold();    // group := 1, then down := true
    void Release(); // group := 0, then down := false
    void Toggle();  // group := 1, then down := not down

    // Drawn sunk: down, or pressed with the left button and the mouse over it.
    bool Sunk() const { return down_ || pressed_; }

    // Runs the bound action (nothing while it is disabled).
    void Click();

    // A latching button (POWER, CAT, DISPLAY, OPERATE of the full keypad):
    // its down state is a latch that assistive technology reports and toggles.
    void SetLatching(bool latching) { latching_ = latching; }
    bool Latching() const { return latching_; }
    // A left click made without the mouse, as assistive technology presses a
    // button: the mouse-up handlers see a left-button release over the
    // button, then the click rule runs as for the mouse.
    void ClickWithoutMouse();
    // A right click made without the mouse: only the mouse-up handlers run.
    void RightClickWithoutMouse();

    QSize sizeHint() const override;

signals:
    void MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint position);
    // The down flag or the sunk look changed.
    void HeldChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    void SyncFromAction();
    void TakeOthersUp();
    static bool IsPressKey(const QKeyEvent& event);

    QPointer<QAction> action_;
    QString caption_;
    QColor captionColour_ = Qt::black;
    Glyph glyph_ = Glyph::None;
    int spacing_ = kDefaultSpacing;
    int groupIndex_ = 0;
    bool down_ = false;
    bool pressed_ = false;       // left button held over the button
    bool keyboardFocus_ = false; // the focus came with Tab: drawn
    bool dragging_ = false;      // a left press on this button not yet released
    bool latching_ = false;
};

// The caption text as shown: accelerator marks removed, "&&" as one "&".
QString StripAccelerator(const QString& caption);
// The character after a single "&", or a null QChar.
QChar AcceleratorOf(const QString& caption);

// The toolkit's dialog-character rule: clicks the first enabled, visible
// speed button inside `window` whose accelerator equals `ch`, ignoring case.
// True when one was clicked.
bool ClickAccelerator(QWidget& window, QChar ch);

// The triangle glyph: 16 x 16, a teal triangle with a black outline on a
// transparent background; the disabled state is a grey embossed shape.
QImage TriangleGlyph(bool pointsLeft, bool enabled);
