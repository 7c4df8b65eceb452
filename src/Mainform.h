#pragma once
// The display window: the program's hub. It owns the USB handle and link
// state, the display raster and its colours, the presets, the action list,
// the poll thread reference with the receive buffer, lamp byte and poll flags,
// and the package file during an update.
//
// Its member functions are spread over several files by concern:
//   Mainform.cpp          creation, paint, looks, presets, freeze, still image, close
//   MainformActions.cpp   the action list and the menus
//   MainformPoll.cpp      start/stop polling, the poll transaction, frame and fault handlers
//   MainformLink.cpp      connect, disconnect, link loss, power-on, device ID dialog
//   MainformKeys.cpp      key actions with their codes and latches, keyboard stages, keypad on/off
//   MainformUpdate.cpp    the firmware update action and job

#include "PollCycle.h"
#include "app/SettingsStore.h"
#include "display/Raster.h"
#include "link/FtdiDriver.h"
#include "link/PowerOnPulse.h"

#include <QFileDialog>
#include <QMainWindow>
#include <QString>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class QAction;
class QActionGroup;
class QFrame;
class QLabel;
class QMenu;
class QStatusBar;
class QWidget;
class LampPanel;
class TExecThread;
class TFW_UpdateThread;
class TKeyForm;
class TJKeypad;
class TWaitForm;
class TdlgPreferences;
class THelpDlg;
namespace update {
class PackageFile;
}
namespace a11y {
class DisplayAccess;
}

class TForm1 : public QMainWindow {
    Q_OBJECT

public:
    // The driver is the backend every link operation goes through; it must
    // outlive the window. `simulated` adds the simulated-amplifier note to the caption.
    explicit TForm1(FtdiDriver* driver, bool simulated = false, QWidget* parent = nullptr);
    ~TForm1() override;

    // The other windows, created after this one (the keypads read the stored
    // keypad position and the visibility actions while they are created).
    void SetWindows(TKeyForm* keyForm, TJKeypad* jKeypad, TWaitForm* waitForm, THelpDlg* helpDlg,
                    TdlgPreferences* dlgPreferences);

    // --- link state ---
    FtdiDriver* driver = nullptr;
    // Written by the connect job on its worker thread, read by every thread.
    std::atomic<FT_HANDLE> USBHandle{nullptr};
    QString IDString;
    bool IDAddressing = false;
    // The remote station of the connection dialog (stored settings), and
    // who puts its backend in place when a new choice is made there.
    app::StoredRemote Remote;
    // Puts the backend for a new choice in place; true when it is the
    // simulated amplifier, which the caption then says.
    std::function<bool(const app::StoredRemote&)> ChooseBackend;
    // The caption, with the simulated-amplifier note when `simulated`.
    void SetSimulated(bool simulated);
    std::atomic<bool> OnLine{false};

    // --- display ---
    static constexpr display::TColor kOfflineBackground = 0xB4CDBB;
    static constexpr display::TColor kOnlineBackground = 0xFFFF9D;
    static constexpr display::TColor kForeground = 0x000000;
    display::Raster raster;
    static constexpr const std::array<int, 10>& kDefaultPresets = app::kDefaultPresets;
    std::array<int, 10> Presets = kDefaultPresets; // height, width of presets 1..5
    int SelectedPreset = 3;
    int KeypadTop = 280;
    int KeypadLeft = 0;

    // --- poll engine ---
    TExecThread* PollThread = nullptr;
    PollCycle Poll; // the transaction and its buffers, shared with the headless station
    std::array<std::uint8_t, protocol::kReceiveBufferSize>& RxBuffer = Poll.RxBuffer;
    std::uint8_t& LampByte = Poll.LampByte;
    std::atomic<std::uint8_t>& FrameReady = Poll.FrameReady;
    std::atomic<std::uint8_t>& DeviceSilent = Poll.DeviceSilent;
    std::atomic<std::uint8_t>& LinkError = Poll.LinkError;
    // Who shares this link on a broker, if anyone: told every poll result.
    PollListener* Sharing = nullptr;

