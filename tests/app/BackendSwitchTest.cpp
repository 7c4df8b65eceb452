#include "app/BackendSwitch.h"

#include <gtest/gtest.h>

namespace {

app::StoredRemote StoredStation()
{
    app::StoredRemote stored;
    stored.enabled = true;
    stored.station.address = "station.example.org:3001";
    return stored;
}

TEST(BackendSwitch, AnExplicitBackendWinsOverTheStoredStationAndTheDialogSwitchesBetweenThem)
{
    app::AppOptions simulator;
    simulator.driver = app::AppOptions::Driver::Simulator;
    app::BackendSwitch explicitChoice(simulator, StoredStation());
    EXPECT_EQ(explicitChoice.Current()->Name(), "simulated amplifier");

    if (!app::RemoteAvailable())
        GTEST_SKIP() << "built without gensio: no remote backend to switch to";
    FtdiDriver* remote = explicitChoice.Choose(StoredStation());
    EXPECT_EQ(remote->Name(), "remote");
    EXPECT_FALSE(explicitChoice.Simulated()) << "the caption must not call a real station simulated";
    DWORD devices = 0;
    remote->FT_CreateDeviceInfoList(&devices);
    EXPECT_EQ(devices, 1u) << "the stored station is the one device";
    EXPECT_EQ(explicitChoice.Choose({})->Name(), "simulated amplifier") << "back to the backend of the start";
    EXPECT_TRUE(explicitChoice.Simulated());

    app::BackendSwitch stored(app::AppOptions{}, StoredStation());
    EXPECT_EQ(stored.Current()->Name(), "remote") << "no option: the stored choice";
}

} // namespace
