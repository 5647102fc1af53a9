// A private X server (Xvfb) for the tests that show real dialogs, and the X tools they use to
// look at the windows and play the person: xdotool for finding windows, moving the pointer,
// clicking and typing, ImageMagick's import for screenshots.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace quilta::testing {

// Starts one Xvfb for the process on a free display (chosen by the server itself) and points
// DISPLAY at it; stopped when the process ends. Returns the display name (":N").
const std::string& PrivateDisplay();

// Runs a shell command; returns its standard output. exitCode receives the exit status.
std::string Run(const std::string& command, int* exitCode = nullptr);

// Quotes a text for the shell.
std::string ShellQuote(const std::string& s);

// Visible windows whose name matches the whole caption (the caption is taken literally).
std::vector<uint64_t> FindWindows(const std::string& caption);

struct WindowGeometry {
  int x = 0, y = 0, width = 0, height = 0;
};
WindowGeometry GetGeometry(uint64_t window);

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
};

struct Image {
  int width = 0, height = 0;
  std::vector<Rgb> pixels;  // row by row
  const Rgb& At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// The window's contents; empty image on failure. When savePng is not empty the picture is
// also written there.
Image Screenshot(uint64_t window, const std::string& savePng = {});

// Where screenshots are kept for people to look at.
std::string ShotDir();

// Pointer and keyboard, through the XTEST extension.
void MovePointer(uint64_t window, int x, int y);
void Click(uint64_t window, int x, int y);
void FocusAndKey(uint64_t window, const std::string& key);
// A plain mapped window at this place (a stand-in for the browser window); it lives until
// DestroyPlainWindow or the end of the process.
uint64_t CreatePlainWindow(int x, int y, int width, int height);
void DestroyPlainWindow(uint64_t window);

// What a window manager sends when the close box in the frame is clicked (WM_DELETE_WINDOW).
void PressCloseBox(uint64_t window);

}  // namespace quilta::testing
