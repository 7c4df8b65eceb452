#pragma once
// The answers of the options that need no window (--help, --version, a
// package check, a refused option) go to standard output and error. A Windows
// GUI program has neither unless it was given them: started from a command
// prompt it writes into that prompt's console instead. One implementation per
// platform, chosen by the build.

namespace app {

// Connects standard output and error to the console of the program that
// started this one, where they lead nowhere else.
void UseParentConsole();

} // namespace app
