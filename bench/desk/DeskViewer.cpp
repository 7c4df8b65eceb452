// The desk benchmark's viewer: the program's display window fed by the viewer
// backend, as `vorlinq --viewer` runs it, alone in its process. Notes the age
// of each new screen it paints against the answer clock: from the last byte
// of the frame leaving the station's amplifier to the paint, and to the
// moment the viewer backend's read handed it to the window's poll engine.
#include "AnswerClock.h"
#include "Desk.h"
#include "DisplayArea.h"
#include "Mainform.h"
#include "display/CharText.h"
#include "link/LinkConfig.h"
#include "share/BrokerDriver.h"
#include "support/ForwardingDriver.h"
#include "toolkit/Clock.h"

#include <QApplication>
#include <QEvent>
#include <QSocketNotifier>
#include <QTemporaryDir>

#include <atomic>
#include <cstdio>
#include <stdexcept>
#include <vector>

#include <unistd.h>

namespace desk {

namespace {

// The viewer backend, noting when a read after a query first returns bytes.
class TimedDriver final : public ForwardingDriver {
public:
    using ForwardingDriver::ForwardingDriver;
    FT_STATUS FT_Purge(FT_HANDLE handle, ULONG mask) override
    {
        answered_ = false;
        return ForwardingDriver::FT_Purge(handle, mask);
    }
    FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, DWORD bytesToRead, DWORD* bytesReturned) override
    {
        const FT_STATUS status = ForwardingDriver::FT_Read(handle, buffer, bytesToRead, bytesReturned);
        if (*bytesReturned > 0 && !answered_) {
            answered_ = true;
            answeredMs = AppClock().PreciseNowMs();
        }
        return status;
    }
    std::atomic<double> answeredMs{0};

private:
    bool answered_ = false; // poll thread only
};

// Notes the ages of each new screen the window paints.
class PaintProbe final : public QObject {
public:
    PaintProbe(const TForm1& form, const TimedDriver& driver, const AnswerClock& clock)
        : form_(form), driver_(driver), clock_(clock)
    {
    }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            const QString text = display::RasterText(form_.raster);
            if (text != last_ && !text.trimmed().isEmpty()) {
                // The station sleeps 80 ms after each frame: its latest
                // answer is still the frame painted here.
                if (!last_.isEmpty()) {
                    const double out = clock_.Get();
                    ages.push_back(AppClock().PreciseNowMs() - out);
                    reads.push_back(driver_.answeredMs - out);
                }
                last_ = text;
            }
        }
        return QObject::eventFilter(watched, event);
    }
    std::vector<double> ages;
    std::vector<double> reads;

private:
    const TForm1& form_;
    const TimedDriver& driver_;
    const AnswerClock& clock_;
    QString last_;
};

} // namespace

int RunViewer(const Setup& setup)
{
    QTemporaryDir dir;
    qputenv("VORLINQ_SETTINGS", dir.filePath("viewer.ini").toLocal8Bit());
    const AnswerClock clock(setup.clockFile);
    share::BrokerDriver backend(share::SharedStation{setup.station, LoginOf(setup)});
    TimedDriver driver(backend);
    TForm1 form(&driver);
    FT_HANDLE handle = nullptr;
    if (driver.FT_Open(0, &handle) != FT_OK)
        throw std::runtime_error("viewer: " + backend.ErrorDetail());
    ConfigureLink(driver, handle);
    PaintProbe probe(form, driver, clock);
    auto* area = form.findChild<DisplayArea*>();
    area->installEventFilter(&probe);
    form.show();
    form.USBHandle = handle;
    form.SetOnlineLook();
    form.OnLine = true;
    form.StartPolling();
    std::printf("ready\n");
    std::fflush(stdout);

    // The benchmark closes this process's input when it has seen enough.
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&input] {
        char byte;
        if (::read(STDIN_FILENO, &byte, 1) <= 0) {
            input.setEnabled(false);
            QApplication::quit();
        }
    });
    QApplication::exec();
    area->removeEventFilter(&probe);
    form.actCloseExecute();
    for (std::size_t i = 0; i < probe.ages.size(); ++i)
        std::printf("%.3f %.3f\n", probe.ages[i], probe.reads[i]);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

} // namespace desk
