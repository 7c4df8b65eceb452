#include "app/Entry.h"

int main(int argc, char** argv)
{
    return RunVorlinq(argc, argv);
}
