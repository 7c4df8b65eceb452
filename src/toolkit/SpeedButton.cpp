#include "toolkit/SpeedButton.h"

#include <QAction>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>

#include <array>

namespace {

constexpr int kGlyphSize = 16;

// Pixel art of a triangle pointing right: rows 3..13, apex at (10, 8).
// `paint(x, y, edge)` is called for every pixel of the shape.
template <typename Paint> void ForEachTrianglePixel(bool pointsLeft, Paint paint)
{
    for (int y = 3; y <= 13; ++y) {
        const int reach = 5 - (y < 8 ? 8 - y : y - 8);
        for (int x = 5; x <= 5 + reach; ++x) {
            const bool edge = x == 5 || x == 5 + reach || y == 3 || y == 13;
            paint(pointsLeft ? kGlyphSize - 1 - x : x, y, edge);
        }
    }
}

const QPixmap& CachedGlyph(bool pointsLeft, bool enabled)
{
    static std::array<QPixmap, 4> cache;
    QPixmap& slot = cache[(pointsLeft ? 2 : 0) + (enabled ? 1 : 0)];
    if (slot.isNull()) {
        slot = QPixmap::fromImage(TriangleGlyph(pointsLeft, enabled));
    }
    return slot;
}

} // namespace

QString StripAccelerator(const QString& caption)
{
    QString shown;
    shown.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == QLatin1Char('&')) {
            ++i; // "&x" shows x, "&&" shows "&"
            if (i == caption.size()) {
                break;
            }
        }
        shown.append(caption[i]);
    }
    return shown;
}

QChar AcceleratorOf(const QString& caption)
{
    for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != QLatin1Char('&')) {
            continue;
        }
        if (caption[i + 1] != QLatin1Char('&')) {
            return caption[i + 1];
        }
        ++i; // skip the escaped "&"
    }
    return {};
}

bool ClickAccelerator(QWidget& window, QChar ch)
{
    const QChar wanted = ch.toUpper();
    for (SpeedButton* button : window.findChildren<SpeedButton*>()) {
        const QChar accelerator = button->Accelerator();
        if (!accelerator.isNull() && accelerator.toUpper() == wanted && button->isEnabled() && button->isVisible()) {
            button->Click();
            return true;
        }
    }
    return false;
}

QImage TriangleGlyph(bool pointsLeft, bool enabled)
{
    QImage image(kGlyphSize, kGlyphSize, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    if (enabled) {
        const QRgb teal = qRgb(0, 128, 128);
        const QRgb black = qRgb(0, 0, 0);
        ForEachTrianglePixel(pointsLeft, [&](int x, int y, bool edge) { image.setPixel(x, y, edge ? black : teal); });
    } else {
        // Embossed: a white copy one pixel down and right under a grey shape.
        ForEachTrianglePixel(pointsLeft,
                             [&](int x, int y, bool) { image.setPixel(x + 1, y + 1, qRgb(255, 255, 255)); });
        ForEachTrianglePixel(pointsLeft, [&](int x, int y, bool) { image.setPixel(x, y, qRgb(128, 128, 128)); });
    }
    return image;
}

SpeedButton::SpeedButton(QWidget* parent) : QAbstractButton(parent)
{
    // Tab reaches it, a click does not take the focus from the window.
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
    setFont(QFont(QStringLiteral("Arial"), 8));
}

void SpeedButton::SetAction(QAction* action)
{
    if (action_) {
        disconnect(action_, nullptr, this, nullptr);
    }
    action_ = action;
    if (action_) {
        connect(action_, &QAction::changed, this, &SpeedButton::SyncFromAction);
    }
    SyncFromAction();
}

void SpeedButton::SyncFromAction()
{
    if (!action_) {
        caption_.clear();
        setToolTip({});
        setEnabled(true);
        update();
        return;
    }
    caption_ = action_->text();
    setToolTip(action_->toolTip());
    const QString name = StripAccelerator(caption_);
    if (accessibleName() != name) {
        setAccessibleName(name); // each call tells assistive technology of a new name
    }
    setEnabled(action_->isEnabled());
    update();
}

QChar SpeedButton::Accelerator() const
{
    return AcceleratorOf(caption_);
}

void SpeedButton::SetCaptionColor(const QColor& colour)
{
    captionColour_ = colour;
    update();
}

void SpeedButton::SetGlyph(Glyph glyph, int spacing)
{
    glyph_ = glyph;
    spacing_ = spacing;
    update();
}

void SpeedButton::SetGroupIndex(int group)
{
    groupIndex_ = group;
    if (down_ && groupIndex_ != 0) {
        TakeOthersUp();
    }
}

void SpeedButton::SetDown(bool down)
{
    if (groupIndex_ == 0) {
        down = false;
    }
    if (down == down_) {
        return;
    }
    down_ = down;
    if (down_) {
        TakeOthersUp();
    }
    update();
    emit HeldChanged();
}

void SpeedButton::TakeOthersUp()
{
    QWidget* panel = parentWidget();
    if (!panel) {
        return;
    }
    const auto siblings = panel->findChildren<SpeedButton*>(Qt::FindDirectChildrenOnly);
    for (SpeedButton* other : siblings) {
        if (other != this && other->groupIndex_ == 1 && other->down_) {
            other->down_ = false;
            other->update();
            emit other->HeldChanged();
        }
    }
}

void SpeedButton::Hold()
{
    SetGroupIndex(1);
    SetDown(true);
}

void SpeedButton::Release()
{
    SetGroupIndex(0);
    SetDown(false);
}

void SpeedButton::Toggle()
{
    SetGroupIndex(1);
    SetDown(!down_);
}

void SpeedButton::Click()
{
    if (action_) {
        action_->trigger();
    }
}

QSize SpeedButton::sizeHint() const
{
    return {56, 22};
}

void SpeedButton::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    if (event->button() == Qt::LeftButton && isEnabled()) {
        dragging_ = true;
        pressed_ = true;
        update();
        emit HeldChanged();
    }
}

