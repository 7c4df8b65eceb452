#include "support/WindowFixture.h"

#include "display/FontTable.h"
#include "toolkit/TThread.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <cstring>

namespace windowtest {

namespace {
const Bytes kQuery = {0x55, 0x55, 0x55, 0x01, 0x80, 0x80};
} // namespace

Bytes DisplayFrame(std::uint8_t lamp, const Bytes& payload)
{
    const auto length = static_cast<std::uint16_t>(payload.size() + 2);
    const auto complement = static_cast<std::uint16_t>(length ^ 0xFFFF);
    Bytes frame = {0xAA,
                   0xAA,
                   0xAA,
                   static_cast<std::uint8_t>(length & 0xFF),
                   static_cast<std::uint8_t>(length >> 8),
                   static_cast<std::uint8_t>(complement & 0xFF),
                   static_cast<std::uint8_t>(complement >> 8),
                   0x01,
                   lamp};
    auto sum = static_cast<std::uint16_t>(0x01 + lamp);
    for (std::uint8_t b : payload) {
        frame.push_back(b);
        sum = static_cast<std::uint16_t>(sum + b);
    }
    frame.push_back(static_cast<std::uint8_t>(sum & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(sum >> 8));
    return frame;
}

// --- FrontDriver -----------------------------------------------------------------

int FrontDriver::Queries() const
{
    std::lock_guard lock(mutex_);
    return queries_;
}

void FrontDriver::AnswerNextQueryWith(Bytes bytes)
{
    std::lock_guard lock(mutex_);
    armed_ = true;
    armedAnswer_ = std::move(bytes);
}

bool FrontDriver::ScriptedAnswerPending() const
{
    std::lock_guard lock(mutex_);
    return armed_ || !answer_.empty();
}

void FrontDriver::ThrowFrom(const std::string& op, std::function<void()> thrower)
{
    std::lock_guard lock(mutex_);
    throwOp_ = op;
    thrower_ = std::move(thrower);
}

void FrontDriver::OnCall(const char* op)
{
    std::function<void()> thrower;
    {
        std::lock_guard lock(mutex_);
        if (throwOp_ != op)
            return;
        throwOp_.clear();
        thrower = std::move(thrower_);
    }
    thrower();
}

FT_STATUS FrontDriver::FT_Read(FT_HANDLE handle, void* buffer, DWORD bytesToRead, DWORD* bytesReturned)
{
    OnCall("FT_Read");
    {
        std::lock_guard lock(mutex_);
        if (!answer_.empty()) {
            const std::size_t n = std::min<std::size_t>(bytesToRead, answer_.size());
            std::memcpy(buffer, answer_.data(), n);
            answer_.erase(answer_.begin(), answer_.begin() + static_cast<std::ptrdiff_t>(n));
            *bytesReturned = static_cast<DWORD>(n);
            return FT_OK;
        }
    }
    return sim_.FT_Read(handle, buffer, bytesToRead, bytesReturned);
}

FT_STATUS FrontDriver::FT_Write(FT_HANDLE handle, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten)
{
    OnCall("FT_Write");
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    if (bytesToWrite == kQuery.size() && std::equal(kQuery.begin(), kQuery.end(), bytes)) {
        std::lock_guard lock(mutex_);
        ++queries_;
        if (armed_) {
            armed_ = false;
            answer_ = std::move(armedAnswer_);
            armedAnswer_.clear();
            *bytesWritten = bytesToWrite;
            return FT_OK;
        }
    }
    return sim_.FT_Write(handle, buffer, bytesToWrite, bytesWritten);
}

// --- LampProbe -------------------------------------------------------------------

void LampProbe::SetLamps(std::uint8_t lampStates)
{
    if (form_.FrameReady) {
        ++framesDrawn;
        lastFrameLamps = lampStates;
    } else {
        ++darkened;
    }
}

// --- WindowFixture ---------------------------------------------------------------

WindowFixture::WindowFixture(sim::SimOptions options)
{
    // The user's own settings are never read or written.
    hadSettingsVariable_ = qEnvironmentVariableIsSet("VORLINQ_SETTINGS");
    savedSettingsVariable_ = qgetenv("VORLINQ_SETTINGS");
    settingsPath_ = dir_.filePath("Vorlinq.ini");
    qputenv("VORLINQ_SETTINGS", settingsPath_.toLocal8Bit());

    SetAppClock(&clock);
    options.clock = &clock;
    sim = std::make_unique<sim::SimDriver>(options);
    front = std::make_unique<FrontDriver>(*sim);
}

WindowFixture::~WindowFixture()
{
    CloseWindows();
    WaitThreadsEnded();
    // The ended threads release themselves through the event loop.
    ProcessFor(5);
    front.reset();
    sim.reset();
    SetAppClock(nullptr);
    if (hadSettingsVariable_)
        qputenv("VORLINQ_SETTINGS", savedSettingsVariable_);
    else
        qunsetenv("VORLINQ_SETTINGS");
}

void WindowFixture::CreateWindows()
{
    formOwner_ = std::make_unique<TForm1>(front.get(), true);
    form = formOwner_.get();
    Form1 = form;
    keyFormOwner_ = std::make_unique<TKeyForm>(*form);
    waitFormOwner_ = std::make_unique<TWaitForm>(form);
    helpDlgOwner_ = std::make_unique<THelpDlg>(form);
    dlgPreferencesOwner_ = std::make_unique<TdlgPreferences>(front.get(), form);
    jKeypadOwner_ = std::make_unique<TJKeypad>(*form);
    keyForm = keyFormOwner_.get();
    waitForm = waitFormOwner_.get();
    helpDlg = helpDlgOwner_.get();
    dlgPreferences = dlgPreferencesOwner_.get();
    jKeypad = jKeypadOwner_.get();
    form->SetWindows(keyForm, jKeypad, waitForm, helpDlg, dlgPreferences);
    lamps = std::make_unique<LampProbe>(*form);
    form->LampPanels.push_back(lamps.get());
    form->show();
    (void)QTest::qWaitForWindowExposed(form);
}

void WindowFixture::CloseWindows()
{
    if (!form)
        return;
    // A connect or power-on job still running uses the window: let it end,
    // stopping any poll thread it (or an earlier connect) started.
    ProcessUntil([this] {
        if (form->PollThread)
            form->StopPolling();
        return TThread::Running() == 0;
    });
    form->close();
    WaitThreadsEnded();
    form->LampPanels.clear();
    jKeypadOwner_.reset();
    dlgPreferencesOwner_.reset();
    helpDlgOwner_.reset();
    waitFormOwner_.reset();
    keyFormOwner_.reset();
    lamps.reset();
    formOwner_.reset();
    form = nullptr;
    keyForm = nullptr;
    waitForm = nullptr;
    helpDlg = nullptr;
    dlgPreferences = nullptr;
    jKeypad = nullptr;
    Form1 = nullptr;
}

bool WindowFixture::Connect()
{
    const int boxesBefore = boxes.Count();
    form->actOpenExecute();
    ProcessUntil([&] {
        return (form->OnLine && form->PollThread) || (form->actOpen->isEnabled() && boxes.Count() > boxesBefore);
    });
    return form->OnLine && form->PollThread;
}

bool WindowFixture::WaitFrames(int n)
{
    const int target = lamps->framesDrawn + n;
    return ProcessUntil([&] { return lamps->framesDrawn >= target; });
}

bool WindowFixture::WaitDarkened(int n)
{
    const int target = lamps->darkened + n;
    return ProcessUntil([&] { return lamps->darkened >= target; });
}

bool WindowFixture::WaitQueries(int n)
{
    const int target = front->Queries() + n;
    return ProcessUntil([&] { return front->Queries() >= target; });
}

bool WindowFixture::ProcessUntil(const std::function<bool()>& done, int realMs)
{
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (done())
            return true;
        if (timer.elapsed() > realMs)
            return false;
        QThread::usleep(200);
    }
}

void WindowFixture::ProcessFor(int realMs)
{
    QElapsedTimer timer;
    timer.start();
    ProcessUntil([&] { return timer.elapsed() >= realMs; }, realMs + 1000);
}

bool WindowFixture::WaitThreadsEnded(int realMs)
{
    return ProcessUntil([] { return TThread::Running() == 0; }, realMs);
}

// --- raster helpers --------------------------------------------------------------

std::vector<std::uint8_t> CellRows(const display::Raster& raster, int column, int row, bool* clean)
{
    std::vector<std::uint8_t> rows(8, 0);
    if (clean)
        *clean = true;
    for (int i = 0; i < 8; ++i) {
        for (int j = 0; j < 6; ++j) {
            const display::TColor colour = raster.PixelColour(6 * column + 2 + j, 8 * row + 2 + i);
            if (colour == raster.Foreground())
                rows[static_cast<std::size_t>(i)] |= static_cast<std::uint8_t>(1 << (5 - j));
            else if (colour != raster.Background() && clean)
                *clean = false;
        }
    }
    return rows;
}

std::vector<std::uint8_t> GlyphRows(std::uint8_t code, bool inverse)
{
    std::vector<std::uint8_t> rows(8, 0);
    for (int i = 0; i < 8; ++i) {
        const std::uint8_t bits = display::kFontTable[static_cast<std::size_t>(8 * code + i)] & 0x3F;
        rows[static_cast<std::size_t>(i)] = inverse ? static_cast<std::uint8_t>(~bits & 0x3F) : bits;
    }
    return rows;
}

} // namespace windowtest
