// First cut: the version line only; the coloured art follows.
#include "banner.h"

#include <cstdio>

void print_banner()
{
    printf("   %s Qelt v. 20250215 %s \n", "\033[36m", "\033[0m");
}
