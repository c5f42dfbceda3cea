#pragma once

#include <exception>
#include <initializer_list>
#include <string>
#include <vector>

// Process-wide services of the window layer: initialisation and exit, the
// event loop, quitting, and the routine that reports unhandled exceptions.
// Everything that touches the user interface runs on the main thread (the
// thread of Qt's application object); called from any other thread it raises
// rt::ThreadAccessingUIException and leaves the user interface alone.
namespace rt::ui {

// Makes Qt's application object, unless one exists already: the layer then
// uses that one and leaves it in place at the exit. Of the command line, Qt
// gets only the program's name: none of Qt's own options takes effect.
void RuntimeInit(int argc, char** argv);

// Records a class of the program or the layer by its full name
// ("Window1.Window1"); a name already recorded is not recorded twice.
void RegisterClass(const std::string& fullName);
// The recorded full class names, in the order of their first registration.
std::vector<std::string> RegisteredClasses();

// Runs the layer's own static initialisers, then `initializers` in order.
// An exception stops the pass and stays pending for TakePendingException.
void RuntimePerformInitializers(std::initializer_list<void (*)()> initializers);
// The exception left pending by the initialisers, or null; taking it clears it.
std::exception_ptr TakePendingException();

// The layer's own initialisation after early start-up: gives the registered
// application object's version to the platform, then calls `lateStartup`.
// Raises NilObjectException when no application object is registered.
void RunFrameworkInitialization(void (*lateStartup)());

// The event loop; returns once Quit has been called (at once when it was
// called before the loop started).
void RuntimeRun();

// Ends the event loop with `code` as the exit status. Only the first call
// counts until the exit step; later ones change nothing.
void Quit(int code = 0);

// The quit command (the Quit menu item, and the platform's own quit): closes
// every open window, so that each one's Close handler runs, then quits with
// status 0 unless a handler has already quit.
void QuitAction();

// Closes what is still open without raising window events and releases the
// application object.
void RuntimePerformFinalizers();

// The exit step: releases Qt's application object when RuntimeInit made it
// and returns the exit status: the code given to Quit, or 1 when the event
// loop never ran. Resets the quit state for a later start.
int RuntimeExit();

// Reports an exception that nobody handled: one line on standard error with
// its class and message. Never raises.
void UnhandledException(std::exception_ptr exception) noexcept;

}  // namespace rt::ui
