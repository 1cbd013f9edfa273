// Crashes at once, so that the harness can prove a crash ends a program
// under test instead of leaving it waiting in a debugger's dialog.
int main() {
    volatile int* nowhere = nullptr;
    *nowhere = 1;
    return 0;
}
