// The yardstick of the benchmark: the cheapest 32-bit GUI program that does
// what every launcher copy must do at the least, create one named mutex and end.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    HANDLE hMutex = CreateMutexW(NULL, FALSE, L"Avenor Benchmark Empty Mutex");
    if (hMutex != NULL)
        CloseHandle(hMutex);
    return 0;
}
