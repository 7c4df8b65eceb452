// The display window: creation, paint, looks, presets, freeze, still image, close.

#include "Mainform.h"

#include "DisplayAccessible.h"
#include "DisplayArea.h"
#include "Execunit.h"
#include "Keyboard.h"
#include "LampPanel.h"
#include "Opkeypad.h"
#include "display/CharText.h"
#include "display/StillImage.h"
#include "Wait.h"
#include "toolkit/AccessibleControls.h"
#include "toolkit/MainThreadCall.h"
#include "toolkit/MessageBoxes.h"
#include "update/PackageFile.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFont>
#include <QFrame>
#include <QGuiApplication>
#include <QGridLayout>
#include <QLabel>
#include <QStatusBar>

#include <optional>

TForm1* Form1 = nullptr;

namespace {
constexpr int kStatusBarHeight = 19;
constexpr int kBorder = 2;
constexpr int kPanelWidths[6] = {70, 30, 60, 60, 150, 150};
// What each status panel shows, for a screen reader that reads the panel.
constexpr const char* kPanelDescriptions[6] = {"Link state",          "Display preset",     "Drawing area width",
                                               "Drawing area height", "USB identification", ""};

// Holds an outer size asked for while the window's frame is not known yet
// (before the window is shown, and on some desktops until the window manager
// has framed it) and applies it once the frame is known. Without it the
// window would open larger than its preset by the frame, and the preset,
// which follows the window's size, would grow by the frame at every start.
// The window's minimum size is an outer size too: until the frame is known
// it stands for the inner size, and then the frame is taken off it.
class OuterSizeKeeper final : public QObject {
public:
    static constexpr const char* kName = "OuterSizeKeeper";

    explicit OuterSizeKeeper(QWidget* window) : QObject(window), window_(window)
    {
        setObjectName(kName);
        window->installEventFilter(this);
    }

    static OuterSizeKeeper& Of(QWidget* window)
    {
        if (auto* keeper =
                dynamic_cast<OuterSizeKeeper*>(window->findChild<QObject*>(kName, Qt::FindDirectChildrenOnly)))
            return *keeper;
        return *new OuterSizeKeeper(window);
    }

    void Want(QSize outer) { wanted_ = outer; }
    void Drop() { wanted_.reset(); }
    void WantMinimum(QSize outer)
    {
        minimum_ = outer;
        window_->setMinimumSize(outer - Frame());
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == window_ && (wanted_ || minimum_) &&
            (event->type() == QEvent::Show || event->type() == QEvent::Move || event->type() == QEvent::Resize))
            TryApply();
        return false;
    }

private:
    // What the frame adds to the inner size; nothing while it is not known.
    QSize Frame() const
    {
        if (!window_->isVisible())
            return {0, 0};
        return window_->frameGeometry().size() - window_->geometry().size();
    }

    void TryApply()
    {
        const QSize frame = Frame();
        if (frame.isNull())
            return;
        // The minimum first: a wanted size below the old inner minimum must fit.
        if (minimum_ && window_->minimumSize() != *minimum_ - frame)
            window_->setMinimumSize(*minimum_ - frame);
        if (!wanted_)
            return;
        const QSize outer = *wanted_;
        wanted_.reset();
        window_->resize(outer - frame);
    }

    QWidget* window_;
    std::optional<QSize> wanted_;
    std::optional<QSize> minimum_;
};
} // namespace

