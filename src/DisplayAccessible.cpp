#include "DisplayAccessible.h"

#include "display/CharText.h"
#include "display/Raster.h"
#include "toolkit/AccessibleControls.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QPointer>
#include <QTextBoundaryFinder>
#include <QWidget>

#include <algorithm>
#include <utility>

namespace a11y {

namespace {

using display::Raster;

// [start, end) of the piece of `text` of kind `type` that holds `offset`. A
// line ends with its line feed; the display has no paragraphs but lines.
std::pair<int, int> Piece(const QString& text, int offset, QAccessible::TextBoundaryType type)
{
    const int size = static_cast<int>(text.size());
    offset = std::clamp(offset, 0, size);
    switch (type) {
    case QAccessible::CharBoundary:
        return {offset, std::min(offset + 1, size)};
    case QAccessible::LineBoundary:
    case QAccessible::ParagraphBoundary: {
        const int start = offset == 0 ? 0 : static_cast<int>(text.lastIndexOf(QLatin1Char('\n'), offset - 1)) + 1;
        const int feed = static_cast<int>(text.indexOf(QLatin1Char('\n'), offset));
        return {start, feed < 0 ? size : feed + 1};
    }
    case QAccessible::WordBoundary:
    case QAccessible::SentenceBoundary: {
        QTextBoundaryFinder finder(
            type == QAccessible::WordBoundary ? QTextBoundaryFinder::Word : QTextBoundaryFinder::Sentence, text);
        finder.setPosition(offset);
        const int start = finder.isAtBoundary() ? offset : std::max(0, static_cast<int>(finder.toPreviousBoundary()));
        finder.setPosition(offset);
        const int end = static_cast<int>(finder.toNextBoundary());
        return {start, end < 0 ? size : end};
    }
    case QAccessible::NoBoundary:
        break;
    }
    return {0, size};
}

// Row and column of the cell that shows `offset` of the display's text.
std::pair<int, int> CellOf(const QString& text, int offset)
{
    offset = std::clamp(offset, 0, static_cast<int>(text.size()));
    const int start = Piece(text, offset, QAccessible::LineBoundary).first;
    const int row = static_cast<int>(text.left(start).count(QLatin1Char('\n')));
    return {row, offset - start};
}

class DisplayAreaInterface final : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    DisplayAreaInterface(QWidget* area, DisplayAccess* access)
        : QAccessibleWidget(area, QAccessible::EditableText), access_(access)
    {
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface) {
            return static_cast<QAccessibleTextInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text t) const override
    {
        if (!access_) {
            return QAccessibleWidget::text(t);
        }
        switch (t) {
        case QAccessible::Name:
            return access_->Name();
        case QAccessible::Value:
            return access_->Text();
        case QAccessible::Description:
            return access_->Description();
        default:
            return QAccessibleWidget::text(t);
        }
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = true;
        s.multiLine = true;
        s.editable = false;
        return s;
    }

    // --- text ---
    QString Whole() const { return access_ ? access_->Text() : QString(); }

    void selection(int, int* startOffset, int* endOffset) const override { *startOffset = *endOffset = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return access_ ? access_->Caret() : 0; }
    void setCursorPosition(int position) override
    {
        if (access_) {
            access_->SetCaret(position);
        }
    }
    QString text(int startOffset, int endOffset) const override
    {
        const QString whole = Whole();
        startOffset = std::clamp(startOffset, 0, static_cast<int>(whole.size()));
        if (endOffset < 0 || endOffset > whole.size()) {
            endOffset = static_cast<int>(whole.size());
        }
        return whole.mid(startOffset, std::max(0, endOffset - startOffset));
    }
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int* startOffset,
                             int* endOffset) const override
    {
        const QString whole = Whole();
        const int at = Piece(whole, offset, type).first;
        if (at == 0) {
            *startOffset = *endOffset = -1;
            return {};
        }
        std::tie(*startOffset, *endOffset) = Piece(whole, at - 1, type);
        return whole.mid(*startOffset, *endOffset - *startOffset);
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType type, int* startOffset,
                            int* endOffset) const override
    {
        const QString whole = Whole();
        const int end = Piece(whole, offset, type).second;
        if (end >= whole.size()) {
            *startOffset = *endOffset = -1;
            return {};
        }
        std::tie(*startOffset, *endOffset) = Piece(whole, end, type);
        return whole.mid(*startOffset, *endOffset - *startOffset);
    }
    QString textAtOffset(int offset, QAccessible::TextBoundaryType type, int* startOffset,
                         int* endOffset) const override
    {
        const QString whole = Whole();
        std::tie(*startOffset, *endOffset) = Piece(whole, offset, type);
        return whole.mid(*startOffset, *endOffset - *startOffset);
    }
    int characterCount() const override { return static_cast<int>(Whole().size()); }

