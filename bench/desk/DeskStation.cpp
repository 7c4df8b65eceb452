// The desk benchmark's station: the poll engine on the simulated amplifier at
// wire speed, shared through the broker, as `vorlinq --station` runs it. Each
// answer the station reads puts the time its last byte left the amplifier on
// the answer clock.
#include "AnswerClock.h"
#include "Desk.h"
#include "share/BrokerConfig.h"
#include "share/Station.h"
#include "sim/SimDriver.h"
#include "support/ForwardingDriver.h"

#include <QCoreApplication>

#include <cstdio>
#include <stdexcept>

namespace desk {

namespace {

class ClockedDriver final : public ForwardingDriver {
public:
    ClockedDriver(sim::SimDriver& sim, AnswerClock& clock) : ForwardingDriver(sim), sim_(sim), clock_(clock) {}
    // Poll thread.
    FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, DWORD bytesToRead, DWORD* bytesReturned) override
    {
        const FT_STATUS status = ForwardingDriver::FT_Read(handle, buffer, bytesToRead, bytesReturned);
        if (*bytesReturned > 0)
            clock_.Set(sim_.LastAnswerOutMs());
        return status;
    }

private:
    sim::SimDriver& sim_;
    AnswerClock& clock_;
};

} // namespace

share::BrokerLogin LoginOf(const Setup& setup)
{
    share::BrokerLogin login;
    login.url = setup.url;
    login.user = setup.user;
    std::string error;
    if (!share::ReadPasswordFile(setup.passwordFile, login.password, error))
        throw std::runtime_error(error);
    return login;
}

int RunStation(const Setup& setup)
{
    AnswerClock clock(setup.clockFile);
    sim::SimDriver sim(sim::DemoOptions());
    ClockedDriver driver(sim, clock);
    share::StationCore::Options options;
    options.name = setup.station;
    options.login = LoginOf(setup);
    share::Station station(driver, options);
    std::string error;
    if (!station.Start(error))
        throw std::runtime_error(error);
    std::printf("ready\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}

} // namespace desk
