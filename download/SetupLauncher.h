#pragma once

// Starts the setup program (elevated through the shell when Windows demands
// it) and returns only after it has ended: 1 started, 0 not started.
int LaunchSetup(const char* path);
