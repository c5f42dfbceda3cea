#include "runtime/ui/runtime.h"

#include <cxxabi.h>

#include <QApplication>
#include <QEvent>
#include <QSocketNotifier>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <typeinfo>

#include "runtime/application.h"
#include "runtime/exceptions.h"
#include "runtime/quit_signal.h"
#include "runtime/ui/internal.h"

namespace rt::ui {
namespace {

// Turns the platform's own quit (the Dock's or the session's) into the quit
// action, so that the windows close through their Close handlers first.
class QuitFilter : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == QCoreApplication::instance() && event->type() == QEvent::Quit) {
      detail::Guard(QuitAction);
      event->accept();
      return true;
    }
    return QObject::eventFilter(watched, event);
  }
};

// The platform's quit on Linux is a signal (the session ending, Ctrl+C in
// the terminal that started the program). The handler only writes a byte to
// a pipe; the event loop reads it and runs the quit action, so the windows'
// Close handlers still write what they must. A script running at that moment
// sees the byte too and is ended, so the loop gets to it.
void InstallQuitSignals(QObject* parent) {
  if (!rt::InstallQuitSignals()) return;
  auto* notifier = new QSocketNotifier(rt::QuitSignalDescriptor(), QSocketNotifier::Read, parent);
  QObject::connect(notifier, &QSocketNotifier::activated, [] {
    rt::ConsumeQuitSignals();
    detail::Guard(QuitAction);
  });
}

struct State {
  std::string program;
  char* argv[2] = {nullptr, nullptr};
  int argc = 0;
  QApplication* owned_application = nullptr;
  QuitFilter* quit_filter = nullptr;
  bool quit_requested = false;
  int quit_code = 0;
  bool loop_running = false;
  bool loop_ran = false;
  int loop_status = 0;
  std::exception_ptr pending;
  std::vector<std::string> classes;
};

State& state() {
  static State s;
  return s;
}

std::string Demangled(const char* name) {
  int status = 0;
  char* readable = abi::__cxa_demangle(name, nullptr, nullptr, &status);
  if (readable == nullptr) return name;
  std::string result(readable);
  std::free(readable);
  return result;
}

}  // namespace

void RuntimeInit(int argc, char** argv) {
  State& s = state();
  if (QCoreApplication::instance() == nullptr) {
    // Qt reads options of its own from the command line (-reverse mirrors
    // every window, -platform picks another display); the program has none,
    // so the toolkit gets the program's name alone. Qt keeps the vector.
    s.program = argc > 0 && argv != nullptr && argv[0] != nullptr ? argv[0] : "sorvane";
    s.argv[0] = s.program.data();
    s.argv[1] = nullptr;
    s.argc = 1;
    s.owned_application = new QApplication(s.argc, s.argv);
  } else if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
    throw RuntimeException("the running Qt application object cannot show widgets");
  }
  // Closing the last window ends the application through the window layer,
  // which knows whether its Close handler succeeded.
  QApplication::setQuitOnLastWindowClosed(false);
  if (s.quit_filter == nullptr) {
    s.quit_filter = new QuitFilter;
    QCoreApplication::instance()->installEventFilter(s.quit_filter);
    InstallQuitSignals(s.quit_filter);
  }
}

void RegisterClass(const std::string& fullName) {
  std::vector<std::string>& classes = state().classes;
  if (std::find(classes.begin(), classes.end(), fullName) == classes.end()) {
    classes.push_back(fullName);
  }
}

std::vector<std::string> RegisteredClasses() { return state().classes; }

void RuntimePerformInitializers(std::initializer_list<void (*)()> initializers) {
  State& s = state();
  try {
    for (const char* name :
         {"Application", "Window", "Listbox", "CheckBox", "MenuItem", "MenuBar", "QuitMenuItem"}) {
      RegisterClass(name);
    }
    for (void (*initializer)() : initializers) initializer();
  } catch (...) {
    s.pending = std::current_exception();
  }
}

std::exception_ptr TakePendingException() {
  std::exception_ptr pending = state().pending;
  state().pending = nullptr;
  return pending;
}

void RunFrameworkInitialization(void (*lateStartup)()) {
  detail::RequireUiThread();
  const std::shared_ptr<rt::Application> app = GetAppObject();
  if (!app) throw NilObjectException("no application object is registered");
  QCoreApplication::setApplicationVersion(detail::ToQt(app->VersionString()));
  if (lateStartup != nullptr) lateStartup();
}

void RuntimeRun() {
  detail::RequireUiThread();
  State& s = state();
  s.loop_ran = true;
  if (s.quit_requested) {
    s.loop_status = s.quit_code;
    return;
  }
  s.loop_running = true;
  s.loop_status = QApplication::exec();
  s.loop_running = false;
}

void Quit(int code) {
  detail::RequireUiThread();
  State& s = state();
  if (s.quit_requested) return;
  s.quit_requested = true;
  s.quit_code = code;
  if (s.loop_running) QCoreApplication::exit(code);
}

void QuitAction() {
  detail::RequireUiThread();
  for (const std::shared_ptr<Window>& window : detail::OpenWindows()) window->Close();
  Quit(0);
}

void RuntimePerformFinalizers() {
  detail::DiscardOpenWindows();
  RuntimeRegisterAppObject(nullptr);
  // Widgets released during the last events are deleted now, while Qt can
  // still do it.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

int RuntimeExit() {
  State& s = state();
  const int status = s.loop_ran ? s.loop_status : 1;
  s.quit_requested = false;
  s.quit_code = 0;
  s.loop_ran = false;
  s.loop_status = 0;
  if (s.quit_filter != nullptr) {
    // The notifier, a child of the filter, goes before the pipe it watches.
    delete s.quit_filter;
    s.quit_filter = nullptr;
    rt::RemoveQuitSignals();
  }
  if (s.owned_application != nullptr) {
    delete s.owned_application;
    s.owned_application = nullptr;
  }
  return status;
}

void UnhandledException(std::exception_ptr exception) noexcept {
  if (!exception) return;
  try {
    std::string className;
    std::string message;
    try {
      std::rethrow_exception(exception);
    } catch (const RuntimeException& e) {
      className = e.ClassName();
      message = e.Message();
    } catch (const std::exception& e) {
      className = Demangled(typeid(e).name());
      message = e.what();
    } catch (...) {
      className = "unknown exception";
    }
    // One line per exception, whatever the message holds.
    std::replace(message.begin(), message.end(), '\n', ' ');
    std::replace(message.begin(), message.end(), '\r', ' ');
    std::fprintf(stderr, "Unhandled %s: %s\n", className.c_str(), message.c_str());
  } catch (...) {
    std::fputs("Unhandled exception\n", stderr);
  }
  std::fflush(stderr);
}

namespace detail {

void RequireUiThread() {
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr) throw RuntimeException("the window layer is not initialised");
  if (QThread::currentThread() != app->thread()) {
    throw ThreadAccessingUIException("user-interface operation off the main thread");
  }
}

bool OnUiThread() {
  QCoreApplication* app = QCoreApplication::instance();
  return app != nullptr && QThread::currentThread() == app->thread();
}

bool Guard(const std::function<void()>& handler) noexcept {
  try {
    handler();
    return true;
  } catch (...) {
    UnhandledException(std::current_exception());
    return false;
  }
}


QString ToQt(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string FromQt(const QString& text) { return text.toUtf8().toStdString(); }

}  // namespace detail
}  // namespace rt::ui