    // --- actions (in list order) ---
    QAction* actOpen = nullptr;
    QAction* actClose = nullptr;
    QAction* actFreeze = nullptr;
    QAction* actSave = nullptr;
    QAction* actKeypad = nullptr;
    QAction* actExit = nullptr;
    QAction* actInput = nullptr;
    QAction* actSet = nullptr;
    QAction* actLeftArrow = nullptr;
    QAction* actRightArrow = nullptr;
    QAction* actAnt = nullptr;
    QAction* actLMinus = nullptr;
    QAction* actLPlus = nullptr;
    QAction* actBandMinus = nullptr;
    QAction* actBandPlus = nullptr;
    QAction* actCMinus = nullptr;
    QAction* actCPlus = nullptr;
    QAction* actTune = nullptr;
    QAction* actDisplay = nullptr;
    QAction* actPower = nullptr;
    QAction* actOperate = nullptr;
    QAction* actCAT = nullptr;
    QAction* actJKeypad = nullptr;
    QAction* actRecallKeypad = nullptr;
    QAction* actOff = nullptr;
    QAction* actOn = nullptr;
    QAction* actLoadUpdate = nullptr;
    std::array<QAction*, 5> actPreset{};
    QAction* actHome = nullptr;
    std::array<QAction*, 5> actDefPreset{};
    QAction* actConfigureConnection = nullptr;
    QAction* actPark = nullptr;
    QAction* actAbout = nullptr;        // the Help menu's "&About..." item (not in the action list)
    QAction* actCopyText = nullptr;     // the View menu's "Copy display text" (not in the action list)
    QAction* actSpeakChanges = nullptr; // the View menu's "Speak display changes" (not in the action list)
    std::vector<QAction*> ActionList1;  // every action of the list, in list order
    std::array<QAction*, 18> KeyActions() const;

    // --- windows ---
    TKeyForm* KeyForm = nullptr;
    TJKeypad* JKeypad = nullptr;
    TWaitForm* WaitForm = nullptr;
    THelpDlg* HelpDlg = nullptr;
    TdlgPreferences* dlgPreferences = nullptr;
    std::vector<LampPanel*> LampPanels; // both keypads
    QWidget* KeypadWindow() const;      // the full keypad as a window
    QWidget* JKeypadWindow() const;     // the basic keypad as a window

    // --- operations used across the program ---
    void Repaint();
    void SetOfflineLook();
    void SetOnlineLook();
    void SelectPreset(int n);
    void DisableKeyActions();
    void EnableKeyActions();
    void SetAllLamps(std::uint8_t lampStates);
    void SendCommand(std::uint8_t code);
    // Size of the drawing area (W and H as the status bar shows them).
    int DrawingWidth() const;
    int DrawingHeight() const;
    QString StatusPanelText(int panel) const;
    // Outer (frame) geometry, the way presets and stored settings count it.
    void SetOuterSize(int height, int width);
    int OuterHeight() const;
    int OuterWidth() const;

    // Poll engine
    // Starts the poll thread, but only while on-line, with no poll thread
    // running or being stopped, no firmware transfer and the window not
    // closing; a poll thread that the link-loss handling told to stop is let
    // finish first. So at most one poll thread is ever alive or ending.
    void StartPolling();
    void StopPolling();
    void PollTransaction(TExecThread* thread); // poll thread
    void FrameHandler();                       // main thread, inside the hand-over
    void FaultHandler();                       // main thread, inside the hand-over
    // The backend's shared note: control in the caption, the last refusal in
    // the last status panel; cleared while off-line.
    void ShowSharedNote();

    // Connection lifecycle
    // Starts a worker thread for a job and counts it while it runs, so that
    // closing the window can wait for the jobs that still use it.
    void StartJob(std::function<void(TFW_UpdateThread*)> progress, std::function<void(TFW_UpdateThread*)> job);
    std::atomic<int> ActiveJobs{0};
    // Polling and every job taken down, and the link closed: before any
    // window that they touch goes away, on every way the program ends. A
    // connect in progress is aborted, a power-on pulse cut short, an update
    // waited for.
    void TakeDown();
    void actOpenExecute();
    void ConnectJob(TFW_UpdateThread* thread);      // worker thread
    void ConnectProgress(TFW_UpdateThread* thread); // main thread
    void actCloseExecute();
    void LinkLoss();
    void actOnExecute();
    // Worker thread. `generation` is LinkGeneration() when the pulse was
    // asked for: once that link has been closed, the pulse is cut short
    // without touching the handle again. Restarts polling at its end when asked to.
    void PowerOnSequence(std::uint64_t generation, bool restartPolling);
    std::uint64_t LinkGeneration();
    // True from ON until its pulse has ended: further ON requests do nothing.
    std::atomic<bool> PowerOnRunning{false};
    void actConfigureConnectionExecute();