    // The cell of the raster stretched over the area, in screen coordinates.
    QRect characterRect(int offset) const override
    {
        const auto [row, column] = CellOf(Whole(), offset);
        const QSizeF scale(widget()->width() / double(Raster::kWidth), widget()->height() / double(Raster::kHeight));
        const QRectF cell(Raster::kMargin + Raster::kCellWidth * column, Raster::kMargin + Raster::kCellHeight * row,
                          Raster::kCellWidth, Raster::kCellHeight);
        const QRect local(QRectF(cell.x() * scale.width(), cell.y() * scale.height(), cell.width() * scale.width(),
                                 cell.height() * scale.height())
                              .toAlignedRect());
        return QRect(widget()->mapToGlobal(local.topLeft()), local.size());
    }
    int offsetAtPoint(const QPoint& point) const override
    {
        const QPoint local = widget()->mapFromGlobal(point);
        if (!widget()->rect().contains(local)) {
            return -1;
        }
        const int x = local.x() * Raster::kWidth / std::max(1, widget()->width());
        const int y = local.y() * Raster::kHeight / std::max(1, widget()->height());
        const int column = (x - Raster::kMargin) / Raster::kCellWidth;
        const int row = (y - Raster::kMargin) / Raster::kCellHeight;
        if (x < Raster::kMargin || y < Raster::kMargin || column >= Raster::kColumns || row >= Raster::kRows) {
            return -1;
        }
        return row * (Raster::kColumns + 1) + column;
    }
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int* startOffset, int* endOffset) const override
    {
        *startOffset = 0;
        *endOffset = characterCount();
        return {};
    }

private:
    QPointer<DisplayAccess> access_;
};

QAccessibleInterface* DisplayFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("DisplayArea")) {
        if (DisplayAccess* access = DisplayAccess::Of(object)) {
            return new DisplayAreaInterface(static_cast<QWidget*>(object), access);
        }
    }
    if (className == QLatin1String("a11y::SpokenNotice")) {
        return NoticeInterface(object);
    }
    return nullptr;
}

// Moves the caret through the text with the arrow, Home and End keys, so
// that a screen reader reads the line or character it lands on. Every other
// key goes on to the window's own key handling.
class CaretKeys final : public QObject {
public:
    CaretKeys(DisplayAccess* access, QWidget* area) : QObject(access), access_(access)
    {
        area->installEventFilter(this);
    }

    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) {
            return false;
        }
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() & ~Qt::KeypadModifier) {
            return false;
        }
        const QString text = access_->Text();
        const int caret = access_->Caret();
        const auto [lineStart, lineEnd] = Piece(text, caret, QAccessible::LineBoundary);
        const int column = caret - lineStart;
        int target = -1;
        switch (key->key()) {
        case Qt::Key_Left:
            target = caret - 1;
            break;
        case Qt::Key_Right:
            target = caret + 1;
            break;
        case Qt::Key_Home:
            target = lineStart;
            break;
        case Qt::Key_End:
            target = lineEnd > lineStart && text[lineEnd - 1] == QLatin1Char('\n') ? lineEnd - 1 : lineEnd;
            break;
        case Qt::Key_Up:
            target = lineStart == 0 ? caret : OffsetInLine(text, lineStart - 1, column);
            break;
        case Qt::Key_Down:
            target = lineEnd >= text.size() ? caret : OffsetInLine(text, lineEnd, column);
            break;
        default:
            return false;
        }
        if (event->type() == QEvent::KeyPress) {
            access_->SetCaret(target);
        }
        return true;
    }

