// The headless commands linked with nothing above cli/: a program that links at all shows that
// they need no widget, no window and no painting. It runs them as zyrtool does.
#include "cli/uHeadless.h"

#include <cstdio>

int main(int argc, char** argv)
{
    TCmdLine options;
    if (!ParseProgramArguments(argc, argv, options)) return 1;
    if (!NeedsNoWindow(options)) {
        std::fprintf(stderr, "cli_alone: only the commands that need no window run here\n");
        return 3;
    }
    return RunWithoutWindow(argc, argv, options);
}
