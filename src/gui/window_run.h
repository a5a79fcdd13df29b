// The program with its administration window. No toolkit types here: the program's entry
// includes this header.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace corvane {

class serverController;
class WindowThread;

// What the program serves beside the window (the control socket). Called once the window's
// controller has started up, with what to call after a change to the account store made outside
// the window; returns what ends it, which runs before the controller shuts down.
using WindowCompanion = std::function<std::function<void()>(serverController& controller, WindowThread& window,
                                                            std::function<void()> storeChanged)>;

// Whether a window can be shown: a display is named (X11 or Wayland) or the Qt platform is
// chosen explicitly. `why` says what is missing when not.
bool WindowDisplayAvailable(std::string& why);

// Runs the window until "Shut Down": the program folder must be set and the home held. The
// toolkit's own failure to reach the display ends the program with a message that names
// --headless and exit status 1. Returns the exit status.
int RunMainWindow(int argc, char** argv, const std::vector<std::string>& controllerArguments,
                  const WindowCompanion& companion = {});

}  // namespace corvane
