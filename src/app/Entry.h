#pragma once
// The program entry: command line, single instance, windows, event loop.
int RunVorlinq(int argc, char** argv);
