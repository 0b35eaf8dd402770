// First cut: only the start-up report; checks and reload come next.
#include "shader_tools.h"

#include <cstdio>

void dbg_check_program(unsigned program)
{
    printf("dbg_check_program: program: %d\n", (int)program);
}

void hotreload(const char *) {}
