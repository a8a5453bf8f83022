#pragma once

#include <windows.h>

// The working run: creates the hidden window, asks a stray target to close,
// starts the worker and runs the main thread's message loop until the window
// is destroyed. Returns the quit code after a normal end, 0 after a failure.
int MainThreadCreateWindow();

// Registers the class and creates the hidden top-level window (never shown);
// null on failure.
HWND CreateInvisibleWindow();

// The hidden window's procedure.
LRESULT CALLBACK WndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
