#pragma once
// A display window on the shared-station backend, connected as Connect does:
// the viewer that a desk runs, for the share tests.

#include "Mainform.h"
#include "display/CharText.h"
#include "link/LinkConfig.h"
#include "share/BrokerDriver.h"

#include <QLabel>

namespace sharetest {

struct Viewer {
    explicit Viewer(const share::SharedStation& station) : driver(station), form(&driver)
    {
        FT_HANDLE handle = nullptr;
        opened = driver.FT_Open(0, &handle);
        if (opened != FT_OK)
            return;
        ConfigureLink(driver, handle);
        form.USBHandle = handle;
        form.SetOnlineLook();
        form.EnableKeyActions();
        form.OnLine = true;
        form.StartPolling();
    }
    ~Viewer()
    {
        if (form.OnLine)
            form.actCloseExecute();
    }
    QString Text() const { return display::RasterText(form.raster); }
    QString Notice() const { return form.findChild<QLabel*>("StatusPanel5")->text(); }
    QString Status() const { return form.findChild<QLabel*>("StatusPanel0")->text(); }

    share::BrokerDriver driver;
    TForm1 form;
    FT_STATUS opened = FT_OTHER_ERROR;
};

} // namespace sharetest
