#include "files/cleanup_on_signal.h"

#include <array>
#include <csignal>
#include <cstddef>

#include "files/native_file.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#endif

namespace {

// Two outputs, the binary and the hex file, can be open at once.
struct PendingFile {
  TempPath name;
  volatile std::sig_atomic_t used;
};
std::array<PendingFile, 2> pending{};

void remove_pending_files() {
  for (PendingFile& file : pending) {
    if (file.used != 0) remove_file(file.name.data());
  }
}

#ifdef _WIN32
CRITICAL_SECTION pending_lock;
bool handler_installed = false;

// Runs on a thread of its own. It keeps the lock, so the main thread cannot
// create or rename another file before the default handler ends the process.
BOOL WINAPI remove_pending_on_break(DWORD event) {
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT) {
    EnterCriticalSection(&pending_lock);
    remove_pending_files();
  }
  return FALSE;
}
#else
constexpr std::array<int, 3> CLEANUP_SIGNALS = {SIGINT, SIGTERM, SIGHUP};

// The mask before hold_cleanup_handlers; holds do not nest.
sigset_t mask_before_hold;

sigset_t cleanup_signal_set() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal_number : CLEANUP_SIGNALS) sigaddset(&set, signal_number);
  return set;
}

// Only async-signal-safe calls: unlink, sigaction, sigprocmask, raise.
extern "C" void remove_pending_and_end(int signal_number) {
  remove_pending_files();
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal_number, &action, nullptr);
  // Pending until the handler's mask is lifted; then it ends the process.
  raise(signal_number);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal_number);
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
}
#endif

}  // namespace

void install_cleanup_handlers() {
#ifdef _WIN32
  if (!handler_installed) {
    InitializeCriticalSection(&pending_lock);
    handler_installed = SetConsoleCtrlHandler(remove_pending_on_break, TRUE) != 0;
    if (!handler_installed) DeleteCriticalSection(&pending_lock);
  }
#else
  struct sigaction action {};
  action.sa_handler = remove_pending_and_end;
  action.sa_mask = cleanup_signal_set();
  for (const int signal_number : CLEANUP_SIGNALS) {
    struct sigaction previous {};
    sigaction(signal_number, nullptr, &previous);
    if (previous.sa_handler != SIG_IGN) sigaction(signal_number, &action, nullptr);
  }
#endif
}

int free_cleanup_slot() {
  for (std::size_t i = 0; i < pending.size(); ++i) {
    if (pending[i].used == 0) return static_cast<int>(i);
  }
  return -1;
}

void hold_cleanup_handlers() {
#ifdef _WIN32
  if (handler_installed) EnterCriticalSection(&pending_lock);
#else
  const sigset_t set = cleanup_signal_set();
  sigprocmask(SIG_BLOCK, &set, &mask_before_hold);
#endif
}

void release_cleanup_handlers() {
#ifdef _WIN32
  if (handler_installed) LeaveCriticalSection(&pending_lock);
#else
  sigprocmask(SIG_SETMASK, &mask_before_hold, nullptr);
#endif
}

void list_for_cleanup(int slot, const TempPath& name) {
  PendingFile& file = pending[static_cast<std::size_t>(slot)];
  file.name = name;
  file.used = 1;
}

void unlist_for_cleanup(int slot) { pending[static_cast<std::size_t>(slot)].used = 0; }
