#pragma once
// A virtual X server (Xvfb) of the test's own on a display number it picks
// itself (-displayfd), with one 1280 x 1024 screen of 24 bits and no window
// manager, so that windows sit exactly where the program puts them. Stopped
// by the destructor.

#include <QString>

#include <string>
#include <sys/types.h>

class XServer {
public:
    static constexpr int kWidth = 1280;
    static constexpr int kHeight = 1024;

    XServer() = default;
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    // Starts Xvfb and waits until it takes connections; its output goes to
    // `logPath`. False with `error` set when it is missing or does not come up.
    bool Start(const QString& logPath, std::string& error);
    void Stop();

    // ":N", for DISPLAY.
    QString Display() const { return QString(":%1").arg(display_); }

private:
    pid_t pid_ = -1;
    int display_ = -1;
};