    // View
    void actFreezeExecute();
    void actSaveExecute();
    void actCopyTextExecute();
    void RecallPreset(int n);
    void ResetPresetToDefault(int n);
    void actHomeExecute();
    void actParkExecute();
    void actAboutExecute();

    // Front-panel keys (MainformKeys.cpp)
    void actInputExecute();
    void actAntExecute();
    void actBandMinusExecute();
    void actBandPlusExecute();
    void actLMinusExecute();
    void actLPlusExecute();
    void actCMinusExecute();
    void actCPlusExecute();
    void actTuneExecute();
    void actPowerExecute();
    void actDisplayExecute();
    void actOperateExecute();
    void actCATExecute();
    void actLeftArrowExecute();
    void actRightArrowExecute();
    void actSetExecute();
    void actOffExecute();
    void actKeypadExecute();
    void actJKeypadExecute();
    // Keyboard stages of this window: virtual-key code and Qt modifiers.
    void FormKeyDown(int vk, Qt::KeyboardModifiers modifiers);
    void FormKeyPress(QChar ch);
    void FormKeyUp(int vk, Qt::KeyboardModifiers modifiers);
    // True while a firmware transfer runs (releasing F then asks nothing).
    std::atomic<bool> UpdateRunning{false};
    // The display window may not close now; says why when it may not.
    bool MayClose();

    // Firmware update (MainformUpdate.cpp)
    void actLoadUpdateExecute();
    void UpdateJob(TFW_UpdateThread* thread);      // worker thread
    void UpdateProgress(TFW_UpdateThread* thread); // main thread
    QString PackageFileName;
    std::unique_ptr<update::PackageFile> PackageFile;
    // The file the update job transfers; set by the open dialog (tests may preset it).
    std::function<QString()> ChoosePackageFile;
    // The still-image file name; the save dialog unless a test sets it.
    std::function<QString()> ChooseStillImageFile;
    // Closing this window ends the program (set by the entry).
    bool QuitOnClose = false;

    // Settings store (MainformSettings.cpp): read while the window is created,
    // written when it closes.
    void LoadStoredSettings();
    void SaveStoredSettings();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateStatusBar();
    void ConnectHandlers();
    void ConnectKeyHandlers(); // MainformKeys.cpp
    void ConnectFailed(TFW_UpdateThread* thread, bool halted, bool opened, const std::string& message);
    // Closing the link: a power-on pulse in progress is cut short first.
    void CutPulseShort();
    void CloseLink();
    void SetUpdateMenuActions(bool enabled);
    QRect DrawingRect() const;
    void PaintStatus();

    bool simulated_ = false;
    QString caption_; // the caption without the shared note
    FtdiDriver::SharedNote shownNote_;
    bool awayLook_ = false; // the off-line look of a shared station out of reach
    display::TColor currentBackground_ = kOfflineBackground;
    display::TColor currentForeground_ = kForeground;
    QStatusBar* statusBar_ = nullptr;
    std::array<QLabel*, 6> statusPanels_{};
    QFrame* topBorder_ = nullptr;
    QFrame* leftBorder_ = nullptr;
    QFrame* rightBorder_ = nullptr;
    QWidget* drawingArea_ = nullptr;
    a11y::DisplayAccess* displayAccess_ = nullptr; // the drawing area as text, for screen readers
    QMenu* popupMenu_ = nullptr;
    QActionGroup* presetGroup_ = nullptr;
    std::atomic<bool> closing_{false}; // the window is closing: jobs end quietly
    QString chosenPackage_;            // the package the update job transfers
    bool choosingPackage_ = false;     // the package file dialog is open
    int pollStops_ = 0;                // StopPolling calls waiting for a poll thread to end
    bool fKeyDownReached_ = false;     // the last F key-down reached this window's key handling
    // The power-on pulse, ordered against closing the link.
    PowerOnPulse pulse_;
    std::uint64_t updateGeneration_ = 0; // the link the update job runs on
};

// A modal file dialog (open or save; save asks before overwriting). Empty when cancelled.
QString RunFileDialog(QWidget* owner, const QString& title, const QString& filter, QFileDialog::AcceptMode mode,
                      const QString& defaultSuffix = {});

// The single global instances, set by whoever creates them (the entry, or a test fixture).
extern TForm1* Form1;
