#pragma once

// The application's start-up and shut-down path.
namespace app {

// The process entry's work: initialises the toolkit, runs the static
// initialisers, Main, the finalisers and the exit step, and returns the exit
// status. The program reads none of its arguments.
int main(int argc, char** argv);

// Start-up, the event loop, and the last-chance handling: an exception that
// escapes start-up or the loop goes to the toolkit's UnhandledException and
// ends start-up where it arose.
void Main() noexcept;

// The steps before the toolkit's own initialisation: high-resolution
// support, the style engine's link to the main window, the application object.
void EarlyStartup();

// Makes the application object with its version data and menu bar and
// registers it.
void NewAppInstance();

// Called back by the toolkit's initialisation.
void LateStartup();

// Opens the main window unless it is open already.
void MakeDefaultView();

}  // namespace app
