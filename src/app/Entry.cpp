#include "app/Entry.h"

#include "Keyboard.h"
#include "Mainform.h"
#include "Opkeypad.h"
#include "Wait.h"
#include "app/AboutBox.h"
#include "app/CommandLine.h"
#include "app/BackendSwitch.h"
#include "app/BrokerPassword.h"
#include "app/DriverChoice.h"
#include "app/ParentConsole.h"
#include "app/PlatformLacks.h"
#include "app/SingleInstance.h"
#include "dialogs/TdlgPreferences.h"
#include "toolkit/MessageBoxes.h"
#include "update/CheckPackage.h"
#ifdef VORLINQ_HAVE_REMOTE
#include "server/ServeSimulator.h"
#endif
#ifdef VORLINQ_HAVE_MQTT
#include "share/StationMain.h"
#include "share/WindowShare.h"
#endif

#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <exception>
#include <iostream>

namespace {

// A shared station's login with its password: the one just typed is kept in
// the desktop's password store, a missing one is fetched from there or asked.
app::StoredRemote WithBrokerPassword(app::StoredRemote choice, QWidget* parent)
{
    share::BrokerLogin& login = choice.shared.station.login;
    if (!choice.shared.enabled || login.user.empty())
        return choice;
    std::string error;
    if (login.password.empty())
        app::DesktopBrokerPassword(login, parent);
    else if (!app::KeepBrokerPassword(login, error))
        qWarning("the broker password is not kept: %s", error.c_str());
    return choice;
}

// An option this build cannot serve: why, on standard error, and the exit code.
int Unavailable(const char* option, const std::string& why)
{
    std::fprintf(stderr, "vorlinq: %s is not available: %s\n", option, why.c_str());
    return 2;
}

int RunWindows(app::BackendSwitch& backends)
{
    FtdiDriver* driver = backends.Current();
    const bool simulated = backends.Simulated();
    // The windows in their fixed order: the keypads read the display window's
    // stored keypad position and visibility actions while they are created.
    TForm1 form(driver, simulated);
    Form1 = &form;
    form.QuitOnClose = true;
    TKeyForm keyForm(form);
    TWaitForm waitForm(&form);
    THelpDlg helpDlg(&form);
    TdlgPreferences dlgPreferences(driver, &form);
    TJKeypad jKeypad(form);
    form.SetWindows(&keyForm, &jKeypad, &waitForm, &helpDlg, &dlgPreferences);
    // A new choice between the USB device and a remote station in the
    // connection dialog; the dialog is open only while off-line.
    form.ChooseBackend = [&](const app::StoredRemote& choice) {
        FtdiDriver* chosen = backends.Choose(WithBrokerPassword(choice, &form));
        form.driver = chosen;
        dlgPreferences.SetDriver(chosen);
        return backends.Simulated();
    };
#ifdef VORLINQ_HAVE_MQTT
    // File > Share this station; ended after polling (below), before the window.
    share::WindowShare windowShare(form);
#endif
    // Made after the windows, so ended before any of them is destroyed, on
    // every way out (an event loop that ends without a close event, an
    // exception): polling and the jobs come down while the keypads and the
    // progress window they touch still exist.
    struct TakeDownFirst {
        TForm1& form;
        ~TakeDownFirst() { form.TakeDown(); }
    } takeDownFirst{form};

    form.show();
    // The connect request waits in the queue for the event loop's start.
    app::PostAutoOpenConnection([&form] { form.actOpenExecute(); });
    const int result = QApplication::exec();
    Form1 = nullptr;
    return result;
}

} // namespace

int RunVorlinq(int argc, char** argv)
{
    // The options that need no window are handled before the window system
    // starts, so they work on a machine without a display.
    app::UseParentConsole();
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const app::AppOptions options = app::ParseCommandLine(arguments);
    if (!options.error.empty()) {
        std::fprintf(stderr, "vorlinq: %s\n\n%s", options.error.c_str(), qPrintable(app::UsageText()));
        return 2;
    }
    if (options.help) {
        std::fputs(qPrintable(app::UsageText()), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("Vorlinq %s\n", VORLINQ_VERSION);
        return 0;
    }
    if (!options.checkPackage.empty())
        return CheckPackageCommand(options.checkPackage, std::cout, std::cerr);
    if (!options.serveSimulator.empty()) {
#ifdef VORLINQ_HAVE_REMOTE
        return server::ServeSimulator(options.serveSimulator, std::cout, std::cerr);
#else
        return Unavailable("--serve-simulator", app::NoNetworkLibraryReason());
#endif
    }
    if (!options.viewer.empty() && !app::BackendSwitch::SharedAvailable()) {
        return Unavailable("--viewer", app::NoMqttLibraryReason());
    }
    if (options.driver == app::AppOptions::Driver::Remote && !app::RemoteAvailable()) {
        return Unavailable("--remote", app::NoNetworkLibraryReason());
    }
    if (options.driver == app::AppOptions::Driver::Serial && !app::NoSerialBackendReason().empty())
        return Unavailable("--driver=serial", app::NoSerialBackendReason());
    if (!options.station.empty()) {
#ifdef VORLINQ_HAVE_MQTT
        return share::RunStation(argc, argv, options, std::cerr);
#else
        return Unavailable("--station", app::NoMqttLibraryReason());
#endif
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName("Vorlinq");
    QApplication::setOrganizationName("Maravel");
    QApplication::setApplicationVersion(VORLINQ_VERSION);
    QApplication::setQuitOnLastWindowClosed(false);

    app::SingleInstance instance;
    if (!instance.TryBecomePrimary())
        return 0; // the running copy comes to the front

    try {
        app::StoredRemote stored;
        if (std::unique_ptr<QSettings> store = app::OpenVorlinqSettings())
            app::LoadRemoteSettings(*store, stored);
        app::AppOptions chosen = options;
        if (!chosen.viewer.empty() && chosen.brokerPasswordFile.empty() && !chosen.broker.user.empty())
            app::DesktopBrokerPassword(chosen.broker);
        else if (chosen.viewer.empty() && chosen.driver == app::AppOptions::Driver::Auto)
            stored = WithBrokerPassword(stored, nullptr);
        app::BackendSwitch backends(chosen, stored);
        QObject::connect(&instance, &app::SingleInstance::BringToFrontRequested, [] {
            if (Form1)
                app::BringWindowToFront(Form1);
        });
        const int result = RunWindows(backends);
        instance.Release();
        return result;
    } catch (const std::exception& e) {
        Boxes().Error(nullptr, QString::fromLocal8Bit(e.what()));
        instance.Release();
        return 0;
    }
}
