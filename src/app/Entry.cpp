#include "app/Entry.h"

#include <QApplication>

int RunVorlinq(int argc, char** argv)
{
    QApplication app(argc, argv);
    return 0;
}