void SpeedButton::mouseMoveEvent(QMouseEvent* event)
{
    event->accept();
    if (!dragging_) {
        return;
    }
    const bool over = rect().contains(event->position().toPoint());
    if (over != pressed_) {
        pressed_ = over;
        update();
        emit HeldChanged();
    }
}

void SpeedButton::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    const QPoint position = event->position().toPoint();
    emit MouseUp(event->button(), event->modifiers(), position);
    if (event->button() != Qt::LeftButton || !dragging_) {
        return;
    }
    dragging_ = false;
    pressed_ = false;
    const bool click = rect().contains(position);
    if (click && groupIndex_ != 0) {
        SetDown(!down_);
    }
    update();
    emit HeldChanged();
    if (click) {
        Click();
    }
}

void SpeedButton::ClickWithoutMouse()
{
    const QPoint centre = rect().center();
    emit MouseUp(Qt::LeftButton, Qt::NoModifier, centre);
    if (groupIndex_ != 0) {
        SetDown(!down_);
    }
    Click();
}

void SpeedButton::RightClickWithoutMouse()
{
    emit MouseUp(Qt::RightButton, Qt::NoModifier, rect().center());
}

void SpeedButton::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    QStyleOptionButton option;
    option.initFrom(this);
    option.rect = rect();
    option.state |= Sunk() ? QStyle::State_Sunken : QStyle::State_Raised;
    style()->drawPrimitive(QStyle::PE_PanelButtonCommand, &option, &painter, this);

    if (hasFocus() && keyboardFocus_) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(3, 3, -3, -3);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }

    const QString shown = StripAccelerator(caption_);
    const QFontMetrics metrics(font());
    const int textWidth = metrics.horizontalAdvance(shown);
    const bool hasGlyph = glyph_ != Glyph::None;
    const int gap = hasGlyph && !shown.isEmpty() ? spacing_ : 0;
    const int total = textWidth + (hasGlyph ? kGlyphSize + gap : 0);
    const int shift = Sunk() ? 1 : 0;
    int x = (width() - total) / 2 + shift;
    const int y = shift;

    if (glyph_ == Glyph::LeftTriangle) {
        painter.drawPixmap(x, (height() - kGlyphSize) / 2 + y, CachedGlyph(true, isEnabled()));
        x += kGlyphSize + gap;
    }
    const QRect textRect(x, y, textWidth, height());
    const int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic | Qt::TextSingleLine;
    if (isEnabled()) {
        painter.setPen(captionColour_);
        painter.drawText(textRect, flags, caption_);
    } else {
        painter.setPen(QColor(255, 255, 255));
        painter.drawText(textRect.translated(1, 1), flags, caption_);
        painter.setPen(QColor(128, 128, 128));
        painter.drawText(textRect, flags, caption_);
    }
    if (glyph_ == Glyph::RightTriangle) {
        painter.drawPixmap(x + textWidth + gap, (height() - kGlyphSize) / 2 + y, CachedGlyph(false, isEnabled()));
    }
}

void SpeedButton::keyPressEvent(QKeyEvent* event)
{
    if (IsPressKey(*event)) {
        event->accept();
        if (!event->isAutoRepeat() && isEnabled()) {
            ClickWithoutMouse();
        }
        return;
    }
    QWidget::keyPressEvent(event); // on to the keypad window's key handling
}

void SpeedButton::keyReleaseEvent(QKeyEvent* event)
{
    if (IsPressKey(*event)) {
        event->accept();
        return;
    }
    QWidget::keyReleaseEvent(event);
}

void SpeedButton::focusInEvent(QFocusEvent* event)
{
    keyboardFocus_ = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    QAbstractButton::focusInEvent(event);
}

bool SpeedButton::IsPressKey(const QKeyEvent& event)
{
    const int key = event.key();
    return (event.modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier &&
           (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter);
}
