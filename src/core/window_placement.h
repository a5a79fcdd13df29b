// The main window's placement: section "MainWindow" of CorvaneServer.ini, and the window's
// first-run flag. The window loads it when it is created and saves it when it is destroyed;
// window thread only. A negative height and width mean that the window was maximized.
#pragma once

#include "common/ini_image.h"

namespace corvane {

struct WindowPlacement {
    int Top = 40;
    int Left = 5;  // the stored default is empty, which reads as 5
    int Height = 434;
    int Width = 670;
    bool FirstRun = true;

    // What the window is set to: the client size with the maximized mark taken off.
    bool Maximized() const { return Height < 0; }
    int ClientHeight() const { return Height < 0 ? -Height : Height; }
    int ClientWidth() const { return Height < 0 ? -Width : Width; }
    // Captured from the window: height and width negated when it is maximized.
    void Capture(int top, int left, int clientHeight, int clientWidth, bool maximized);
};

// Missing keys take "40", "" (5), "434", "670" and "1"; texts that are not numbers 5, 5, 380,
// 750 and true.
WindowPlacement LoadWindowPlacement(const IniImage& image);
// Writes Top, Left, Height, Width, FirstRun in that order (the image is not saved here).
void SaveWindowPlacement(const WindowPlacement& placement, IniImage& image);

}  // namespace corvane