private:
    // The offset of `column` in the line holding `offset`, or its end.
    static int OffsetInLine(const QString& text, int offset, int column)
    {
        const auto [start, end] = Piece(text, offset, QAccessible::LineBoundary);
        const int last = end > start && end <= text.size() && text[end - 1] == QLatin1Char('\n') ? end - 1 : end;
        return std::min(start + column, last);
    }

    DisplayAccess* access_;
};

} // namespace

DisplayAccess::DisplayAccess(const display::Raster& raster, QWidget* area, std::function<QString()> linkState)
    : QObject(area), raster_(raster), area_(area), linkState_(std::move(linkState)), announcer_(area)
{
    setObjectName(kObjectName);
    toldText_ = Text();
    toldName_ = Name();
    toldDescription_ = Description();
    changes_.Next(display::RasterLines(raster_), lamps_);
    notifier_ = new ChangeNotifier(this, kNoticeIntervalMs, [this] { SendNotices(); });
    // The text object takes the keyboard focus, so that a screen reader
    // announces it with the window and follows its caret.
    area->setFocusPolicy(Qt::StrongFocus);
    new CaretKeys(this, area);
}

DisplayAccess* DisplayAccess::Of(QObject* area)
{
    if (!area) {
        return nullptr;
    }
    return dynamic_cast<DisplayAccess*>(area->findChild<QObject*>(kObjectName, Qt::FindDirectChildrenOnly));
}

QString DisplayAccess::Text() const
{
    return display::RasterGrid(raster_);
}

QString DisplayAccess::Name() const
{
    const QString state = linkState_ ? linkState_() : QString();
    return state.isEmpty() ? QStringLiteral("Amplifier display")
                           : QStringLiteral("Amplifier display, ") + state.toLower();
}

QString DisplayAccess::Description() const
{
    return LampSummary(lamps_);
}

void DisplayAccess::Changed()
{
    notifier_->Changed();
}

void DisplayAccess::SetLamps(std::uint8_t lampStates)
{
    if (lampStates != lamps_) {
        lamps_ = lampStates;
        notifier_->Changed();
    }
}

void DisplayAccess::SetSpeaking(bool speaking)
{
    if (speaking && !speaking_) {
        changes_.Forget(); // what changed while silent is not told all at once
    }
    speaking_ = speaking;
}

void DisplayAccess::SetCaret(int offset)
{
    caret_ = std::clamp(offset, 0, static_cast<int>(Text().size()));
    if (QAccessible::isActive()) {
        QAccessibleTextCursorEvent moved(area_, caret_);
        QAccessible::updateAccessibility(&moved);
    }
}

void DisplayAccess::SendNotices()
{
    const QString text = Text();
    if (text != toldText_) {
        // The text model hears of the changed span; what is spoken is decided
        // below, by whole lines.
        const qsizetype common = std::min(text.size(), toldText_.size());
        qsizetype prefix = 0;
        while (prefix < common && text[prefix] == toldText_[prefix]) {
            ++prefix;
        }
        qsizetype suffix = 0;
        while (suffix < common - prefix && text[text.size() - 1 - suffix] == toldText_[toldText_.size() - 1 - suffix]) {
            ++suffix;
        }
        const QString inserted = text.mid(prefix, text.size() - prefix - suffix);
        QAccessibleTextUpdateEvent update(area_, static_cast<int>(prefix),
                                          toldText_.mid(prefix, toldText_.size() - prefix - suffix), inserted);
        QAccessible::updateAccessibility(&update);
        toldText_ = text;
        emit TextTold(inserted);
    }
    const QString name = Name();
    if (name != toldName_) {
        QAccessibleEvent renamed(area_, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&renamed);
        toldName_ = name;
    }
    const QString description = Description();
    if (description != toldDescription_) {
        QAccessibleEvent described(area_, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&described);
        toldDescription_ = description;
    }
    const std::vector<Announcement> round = changes_.Next(display::RasterLines(raster_), lamps_);
    if (speaking_) {
        announcer_.Say(round);
    }
}

void InstallDisplayInterface()
{
    static bool installed = false;
    if (!installed) {
        QAccessible::installFactory(DisplayFactory);
        installed = true;
    }
}

} // namespace a11y
