#pragma once

#include <csignal>

#include <sys/prctl.h>

// Runs in a child between fork and exec: a test killed by its timeout must
// not leave an X server or the program behind.
inline void dieWithParent()
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
}
