// vorlinq_bench_desk station|viewer NAME URL USER PASSWORD-FILE CLOCK-FILE:
// one process of the desk benchmark (bench/ViewerFrameAgeBench.cpp), under
// an offscreen QApplication as the program has.
#include "Desk.h"

#include <QApplication>

#include <cstdio>
#include <exception>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 7) {
        std::fprintf(stderr, "usage: %s station|viewer NAME URL USER PASSWORD-FILE CLOCK-FILE\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string kind = argv[1];
    const desk::Setup setup{argv[2], argv[3], argv[4], argv[5], argv[6]};
    try {
        return kind == "station" ? desk::RunStation(setup) : desk::RunViewer(setup);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s: %s\n", kind.c_str(), error.what());
        return 1;
    }
}