TForm1::TForm1(FtdiDriver* linkDriver, bool simulated, QWidget* parent)
    : QMainWindow(parent), driver(linkDriver), simulated_(simulated)
{
    setObjectName("Form1");
    SetSimulated(simulated_);
    resize(507, 214);
    OuterSizeKeeper::Of(this).WantMinimum(QSize(263, 146));

    CreateActions();
    CreateMenus();
    CreateStatusBar();

    // Three thin lowered borders (top, left, right) around the drawing area.
    auto* central = new QWidget(this);
    auto* grid = new QGridLayout(central);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(0);
    auto border = [central](int w, int h) {
        auto* frame = new QFrame(central);
        frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        if (w)
            frame->setFixedWidth(w);
        if (h)
            frame->setFixedHeight(h);
        return frame;
    };
    topBorder_ = border(0, kBorder);
    leftBorder_ = border(kBorder, 0);
    rightBorder_ = border(kBorder, 0);
    drawingArea_ = new DisplayArea([this] { return raster.ToImage(); }, [this] { PaintStatus(); }, central);
    drawingArea_->setObjectName("DrawingArea");
    a11y::InstallDisplayInterface();
    a11y::InstallControlInterfaces();
    displayAccess_ = new a11y::DisplayAccess(raster, drawingArea_, [this] { return StatusPanelText(0); });
    grid->addWidget(topBorder_, 0, 0, 1, 3);
    grid->addWidget(leftBorder_, 1, 0);
    grid->addWidget(drawingArea_, 1, 1);
    grid->addWidget(rightBorder_, 1, 2);
    setCentralWidget(central);

    ConnectHandlers();

    // Creation: the stored settings, then the selected preset's size.
    LoadStoredSettings();
    SetOuterSize(Presets[2 * (SelectedPreset - 1)], Presets[2 * (SelectedPreset - 1) + 1]);
    SelectPreset(SelectedPreset);
    OnLine = false;
    SetOfflineLook();
    DisableKeyActions();
    FrameReady = 0;
    DeviceSilent = 0;
    LinkError = 0;
}

void TForm1::SetSimulated(bool simulated)
{
    simulated_ = simulated;
    caption_ = simulated_ ? "Vorlinq - Rel. 120512_A - simulated amplifier" : "Vorlinq - Rel. 120512_A";
    shownNote_ = {};
    setWindowTitle(caption_);
}

TForm1::~TForm1()
{
    // Whatever was not taken down before the other windows went: they may
    // be gone by now, so nothing may reach them any more.
    LampPanels.clear();
    KeyForm = nullptr;
    JKeypad = nullptr;
    WaitForm = nullptr;
    TakeDown();
    if (Form1 == this)
        Form1 = nullptr;
}

void TForm1::SetWindows(TKeyForm* keyForm, TJKeypad* jKeypad, TWaitForm* waitForm, THelpDlg* helpDlg,
                        TdlgPreferences* preferences)
{
    KeyForm = keyForm;
    JKeypad = jKeypad;
    WaitForm = waitForm;
    HelpDlg = helpDlg;
    dlgPreferences = preferences;
    LampPanels.clear();
    if (KeyForm)
        LampPanels.push_back(KeyForm);
    if (JKeypad)
        LampPanels.push_back(JKeypad);
}

QWidget* TForm1::KeypadWindow() const
{
    return KeyForm;
}

QWidget* TForm1::JKeypadWindow() const
{
    return JKeypad;
}

void TForm1::CreateStatusBar()
{
    statusBar_ = statusBar();
    statusBar_->setFixedHeight(kStatusBarHeight);
    statusBar_->setSizeGripEnabled(false);
    for (int i = 0; i < 6; ++i) {
        auto* panel = new QLabel(statusBar_);
        panel->setObjectName(QString("StatusPanel%1").arg(i));
        panel->setAccessibleDescription(kPanelDescriptions[i]);
        panel->setFixedWidth(kPanelWidths[i]);
        panel->setFixedHeight(kStatusBarHeight - 3);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        // The bar is only 19 pixels high: a small font keeps descenders such as
        // the underscore of "USB_ID" inside the panel.
        QFont font = panel->font();
        font.setPixelSize(11);
        panel->setFont(font);
        panel->setAlignment(i < 5 ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter);
        statusBar_->addWidget(panel);
        statusPanels_[i] = panel;
    }
}

// --- looks -------------------------------------------------------------------

void TForm1::SetOfflineLook()
{
    currentBackground_ = kOfflineBackground;
    currentForeground_ = kForeground;
    raster.SetColours(currentBackground_, currentForeground_);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(kOfflineBackground & 0xFF, (kOfflineBackground >> 8) & 0xFF,
                                          (kOfflineBackground >> 16) & 0xFF));
    setPalette(pal);
    raster.Clear();
}

