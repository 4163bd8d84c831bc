#include <QCoreApplication>
#include <cstdio>

#include "app/cli.h"

int main(int argc, char* argv[]) {
    // Command-line modes need neither a display nor a window.
    if (const auto code = kestrel::RunCommandLine(argc, argv)) return *code;
    std::fputs("kestrel: the ticker window is not available in this build\n", stderr);
    return 1;
}