void TForm1::SetOnlineLook()
{
    currentBackground_ = kOnlineBackground;
    currentForeground_ = kForeground;
    raster.SetColours(currentBackground_, currentForeground_);
    QPalette pal = palette();
    pal.setColor(QPalette::Window,
                 QColor(kOnlineBackground & 0xFF, (kOnlineBackground >> 8) & 0xFF, (kOnlineBackground >> 16) & 0xFF));
    setPalette(pal);
    raster.Clear();
}

// --- paint -------------------------------------------------------------------

int TForm1::DrawingWidth() const
{
    return drawingArea_->width() + 1;
}

int TForm1::DrawingHeight() const
{
    return drawingArea_->height() + 1;
}

QString TForm1::StatusPanelText(int panel) const
{
    return statusPanels_.at(panel)->text();
}

void TForm1::PaintStatus()
{
    const int w = DrawingWidth();
    const int h = DrawingHeight();
    statusPanels_[1]->setText(QString::asprintf("F%1d", SelectedPreset));
    statusPanels_[2]->setText(QString::asprintf("W: %4d", w));
    statusPanels_[3]->setText(QString::asprintf("H: %4d", h));
    statusPanels_[4]->setText(IDAddressing ? QString("USB_ID: [%1]").arg(IDString) : QString("USB_ID: Not enabled"));
    setToolTip(QString::asprintf("W: %4d; H: %4d", w, h));
    if (OnLine && awayLook_) {
        statusPanels_[0]->setText("OFF-LINE");
    } else if (OnLine) {
        if (actFreeze->isChecked()) {
            statusPanels_[0]->setText("STILL IMAGE");
            actSave->setEnabled(true);
        } else {
            statusPanels_[0]->setText("ON-LINE");
            actSave->setEnabled(false);
        }
    } else {
        statusPanels_[0]->setText("OFF-LINE");
    }
    // The selected preset follows the user's resizing.
    if (SelectedPreset >= 1 && SelectedPreset <= 5 && isVisible()) {
        Presets[2 * (SelectedPreset - 1)] = OuterHeight();
        Presets[2 * (SelectedPreset - 1) + 1] = OuterWidth();
    }
}

void TForm1::ShowSharedNote()
{
    const FtdiDriver::SharedNote note = OnLine && driver ? driver->ShareNote() : FtdiDriver::SharedNote{};
    if (note == shownNote_)
        return;
    shownNote_ = note;
    setWindowTitle(note.control.empty() ? caption_ : caption_ + " - " + QString::fromStdString(note.control));
    statusPanels_[5]->setText(QString::fromStdString(note.notice));
    statusPanels_[5]->setToolTip(QString::fromStdString(note.notice));
    // A shared station out of reach (no broker, or not heard) shows the
    // off-line look until it is back; the link stays open meanwhile.
    if (note.away.empty() == !awayLook_)
        return;
    awayLook_ = !note.away.empty();
    if (awayLook_) {
        SetOfflineLook();
        SetAllLamps(0);
    } else {
        SetOnlineLook();
    }
    Repaint();
}

void TForm1::Repaint()
{
    PaintStatus();
    drawingArea_->update();
    displayAccess_->Changed();
}

void TForm1::paintEvent(QPaintEvent* event)
{
    QMainWindow::paintEvent(event);
}

void TForm1::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    drawingArea_->update();
}

// --- presets -----------------------------------------------------------------

int TForm1::OuterHeight() const
{
    return frameGeometry().height();
}

int TForm1::OuterWidth() const
{
    return frameGeometry().width();
}

void TForm1::SetOuterSize(int height, int width)
{
    const int extraW = frameGeometry().width() - geometry().width();
    const int extraH = frameGeometry().height() - geometry().height();
    resize(width - extraW, height - extraH);
    // No frame yet: the size is right only once the frame is known.
    OuterSizeKeeper& keeper = OuterSizeKeeper::Of(this);
    if (!isVisible() || (extraW == 0 && extraH == 0))
        keeper.Want(QSize(width, height));
    else
        keeper.Drop();
}

void TForm1::SelectPreset(int n)
{
    if (n < 1 || n > 5)
        return;
    for (int i = 0; i < 5; ++i)
        actPreset[i]->setChecked(i == n - 1);
    SelectedPreset = n;
}

void TForm1::RecallPreset(int n)
{
    if (n < 1 || n > 5)
        return;
    // Selected first: a paint delivered inside the resize stores the new size
    // into preset n, not into the preset being left.
    SelectPreset(n);
    SetOuterSize(Presets[2 * (n - 1)], Presets[2 * (n - 1) + 1]);
}

void TForm1::ResetPresetToDefault(int n)
{
    if (n < 1 || n > 5)
        return;
    SetOuterSize(kDefaultPresets[2 * (n - 1)], kDefaultPresets[2 * (n - 1) + 1]);
}

// --- key group and lamps -------------------------------------------------------

void TForm1::DisableKeyActions()
{
    for (QAction* action : KeyActions())
        action->setEnabled(false);
}

void TForm1::EnableKeyActions()
{
    for (QAction* action : KeyActions())
        action->setEnabled(true);
}

void TForm1::SetAllLamps(std::uint8_t lampStates)
{
    for (LampPanel* panel : LampPanels)
        panel->SetLamps(lampStates);
    displayAccess_->SetLamps(lampStates);
}

// --- freeze and still image ----------------------------------------------------

void TForm1::actFreezeExecute()
{
    // The action toggles its own check; the poll thread follows it. Without a
    // poll thread (power-on, firmware update) there is nothing to pause, and
    // the check is taken back: a still image shown over a display that the
    // next poll thread keeps changing would be a lie.
    if (!PollThread) {
        actFreeze->setChecked(false);
        return;
    }
    // While the link is shared, only the picture here stands still: the
    // viewers keep getting frames, and the keys they send go to a link that
    // is still watched.
    if (actFreeze->isChecked() && !Sharing)
        PollThread->Suspend();
    else
        PollThread->Resume();
    Repaint();
}

void TForm1::actSaveExecute()
{
    QString fileName;
    if (ChooseStillImageFile) {
        fileName = ChooseStillImageFile();
    } else {
        fileName =
            RunFileDialog(this, "Save STILL IMAGE as", "Bitmap file (.bmp) (*.bmp)", QFileDialog::AcceptSave, "bmp");
    }
    if (fileName.isEmpty())
        return;
    const display::StillImageResult result = display::SaveStillImage(raster, fileName);
    if (!result.ok)
        Boxes().Error(this, result.error);
}

void TForm1::actCopyTextExecute()
{
    // The raster's text: the still image's while frozen.
    QGuiApplication::clipboard()->setText(display::RasterText(raster));
}

QString RunFileDialog(QWidget* owner, const QString& title, const QString& filter, QFileDialog::AcceptMode mode,
                      const QString& defaultSuffix)
{
    QFileDialog dialog(owner, title);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setNameFilter(filter);
    // The filter shows only its name ("Package file (.pk1)"); the pattern stays hidden.
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.setSizeGripEnabled(true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

// --- close -------------------------------------------------------------------

bool TForm1::MayClose()
{
    // The window stays, and keeps showing the progress, while firmware is
    // being written: a program that ends half-way leaves the amplifier
    // without a working firmware.
    if (!UpdateRunning)
        return true;
    Boxes().Information(this, "The amplifier's firmware is being written.\n"
                              "Vorlinq can be closed once the update has ended.");
    return false;
}

void TForm1::TakeDown()
{
    closing_ = true;
    if (WaitForm)
        WaitForm->hide(); // a connect in progress stops after its attempt
    CutPulseShort();
    mainthread::ServeUntil([this] { return ActiveJobs.load() == 0; });
    StopPolling();
    if (OnLine) {
        CloseLink();
        OnLine = false;
    }
}

void TForm1::closeEvent(QCloseEvent* event)
{
    if (!MayClose()) {
        event->ignore();
        return;
    }
    // A job still running uses this window: it is ended and waited for
    // (serving its hand-overs) before the window goes. Then polling stops
    // and the link closes.
    TakeDown();
    SaveStoredSettings();
    event->accept();
    if (QuitOnClose)
        QCoreApplication::quit();
}
